// The base Open: how the pin array is built from the host's pin count and the module's descriptions.
#include <climits>

#include "allocation_counter.h"
#include "module_fixture.h"

namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class PinBuildingTest : public ModuleTest {
protected:
    // Nine described pins, each bound to its own module member, of assorted data types.
    std::vector<TestModule::Pin> Nine(int32_t last_flags = 0) {
        std::vector<TestModule::Pin> d;
        for (int i = 0; i < 9; ++i) d.push_back({kTypes[i], &members[i]});
        d[8].datatype = DT_FSAMPLE;
        d[8].flags = last_flags;
        return d;
    }
    static std::vector<int32_t> Range(int32_t from, int32_t to) {
        std::vector<int32_t> r;
        for (int32_t i = from; i <= to; ++i) r.push_back(i);
        return r;
    }
    // A pin left as constructed: no value, no owner, static.
    void ExpectEmpty(int32_t index) {
        TRPin* pin = module->GetPin(index);
        ASSERT_NE(pin, nullptr);
        EXPECT_EQ(pin->Variable(), nullptr) << "pin " << index;
        EXPECT_EQ(pin->State(), PIN_STATE_STATIC) << "pin " << index;
    }
    void ExpectBoundToMember(int32_t index) {
        TRPin* pin = module->GetPin(index);
        ASSERT_NE(pin, nullptr);
        EXPECT_EQ(pin->Index(), index);
        EXPECT_EQ(pin->Datatype(), module->pins[static_cast<size_t>(index)].datatype);
        EXPECT_EQ(pin->Variable(), &members[index]);
        EXPECT_EQ(pin->State(), PIN_STATE_STATIC);
    }

    static constexpr int32_t kTypes[9] = {DT_FSAMPLE, DT_FSAMPLE, DT_LIST, DT_BYTE,   DT_WORD32,
                                          DT_FSAMPLE, DT_LIST,    2,       DT_FSAMPLE};
    uint32_t members[9] = {};
};

// A negative count from the host counts as 0: an empty array, and index 0 then -1 are asked for.
TEST_F(PinBuildingTest, ZeroOrNegativePinCountBuildsAnEmptyArray) {
    for (int32_t count : {0, -5}) {
        module->asked.clear();
        AssertRecorder::Checks().clear();
        OpenWith(count, Nine(PIN_FLAG_REPEAT));
        EXPECT_THAT(module->asked, ElementsAre(0, -1));
        EXPECT_EQ(module->PinCount(), 0);
        EXPECT_TRUE(host.CallsWith(HOST_GET_PIN_BUFFER).empty());
        // The array exists (m_pins is not null), so only the index check fails, not the "built" one.
        EXPECT_EQ(module->GetPin(0), nullptr);
        EXPECT_THAT(AssertRecorder::Lines(), ElementsAre(124)) << "count " << count;
    }
}

TEST_F(PinBuildingTest, CountEqualToDescriptionsSetsUpEveryPin) {
    OpenWith(9, Nine());
    std::vector<int32_t> expected = Range(0, 9);
    expected.push_back(8);
    EXPECT_THAT(module->asked, ElementsAreArray(expected));
    EXPECT_EQ(module->PinCount(), 9);
    for (int32_t i = 0; i < 9; ++i) ExpectBoundToMember(i);
    // Every pin had a member, so none asked for a buffer.
    EXPECT_TRUE(host.CallsWith(HOST_GET_PIN_BUFFER).empty());
    EXPECT_TRUE(AssertRecorder::Checks().empty());
}

TEST_F(PinBuildingTest, CountSmallerThanDescriptionsStopsAtTheCount) {
    OpenWith(5, Nine());
    EXPECT_THAT(module->asked, ElementsAre(0, 1, 2, 3, 4, 5, 4));
    EXPECT_EQ(module->PinCount(), 5);
    for (int32_t i = 0; i < 5; ++i) ExpectBoundToMember(i);
}

TEST_F(PinBuildingTest, EveryDescriptionStartsFromAClearedRecord) {
    // Whether the loop ends at the count or at the first undescribed index, the re-description of
    // the last pin must not see what the previous answer left in the record.
    for (int32_t count : {0, 5, 9, 12}) {
        module->asked.clear();
        module->record_clear_on_entry.clear();
        std::vector<TestModule::Pin> d = Nine(PIN_FLAG_REPEAT);
        for (TestModule::Pin& pin : d) pin.flags |= 512;
        OpenWith(count, d);
        EXPECT_THAT(module->record_clear_on_entry, Each(true)) << "count " << count;
        EXPECT_EQ(module->record_clear_on_entry.size(), module->asked.size());
    }
}

TEST_F(PinBuildingTest, RepeatFlagOnTheLastDescriptionRepeatsItOverTheRemainingPins) {
    OpenWith(12, Nine(PIN_FLAG_REPEAT));
    std::vector<int32_t> expected = Range(0, 9);
    expected.push_back(8);
    EXPECT_THAT(module->asked, ElementsAreArray(expected));
    EXPECT_EQ(module->PinCount(), 12);
    for (int32_t i = 0; i < 9; ++i) ExpectBoundToMember(i);
    for (int32_t j = 9; j < 12; ++j) {
        TRPin* pin = module->GetPin(j);
        EXPECT_EQ(pin->Index(), j);
        EXPECT_EQ(pin->Datatype(), DT_FSAMPLE);
        ASSERT_TRUE(HasOwnStorage(pin)) << "pin " << j;
        EXPECT_EQ(*static_cast<uint32_t*>(pin->Variable()), FakeHost::BufferFor(j));
    }
    // Each repeated pin asked for its buffer exactly once, with its own index and nothing else.
    std::vector<int32_t> buffer_indices;
    for (const FakeHost::Call& call : host.CallsWith(HOST_GET_PIN_BUFFER)) {
        buffer_indices.push_back(call.index);
        EXPECT_EQ(call.value, 0);
        EXPECT_EQ(call.ptr, nullptr);
        EXPECT_EQ(call.opt, 0.0f);
    }
    EXPECT_THAT(buffer_indices, ElementsAre(9, 10, 11));
}

TEST_F(PinBuildingTest, WithoutTheRepeatFlagTheRemainingPinsStayEmpty) {
    OpenWith(12, Nine());
    EXPECT_EQ(module->PinCount(), 12);
    for (int32_t j = 9; j < 12; ++j) ExpectEmpty(j);
    EXPECT_TRUE(host.CallsWith(HOST_GET_PIN_BUFFER).empty());
}

TEST_F(PinBuildingTest, RepeatFlagOnAnEarlierDescriptionHasNoEffect) {
    std::vector<TestModule::Pin> d = Nine();
    d[3].flags = PIN_FLAG_REPEAT;
    d[7].flags = PIN_FLAG_REPEAT;
    OpenWith(12, d);
    for (int32_t j = 9; j < 12; ++j) ExpectEmpty(j);
    EXPECT_TRUE(host.CallsWith(HOST_GET_PIN_BUFFER).empty());
}

TEST_F(PinBuildingTest, RepeatedListPinsGetZeroedStorageOfTheirOwn) {
    OpenWith(4, {{DT_LIST, &members[0], PIN_FLAG_REPEAT | 512}});
    for (int32_t j = 1; j < 4; ++j) {
        TRPin* pin = module->GetPin(j);
        EXPECT_EQ(pin->Datatype(), DT_LIST);
        ASSERT_TRUE(HasOwnStorage(pin));
        EXPECT_EQ(*static_cast<uint16_t*>(pin->Variable()), 0);
    }
    EXPECT_NE(module->GetPin(1)->Variable(), module->GetPin(2)->Variable());
}

TEST_F(PinBuildingTest, DescriptionWithoutMemberGetsStorageByDataType) {
    OpenWith(6, {{DT_FSAMPLE, &members[0]},
                 {DT_FSAMPLE, nullptr},
                 {DT_LIST, nullptr},
                 {DT_BYTE, nullptr},
                 {DT_WORD32, nullptr},
                 {2, nullptr}});
    ExpectBoundToMember(0);

    TRPin* sample = module->GetPin(1);
    ASSERT_TRUE(HasOwnStorage(sample));
    EXPECT_EQ(*static_cast<uint32_t*>(sample->Variable()), FakeHost::BufferFor(1));
    ASSERT_EQ(host.CallsWith(HOST_GET_PIN_BUFFER).size(), 1u);
    EXPECT_EQ(host.CallsWith(HOST_GET_PIN_BUFFER)[0].index, 1);

    for (int32_t i : {2, 3, 4}) {
        TRPin* pin = module->GetPin(i);
        ASSERT_TRUE(HasOwnStorage(pin)) << "pin " << i;
        EXPECT_EQ(*static_cast<uint32_t*>(pin->Variable()), 0u) << "pin " << i;
    }
    // A data type without storage leaves the pin without a value address.
    EXPECT_EQ(module->GetPin(5)->Variable(), nullptr);
    EXPECT_EQ(module->GetPin(5)->Datatype(), 2);
}

TEST_F(PinBuildingTest, GapInTheDescriptionsEndsTheDescribedRange) {
    // Index 2 is not described: 0 and 1 are set up, 1 decides about the rest.
    std::vector<TestModule::Pin> d = {{DT_WORD32, &members[0]}, {DT_WORD32, &members[1], PIN_FLAG_REPEAT}};
    OpenWith(5, d);
    EXPECT_THAT(module->asked, ElementsAre(0, 1, 2, 1));
    for (int32_t j = 2; j < 5; ++j) {
        EXPECT_EQ(module->GetPin(j)->Datatype(), DT_WORD32);
        EXPECT_TRUE(HasOwnStorage(module->GetPin(j)));
    }
}

TEST_F(PinBuildingTest, NoDescriptionsLeavesEveryHostPinEmpty) {
    OpenWith(3, {});
    EXPECT_THAT(module->asked, ElementsAre(0, -1));
    for (int32_t j = 0; j < 3; ++j) ExpectEmpty(j);
}

TEST_F(PinBuildingTest, SecondOpenReplacesThePinsOfTheFirst) {
    OpenWith(3, Nine());
    ASSERT_EQ(allocation_counter::LiveNothrowArrays(), 1);
    OpenWith(12, Nine(PIN_FLAG_REPEAT));
    EXPECT_EQ(allocation_counter::LiveNothrowArrays(), 1) << "the first array must be released";
    EXPECT_EQ(module->PinCount(), 12);
    for (int32_t i = 0; i < 9; ++i) ExpectBoundToMember(i);
    EXPECT_TRUE(HasOwnStorage(module->GetPin(11)));
    EXPECT_EQ(*static_cast<uint32_t*>(module->GetPin(11)->Variable()), FakeHost::BufferFor(11));
    EXPECT_EQ(Close(), 1);
    EXPECT_EQ(allocation_counter::LiveNothrowArrays(), 0);
}

// A pin array that cannot be had leaves the module without pins; every later use is safe.
class PinAllocationFailureTest : public PinBuildingTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(PinAllocationFailureTest, LeavesNoPinsAndNothingCrashesLater) {
    if (GetParam() == 4) allocation_counter::FailNthNothrowAllocation(1);
    OpenWith(GetParam(), Nine(PIN_FLAG_REPEAT));
    EXPECT_EQ(module->PinCount(), 0);
    EXPECT_EQ(allocation_counter::LiveNothrowArrays(), 0);
    EXPECT_TRUE(host.CallsWith(HOST_GET_PIN_BUFFER).empty());

    EXPECT_EQ(module->GetPin(0), nullptr);
    EXPECT_EQ(Send(Event(host.sample_clock, EVT_PIN_STATUS, PIN_STATE_RUNNING, 0, AsPtr(0))), 0);
    EXPECT_TRUE(module->status_notices.empty());
    EXPECT_THAT(AssertRecorder::Lines(), ElementsAre(123, 123));
    EXPECT_EQ(AssertRecorder::Checks()[0].expression, "m_pins != 0");

    // A later open with a sane count recovers.
    OpenWith(9, Nine());
    EXPECT_EQ(module->PinCount(), 9);
    EXPECT_EQ(Close(), 1);
    EXPECT_EQ(allocation_counter::LiveNothrowArrays(), 0);
}

INSTANTIATE_TEST_SUITE_P(HugeOrFailing, PinAllocationFailureTest, ::testing::Values(4, INT_MAX, 0x0AAAAAAB, 0x40000000),
                         [](const auto& info) { return "count_" + std::to_string(info.param); });

}  // namespace
