// The validator's parts on their own: the guarded buffers, the list settings a sweep goes through,
// check selection, how results are judged and cut short, the seeds, the allocation window and the
// reading of pin descriptions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>

#include "allocation_counter.h"
#include "check_runner.h"
#include "driven_pin.h"
#include "freed_memory.h"
#include "guarded_buffer.h"
#include "host_instance.h"
#include "input_signal.h"
#include "list_settings.h"
#include "result_builder.h"
#include "stack_offset_call.h"

using namespace trhost;
using namespace trhost::validate;

namespace {

PinDescription Described(int32_t index, int32_t direction, int32_t datatype, const char* default_text,
                         const char* extra_text, void* member = nullptr, int32_t flags = 0) {
    PinDescription pin;
    pin.index = index;
    pin.direction = direction;
    pin.datatype = datatype;
    pin.name = "pin" + std::to_string(index);
    if (default_text) pin.default_text = default_text;
    if (extra_text) pin.extra_text = extra_text;
    pin.variable_address = member;
    pin.flags = flags;
    return pin;
}

}  // namespace

TEST(GuardedBuffer, SeesWritesOnEitherSideOfTheBlockButNotInIt) {
    GuardedBuffer buffer(100);
    buffer.Data()[10] = 1.0f;  // inside [10, 30)
    buffer.Data()[29] = 1.0f;
    EXPECT_EQ(buffer.WritesOutside(10, 20).count, 0);

    buffer.Data()[30] = 1.0f;  // one past the end
    buffer.Data()[-1] = 1.0f;  // in the front guard
    auto writes = buffer.WritesOutside(10, 20);
    EXPECT_EQ(writes.count, 2);
    EXPECT_EQ(writes.first, -1);
    buffer.FillCanaries();
    buffer.Data()[100 + GuardedBuffer::kGuard - 1] = 0.0f;  // the last sample of the back guard
    EXPECT_EQ(buffer.WritesOutside(0, 100).first, 100 + GuardedBuffer::kGuard - 1);
}

TEST(GuardedBuffer, SeesAnyChangeSinceTheSnapshotBitForBit) {
    GuardedBuffer buffer(16);
    buffer.Data()[3] = 0.0f;
    buffer.Snapshot();
    EXPECT_EQ(buffer.ChangesSinceSnapshot().count, 0);
    buffer.Data()[3] = -0.0f;  // equal as a number, not as bits
    auto changes = buffer.ChangesSinceSnapshot();
    EXPECT_EQ(changes.count, 1);
    EXPECT_EQ(changes.first, 3);
    EXPECT_TRUE(IsCanary(buffer.Data()[4]));
}

TEST(ListSettings, TakesEveryCombinationWhileThereAreFew) {
    int16_t a = 0, b = 0, c = 0;
    auto pins = DrivenPins(
        {Described(0, PIN_IN, DT_LIST, "1", "x=0,y=1,z=2", &a), Described(1, PIN_SETTING, DT_LIST, "0", "p=0,q=5", &b),
         Described(2, PIN_SETTING, DT_LIST, "0", "u=0,v=1", &c),
         Described(3, PIN_IN, DT_LIST, "0", "only=0,other=1", nullptr)},
        0);
    auto settings = ListSettings(pins);
    ASSERT_EQ(settings.size(), 12u);  // the list without a member cannot be set and is left out
    std::set<std::vector<int32_t>> distinct;
    for (const auto& setting : settings) {
        ASSERT_EQ(setting.size(), 3u);
        std::vector<int32_t> values;
        for (const auto& [pin, value] : setting) values.push_back(value);
        distinct.insert(values);
    }
    EXPECT_EQ(distinct.size(), 12u);
    EXPECT_TRUE(distinct.count({2, 5, 1}));
}

TEST(ListSettings, GoesThroughEachListAloneWhenCombinationsAreMany) {
    int16_t members[6] = {};
    std::vector<PinDescription> descriptions;
    for (int32_t i = 0; i < 6; ++i) descriptions.push_back(Described(i, PIN_IN, DT_LIST, "0", "a=0,b=1", &members[i]));
    // The settings point at the pins: they must outlive them.
    auto pins = DrivenPins(descriptions, 0);
    auto settings = ListSettings(pins);
    ASSERT_EQ(settings.size(), 7u);  // the defaults, then each list at its other choice
    for (size_t s = 1; s < settings.size(); ++s) {
        int changed = 0;
        for (const auto& [pin, value] : settings[s]) changed += value != pin->default_choice;
        EXPECT_EQ(changed, 1);
    }
}

TEST(DrivenPins, ReadRangesInVoltsAndRepeatTheLastPinWhenAsked) {
    auto pins = DrivenPins({Described(0, PIN_IN, DT_FSAMPLE, "1", "20,.0001,20,.0001"),
                            Described(1, PIN_IN, DT_FSAMPLE, "50", "10,0,10,0"),
                            Described(2, PIN_IN, DT_FSAMPLE, nullptr, nullptr, nullptr, PIN_FLAG_REPEAT)},
                           2);
    ASSERT_EQ(pins.size(), 5u);
    EXPECT_DOUBLE_EQ(pins[0].low, 0.00001);
    EXPECT_DOUBLE_EQ(pins[0].high, 2.0);
    EXPECT_DOUBLE_EQ(pins[0].default_sample, 0.1);
    EXPECT_DOUBLE_EQ(pins[1].default_sample, 0.0) << "a default outside the range is not fed";
    EXPECT_DOUBLE_EQ(pins[2].low, -1.0);
    EXPECT_TRUE(pins[3].repeated);
    EXPECT_EQ(pins[4].index, 4);
    // The float nearest a range end divided down may lie outside it; the sample fed may not.
    EXPECT_GE(InRangeSample(pins[0], pins[0].low), pins[0].low);
    EXPECT_LE(InRangeSample(pins[0], pins[0].high), pins[0].high);
}

TEST(SelectChecks, ByNamePartOrPattern) {
    auto names = [](const std::string& pattern) {
        std::vector<std::string> selected;
        for (const Check* check : SelectChecks(pattern)) selected.push_back(check->name);
        return selected;
    };
    EXPECT_EQ(names("").size(), AllChecks().size());
    EXPECT_EQ(names("processing"), std::vector<std::string>{"processing"});
    EXPECT_EQ(names("open-close"), (std::vector<std::string>{"open-close", "open-close-cycles"}));
    EXPECT_EQ(names("open-clos?"), std::vector<std::string>{"open-close"});
    EXPECT_EQ(names("*-state,exports"), (std::vector<std::string>{"exports", "fp-state"}));
    EXPECT_TRUE(names("no-such-check").empty());
    std::set<std::string> unique;
    for (const auto& check : AllChecks()) {
        EXPECT_TRUE(unique.insert(check.name).second) << check.name;
        EXPECT_GT(std::strlen(check.description), 10u) << check.name;
    }
}

TEST(ResultBuilder, JudgesTheWorstThingSeen) {
    auto judged = [](std::initializer_list<MessageKind> kinds, bool crashed) {
        ResultBuilder builder("x");
        for (MessageKind kind : kinds) builder.Add(kind, "seen");
        if (crashed) builder.Crashed("SIGSEGV");
        return builder.Finish(0).verdict;
    };
    EXPECT_EQ(judged({MessageKind::kInfo}, false), Verdict::kPass);
    EXPECT_EQ(judged({MessageKind::kSkip}, false), Verdict::kSkip);
    EXPECT_EQ(judged({MessageKind::kSkip, MessageKind::kWarn}, false), Verdict::kWarn);
    EXPECT_EQ(judged({MessageKind::kWarn, MessageKind::kFail}, false), Verdict::kFail);
    EXPECT_EQ(judged({MessageKind::kFail}, true), Verdict::kCrash);
}

TEST(ResultBuilder, KeepsTheFirstFindingsCountsTheRestAndNamesTheStageOfACrash) {
    ResultBuilder builder("x");
    for (int i = 0; i < 20; ++i) builder.Add(MessageKind::kFail, "finding " + std::to_string(i));
    builder.Add(MessageKind::kStage, "48000 Hz, block 17");
    builder.Crashed("SIGSEGV");
    CheckResult result = builder.Finish(0);
    ASSERT_EQ(result.failures.size(), ResultBuilder::kKeptFindings + 1);
    EXPECT_EQ(result.failures.front(), "finding 0");
    EXPECT_EQ(result.failures.back(), "... and 12 more");
    EXPECT_EQ(result.crash, "SIGSEGV during: 48000 Hz, block 17");
}

TEST(Seeds, EachCheckDrawsItsOwnReproducibleSequence) {
    EXPECT_EQ(CheckSeed(5, "processing"), CheckSeed(5, "processing"));
    EXPECT_NE(CheckSeed(5, "processing"), CheckSeed(6, "processing"));
    EXPECT_NE(CheckSeed(5, "processing"), CheckSeed(5, "bad-input"));
    Random a(CheckSeed(5, "processing")), b(CheckSeed(5, "processing"));
    for (int i = 0; i < 100; ++i) EXPECT_EQ(a.Between(0, 4351), b.Between(0, 4351));
    Random wide(1);
    for (int i = 0; i < 1000; ++i) {
        int32_t value = wide.Between(-3, 3);
        EXPECT_GE(value, -3);
        EXPECT_LE(value, 3);
        double uniform = wide.Uniform(-1.0, 0.5);
        EXPECT_GE(uniform, -1.0);
        EXPECT_LE(uniform, 0.5);
    }
    EXPECT_EQ(wide.Between(INT32_MIN, INT32_MIN), INT32_MIN);
}

TEST(AllocationCounter, CountsInsideTheWindowOnlyAndLeavesHostCallbacksOut) {
    ASSERT_TRUE(AllocationCountingAvailable());
    // Called through pointers the compiler cannot see through, so that no pair is optimised away.
    void* (*volatile allocate)(size_t) = std::malloc;
    void (*volatile release)(void*) = std::free;
    void* (*volatile allocate_new)(size_t) = ::operator new;
    void (*volatile release_new)(void*) noexcept = ::operator delete;

    AllocationTotals before = CurrentAllocationTotals();
    void* kept = allocate(100);
    AllocationTotals during = CurrentAllocationTotals();
    release(kept);
    AllocationTotals after = CurrentAllocationTotals();
    EXPECT_EQ(during.live_blocks, before.live_blocks + 1);
    EXPECT_GE(during.live_bytes, before.live_bytes + 100);
    EXPECT_EQ(after.live_blocks, before.live_blocks);

    ExcludeHostCallbacksFromWindow();
    OpenAllocationWindow();
    void* block = allocate_new(48);
    release_new(block);
    // A callback into the host: what it allocates is the host's.
    HostCallback(nullptr, HOST_GET_SAMPLE_CLOCK, 0, 0, nullptr, 0.0f);
    AllocationWindow seen = CloseAllocationWindow();
    EXPECT_EQ(seen.allocations, 1);
    EXPECT_EQ(seen.releases, 1);
    EXPECT_EQ(seen.first_size, 48u);

    release(allocate(10));
    OpenAllocationWindow();
    EXPECT_EQ(CloseAllocationWindow().allocations, 0);
}

TEST(FreedMemory, APoisonedBlockReadsOtherPlausibleNumbersAfterEveryFree) {
    // The block stays held after free (the quarantine), so reading it here, as a faulty module would,
    // shows what the module would read.
    float* (*volatile allocate)(size_t) = [](size_t count) { return static_cast<float*>(std::malloc(count * 4)); };
    void (*volatile release)(void*) = std::free;
    std::set<uint32_t> seen;
    for (int round = 0; round < 3; ++round) {
        float* table = allocate(52);
        for (int i = 0; i < 52; ++i) table[i] = 0.25f;
        release(table);
        float read_after_free;
        std::memcpy(&read_after_free, reinterpret_cast<const unsigned char*>(table) + 160, sizeof read_after_free);
        EXPECT_LE(read_after_free, -1.0f);
        EXPECT_GT(read_after_free, -2.0f);
        uint32_t bits;
        std::memcpy(&bits, &read_after_free, sizeof bits);
        seen.insert(bits);
    }
    EXPECT_EQ(seen.size(), 3u) << "the pattern must change from one free to the next";
}

TEST(FreedMemory, PatternsAreFiniteNegativeAndDistinctForManyFrees) {
    std::set<uint32_t> patterns;
    for (uint32_t serial = 0; serial < 100000; ++serial) {
        uint32_t word = FreedPattern(serial);
        float value;
        std::memcpy(&value, &word, sizeof value);
        ASSERT_TRUE(value <= -1.0f && value > -2.0f) << serial;
        patterns.insert(word);
    }
    EXPECT_EQ(patterns.size(), 100000u);
}

namespace {

// Answers the stack pointer as the callee finds it on entry, just above the return address.
extern "C" uint32_t StackPointerAtEntry() asm("trhost_test_stack_pointer_at_entry");
asm(R"(
    .text
    .globl trhost_test_stack_pointer_at_entry
trhost_test_stack_pointer_at_entry:
    leal 4(%esp), %eax
    ret
)");

extern "C" uint32_t SumOfThree(uint32_t a, uint32_t b, uint32_t c) { return a + 10 * b + 100 * c; }

}  // namespace

TEST(StackOffsetCall, CallsWithTheStackTheChosenBytesBelowAMultipleOf16) {
    for (uint32_t offset : {0u, 4u, 8u, 12u}) {
        for (int32_t count : {0, 1, 2, 3, 5}) {
            const uint32_t arguments[5] = {};
            uint32_t at_call = CallWithStackOffset(reinterpret_cast<const void*>(StackPointerAtEntry), arguments,
                                                   count, offset);
            EXPECT_EQ((at_call + offset) % 16, 0u) << "offset " << offset << ", " << count << " arguments";
        }
        const uint32_t arguments[] = {1, 2, 3};
        EXPECT_EQ(CallWithStackOffset(reinterpret_cast<const void*>(SumOfThree), arguments, 3, offset), 321u);
    }
}
