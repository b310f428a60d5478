// Why a module library cannot be loaded, in words that name the missing piece.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "module_library.h"
#include "pe_imports.h"

using namespace trhost;
using ::testing::HasSubstr;

namespace {

TEST(LoadErrors, ALibraryTheModuleNeedsThatIsMissingIsNamed) {
    std::string error;
    EXPECT_FALSE(ModuleLibrary::Load(NEEDS_ABSENT_LIBRARY_PATH, &error));
    EXPECT_EQ(error, std::string(NEEDS_ABSENT_LIBRARY_PATH) + ": cannot be loaded: it needs " ABSENT_LIBRARY_NAME
                                                              ", which is not found");
}

TEST(LoadErrors, AModuleThatNeedsNothingMissingLoads) {
    std::string error;
    EXPECT_TRUE(ModuleLibrary::Load(FIXTURE_LIBRARY_PATH, &error)) << error;
}

#if defined(_WIN32)
std::vector<std::string> LowerCase(std::vector<std::string> names) {
    for (std::string& name : names) {
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(PeImports, AreTheDllsTheLoaderMustFind) {
    auto vexlo = PeImportNames(VEXLO_LIBRARY_PATH);
    ASSERT_TRUE(vexlo);
    EXPECT_THAT(LowerCase(*vexlo), ::testing::ElementsAre("kernel32.dll", "msvcrt.dll"));
    auto fixture = PeImportNames(NEEDS_ABSENT_LIBRARY_PATH);
    ASSERT_TRUE(fixture);
    EXPECT_THAT(*fixture, ::testing::Contains(ABSENT_LIBRARY_NAME));
}
#else
TEST(PeImports, AreNotReadFromWhatIsNoPeImage) {
    EXPECT_FALSE(PeImportNames(VEXLO_LIBRARY_PATH));
    EXPECT_FALSE(PeImportNames("no/such/library.dll"));
}
#endif

}  // namespace
