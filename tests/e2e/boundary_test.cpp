// The library's outward face, through the built library as the host loads it: the module texts and
// flags from getModuleProperties, and the instances and records from makeModule.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host_instance.h"
#include "module_library.h"
#include "vexlo_version.h"

namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using trhost::HostInstance;
using trhost::ModuleLibrary;

constexpr uint32_t kHostFill = 0xA5A5A5A5u;

class BoundaryTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        library = ModuleLibrary::Load(VEXLO_LIBRARY_PATH, &error);
        ASSERT_TRUE(library) << error;
    }

    // A host record larger than ModuleProperties, every word holding the host's own bits.
    struct HostRecord {
        ModuleProperties properties;
        uint32_t beyond[8];
    };
    static HostRecord Filled() {
        HostRecord record;
        std::memset(&record, 0xA5, sizeof record);
        return record;
    }
    static uint32_t Word(const void* p) {
        uint32_t w;
        std::memcpy(&w, p, sizeof w);
        return w;
    }
    std::string About() {
        ModuleProperties properties{};
        EXPECT_EQ(library->GetModuleProperties()(0, &properties), 1);
        return properties.about ? properties.about : "";
    }

    std::unique_ptr<ModuleLibrary> library;
};

// ---- getModuleProperties ----------------------------------------------------------------------

TEST_F(BoundaryTest, IndexZeroFillsTheTextsAndFlagsAndNothingElse) {
    HostRecord record = Filled();
    EXPECT_EQ(library->GetModuleProperties()(0, &record.properties), 1);
    EXPECT_STREQ(record.properties.name, "VEXLO");
    EXPECT_STREQ(record.properties.id, "QAV VEXLO");
    ASSERT_NE(record.properties.about, nullptr);
    EXPECT_EQ(record.properties.flags, 2050);
    EXPECT_EQ(Word(&record.properties.host_word12), kHostFill);
    EXPECT_EQ(Word(&record.properties.host_word16), kHostFill);
    EXPECT_THAT(record.beyond, ::testing::Each(kHostFill));
}

TEST_F(BoundaryTest, EveryOtherIndexAnswersZeroButStillWritesTheFlags) {
    for (int32_t index : {1, 2, -1, INT_MAX, INT_MIN}) {
        HostRecord record = Filled();
        EXPECT_EQ(library->GetModuleProperties()(index, &record.properties), 0) << index;
        EXPECT_EQ(record.properties.flags, 2050) << index;
        record.properties.flags = static_cast<int32_t>(kHostFill);
        HostRecord untouched = Filled();
        EXPECT_EQ(std::memcmp(&record, &untouched, sizeof record), 0) << index;
    }
}

TEST_F(BoundaryTest, NullPropertiesAnswerZero) {
    EXPECT_EQ(library->GetModuleProperties()(0, nullptr), 0);
    EXPECT_EQ(library->GetModuleProperties()(1, nullptr), 0);
}

TEST_F(BoundaryTest, TextsAreTheLibrarysConstantsNotCopies) {
    ModuleProperties first{}, second{};
    library->GetModuleProperties()(0, &first);
    library->GetModuleProperties()(0, &second);
    EXPECT_EQ(first.name, second.name);
    EXPECT_EQ(first.id, second.id);
    EXPECT_EQ(first.about, second.about);
}

// Lines end in one blank and a line feed; paragraphs are separated by one empty line.
TEST_F(BoundaryTest, AboutTextHasItsLineAndParagraphForm) {
    const std::string about = About();
    ASSERT_FALSE(about.empty());
    EXPECT_EQ(about.rfind("VEXLO v.1.0.1 \n", 0), 0u) << "title line first";
    ASSERT_EQ(about.back(), '\n');
    EXPECT_EQ(about.find('\r'), std::string::npos);

    std::vector<std::vector<std::string>> paragraphs(1);
    std::istringstream lines(about);
    std::string line;
    while (std::getline(lines, line)) {
        for (unsigned char c : line) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "in: " << line;
        if (line.empty()) {
            EXPECT_FALSE(paragraphs.back().empty()) << "two empty lines in a row";
            paragraphs.emplace_back();
            continue;
        }
        ASSERT_GE(line.size(), 2u);
        EXPECT_EQ(line.back(), ' ') << "no blank before the line feed: " << line;
        EXPECT_NE(line[line.size() - 2], ' ') << "more than one blank: " << line;
        paragraphs.back().push_back(line.substr(0, line.size() - 1));
    }
    ASSERT_EQ(paragraphs.size(), 7u);
    EXPECT_EQ(paragraphs[0].size(), 3u);
    EXPECT_EQ(paragraphs[0][0], "VEXLO v.1.0.1");
    EXPECT_EQ(paragraphs[1].size(), 2u);
    EXPECT_EQ(paragraphs[2].size(), 1u);
    EXPECT_THAT(paragraphs[6], ElementsAre("If DEPTH SCALE=relative then a value of 1 equals the offset"));
    EXPECT_TRUE(about.ends_with("\nIf DEPTH SCALE=relative then a value of 1 equals the offset \n"));

    auto text_of = [&](size_t p) {
        std::string joined;
        for (const std::string& l : paragraphs[p]) joined += l + " ";
        return joined;
    };
    EXPECT_THAT(text_of(3), AllOf(HasSubstr("LFO"), HasSubstr("FREQ"), HasSubstr("PHASE"), HasSubstr("zipper"),
                                  HasSubstr("FM"), HasSubstr("PM")));
    EXPECT_THAT(text_of(4), AllOf(HasSubstr("OFFSET 1"), HasSubstr("DEPTH 1"), HasSubstr("0.1"), HasSubstr("10 Hz"),
                                  HasSubstr("IN")));
    EXPECT_THAT(text_of(5), AllOf(HasSubstr("chorus"), HasSubstr("flanger"), HasSubstr("delay"), HasSubstr("PHASE")));
}

// The title line names the release the build makes, from the version the build was given.
TEST_F(BoundaryTest, AboutTitleLineNamesTheBuildsVersion) {
    const std::string about = About();
    EXPECT_EQ(about.substr(0, about.find('\n')), std::string("VEXLO v.") + VEXLO_VERSION_TEXT + " ");
}

// ---- makeModule -------------------------------------------------------------------------------

TEST_F(BoundaryTest, OnlyModuleZeroOfKindOneIsMade) {
    HostInstance instance(*library);
    EXPECT_FALSE(instance.Create(0, 2));
    EXPECT_FALSE(instance.Create(1, 1));
    EXPECT_FALSE(instance.Create(-1, 1));
    EXPECT_FALSE(instance.Create(0, 0));
    EXPECT_FALSE(instance.Create(1, 2));
    EXPECT_TRUE(instance.Calls().empty());
    EXPECT_TRUE(instance.Create(0, 1));
}

TEST_F(BoundaryTest, CreationFillsTheRecordAndAsksNothingOfTheHost) {
    for (uint32_t handle : {0u, 1u, 0xDEADBEEFu, 0xFFFFFFFFu}) {
        HostInstance instance(*library);
        ASSERT_TRUE(instance.Create(0, 1, handle));
        const TRMod_struct* record = instance.Record();
        EXPECT_EQ(record->magic, 0x5452504Cu);
        EXPECT_EQ(record->version, 1u);
        EXPECT_EQ(record->host_handle, handle);
        ASSERT_NE(record->object, nullptr);
        // The answer is the embedded record, not the instance that holds it.
        EXPECT_NE(record->object, static_cast<const void*>(record));
        EXPECT_EQ(record->reserved16, 0u);
        EXPECT_THAT(record->reserved32, ElementsAre(0u, 0u, 0u, 0u));
        EXPECT_NE(record->dispatcher, nullptr);
        EXPECT_NE(record->process, nullptr);
        EXPECT_NE(record->event, nullptr);
        EXPECT_TRUE(instance.Calls().empty());
        // Before the module chooses its routine, a process call does nothing.
        instance.Process(0, 64);
        EXPECT_TRUE(instance.Calls().empty());
    }
}

TEST_F(BoundaryTest, EveryCallMakesAnIndependentInstance) {
    HostInstance a(*library), b(*library);
    ASSERT_TRUE(a.Create(0, 1, 7));
    ASSERT_TRUE(b.Create(0, 1, 7));
    EXPECT_NE(a.Record(), b.Record());
    EXPECT_NE(a.Record()->object, b.Record()->object);
    EXPECT_EQ(a.Close(), 1);
    // Closing one leaves the other whole.
    EXPECT_EQ(b.Record()->magic, 0x5452504Cu);
    EXPECT_EQ(b.Record()->host_handle, 7u);
    EXPECT_EQ(b.Close(), 1);
}

TEST_F(BoundaryTest, NullCallbackIsAcceptedAndTheInstanceStillOpensAndCloses) {
    TRMod_struct* record = library->MakeModule()(0, 1, nullptr, 42);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->host_handle, 42u);
    EXPECT_EQ(record->dispatcher(record, DISP_OPEN, 0, 0, nullptr, 0.0f), 0);
    record->process(record->object, 0, 16);
    TREvent event{0, EVT_DATA, 1, 2, nullptr, nullptr};
    record->event(record->object, &event);
    EXPECT_EQ(record->dispatcher(record, DISP_CLOSE, 0, 0, nullptr, 0.0f), 1);
}

// ---- the record's entries, as the host reaches them ---------------------------------------------

TEST_F(BoundaryTest, UnusedAndForbiddenOpcodesAnswerZeroAndLeaveTheRecordAlone) {
    HostInstance instance(*library);
    ASSERT_TRUE(instance.Create());
    const TRMod_struct before = *instance.Record();
    PinProperties record{};
    for (uint32_t opcode : {4u, 5u, 7u, 9u, 10u, 11u, 13u, 0x80000000u, 0xFFFFFFFFu}) {
        EXPECT_EQ(instance.Dispatch(opcode, 0, 1, &record, 2.0f), 0) << opcode;
    }
    EXPECT_EQ(std::memcmp(instance.Record(), &before, sizeof before), 0);
    EXPECT_TRUE(instance.Calls().empty());
    EXPECT_EQ(instance.Close(), 1);
}

TEST_F(BoundaryTest, PinPropertiesAnswerExactlyOneOrZeroAndNeverWriteThroughNull) {
    HostInstance instance(*library);
    ASSERT_TRUE(instance.Create());
    EXPECT_EQ(instance.Dispatch(DISP_GET_PIN_PROPERTIES, 0, 0, nullptr), 0);

    PinProperties host_fill;
    std::memset(&host_fill, 0xA5, sizeof host_fill);
    PinProperties record = host_fill;
    EXPECT_EQ(instance.Dispatch(DISP_GET_PIN_PROPERTIES, -1, 0, &record), 0);
    EXPECT_EQ(std::memcmp(&record, &host_fill, sizeof record), 0) << "an undescribed index writes nothing";

    record = host_fill;
    int32_t answer = instance.Dispatch(DISP_GET_PIN_PROPERTIES, 0, 0, &record);
    EXPECT_TRUE(answer == 0 || answer == 1) << answer;
    EXPECT_EQ(record.reserved, host_fill.reserved) << "reserved is never written";
}

TEST_F(BoundaryTest, NullEventAnswersZero) {
    HostInstance instance(*library);
    ASSERT_TRUE(instance.Create());
    EXPECT_EQ(instance.SendEvent(nullptr), 0);
    EXPECT_EQ(instance.Record()->event(nullptr, nullptr), 0);
    EXPECT_EQ(instance.Record()->dispatcher(nullptr, DISP_CLOSE, 0, 0, nullptr, 0.0f), 0);
    EXPECT_TRUE(instance.Alive());
    EXPECT_EQ(instance.Close(), 1);
}

}  // namespace
