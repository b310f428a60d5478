// The stand-in host against the built module library: loading, creating, the call log.
#include "host_instance.h"

#include <gtest/gtest.h>

using namespace trhost;

TEST(ModuleLibraryLoad, NamesThePathWhenItCannotLoad) {
    std::string error;
    EXPECT_FALSE(ModuleLibrary::Load("no/such/library.so", &error));
    EXPECT_NE(error.find("no/such/library.so"), std::string::npos) << error;
}

TEST(ModuleLibraryLoad, ResolvesBothExports) {
    std::string error;
    auto library = ModuleLibrary::Load(VEXLO_LIBRARY_PATH, &error);
    ASSERT_TRUE(library) << error;
    EXPECT_TRUE(library->GetModuleProperties());
    EXPECT_TRUE(library->MakeModule());
}

TEST(HostInstanceLife, EveryCallbackCarriesTheInstancesRecord) {
    std::string error;
    auto library = ModuleLibrary::Load(VEXLO_LIBRARY_PATH, &error);
    ASSERT_TRUE(library) << error;
    HostInstance a(*library), b(*library);
    ASSERT_TRUE(a.Create());
    ASSERT_TRUE(b.Create());
    EXPECT_NE(a.Record(), b.Record());
    EXPECT_EQ(a.Record()->host_handle, a.HostHandle());
    for (HostInstance* instance : {&a, &b}) {
        instance->Wire(instance->DescribePins(), 64);
        instance->Open();
        instance->Process(0, 64);
        EXPECT_FALSE(instance->Calls().empty());
        for (const auto& call : instance->Calls()) EXPECT_EQ(call.record, instance->Record());
        EXPECT_EQ(instance->ForeignRecordCalls(), 0);
    }
    EXPECT_EQ(a.Close(), 1);
    EXPECT_FALSE(a.Alive());
    EXPECT_EQ(a.Close(), 0);
}
