// Pin states carried between host and module, and the events the host delivers through the record.
#include "module_fixture.h"

namespace {

using ::testing::ElementsAre;

class PinsEventsTest : public ModuleTest {
protected:
    void SetUp() override {
        host.sample_clock = 4096;
        OpenWith(3, {{DT_FSAMPLE, &member}, {DT_LIST, nullptr}, {DT_FSAMPLE, nullptr}});
        host.calls.clear();
    }
    int32_t StatusEvent(int32_t pin, int32_t state) {
        return Send(Event(host.sample_clock, EVT_PIN_STATUS, state, 0, AsPtr(static_cast<uint32_t>(pin))));
    }
    std::vector<int32_t> States() {
        std::vector<int32_t> states;
        for (int32_t i = 0; i < module->PinCount(); ++i) states.push_back(module->GetPin(i)->State());
        return states;
    }
    uint32_t member = 0;
};

TEST_F(PinsEventsTest, ChangedStateHoldsOnlyWhileTheModuleIsTold) {
    StatusEvent(1, PIN_STATE_CHANGED);
    ASSERT_EQ(module->status_notices.size(), 1u);
    EXPECT_EQ(module->status_notices[0].pin, module->GetPin(1));
    EXPECT_EQ(module->status_notices[0].state_during, PIN_STATE_CHANGED);
    EXPECT_EQ(module->GetPin(1)->State(), PIN_STATE_STATIC);
}

TEST_F(PinsEventsTest, RunningAndStaticStayUntilTheNextReport) {
    StatusEvent(2, PIN_STATE_RUNNING);
    EXPECT_EQ(module->GetPin(2)->State(), PIN_STATE_RUNNING);
    EXPECT_THAT(States(), ElementsAre(0, 0, 2));
    StatusEvent(2, PIN_STATE_STATIC);
    EXPECT_EQ(module->GetPin(2)->State(), PIN_STATE_STATIC);
    ASSERT_EQ(module->status_notices.size(), 2u);
    EXPECT_EQ(module->status_notices[0].state_during, PIN_STATE_RUNNING);
    EXPECT_EQ(module->status_notices[1].state_during, PIN_STATE_STATIC);
    EXPECT_TRUE(AssertRecorder::Checks().empty());
}

TEST_F(PinsEventsTest, TransmitStatusTellsTheHostAndLeavesTheOwnStateAlone) {
    TRPin* pin = module->GetPin(0);
    pin->TransmitStatus(777, PIN_STATE_RUNNING);
    EXPECT_EQ(pin->State(), PIN_STATE_STATIC);
    StatusEvent(0, PIN_STATE_RUNNING);
    pin->TransmitStatus(778, PIN_STATE_STATIC);
    EXPECT_EQ(pin->State(), PIN_STATE_RUNNING);

    std::vector<FakeHost::Call> sent = host.CallsWith(HOST_SET_PIN_STATUS);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].record, module->Plug());
    EXPECT_EQ(sent[0].index, 0);
    EXPECT_EQ(sent[0].value, PIN_STATE_RUNNING);
    EXPECT_EQ(sent[0].ptr, AsPtr(777));
    EXPECT_EQ(sent[0].opt, 0.0f);
    EXPECT_EQ(sent[1].value, PIN_STATE_STATIC);
    EXPECT_EQ(sent[1].ptr, AsPtr(778));
}

TEST_F(PinsEventsTest, StatusForAPinOutsideTheArrayChangesNothing) {
    for (int32_t index : {3, 7, -1}) StatusEvent(index, PIN_STATE_RUNNING);
    EXPECT_THAT(States(), ElementsAre(0, 0, 0));
    EXPECT_TRUE(module->status_notices.empty());
    EXPECT_THAT(AssertRecorder::Lines(), ElementsAre(124, 124, 124));
    EXPECT_EQ(AssertRecorder::Checks()[0].source, "TRModule_base");
}

TEST_F(PinsEventsTest, DataEventPassesTheLowSixteenBitsAsAnUnsignedNumber) {
    Send(Event(host.sample_clock, EVT_DATA, -12, 0x12345));
    Send(Event(host.sample_clock, EVT_DATA, 5, -1));
    ASSERT_EQ(module->data_notices.size(), 2u);
    EXPECT_EQ(module->data_notices[0].time_stamp, 4096u);
    EXPECT_EQ(module->data_notices[0].value, -12);
    EXPECT_EQ(module->data_notices[0].number, 0x2345);
    EXPECT_EQ(module->data_notices[1].number, 0xFFFF);
}

TEST_F(PinsEventsTest, UnknownEventTypesDoNothing) {
    for (int32_t type : {1, 3, 20, 22, -1}) {
        Send(Event(host.sample_clock, type, PIN_STATE_RUNNING, 0x12345, AsPtr(1)));
    }
    EXPECT_TRUE(module->status_notices.empty());
    EXPECT_TRUE(module->data_notices.empty());
    EXPECT_THAT(States(), ElementsAre(0, 0, 0));
    EXPECT_TRUE(AssertRecorder::Checks().empty());
}

TEST_F(PinsEventsTest, WrongTimeStampIsReportedBeforeTheTypeIsLookedAt) {
    // An ignored type still fails the check.
    Send(Event(host.sample_clock + 1, 1));
    EXPECT_THAT(AssertRecorder::Lines(), ElementsAre(238));
    EXPECT_EQ(AssertRecorder::Checks()[0].expression, "e->time_stamp == SampleClock()");
    EXPECT_EQ(AssertRecorder::Checks()[0].source, "TRModule_base");

    // The check lets execution go on: the event is still delivered, after the report.
    Send(Event(host.sample_clock - 1, EVT_DATA, 1, 2));
    EXPECT_THAT(AssertRecorder::Lines(), ElementsAre(238, 238));
    ASSERT_EQ(module->data_notices.size(), 1u);
    EXPECT_EQ(module->data_notices[0].checks_before, 2u);
}

TEST_F(PinsEventsTest, EveryEventAsksTheHostForTheClock) {
    Send(Event(host.sample_clock, 1));
    host.sample_clock = 5000;
    Send(Event(5000, 1));
    EXPECT_EQ(host.CallsWith(HOST_GET_SAMPLE_CLOCK).size(), 2u);
    EXPECT_TRUE(AssertRecorder::Checks().empty());
}

void* g_routine_object = nullptr;
int g_routine_runs = 0;
void TR_CALL Routine(void* object) {
    g_routine_object = object;
    ++g_routine_runs;
}

TEST_F(PinsEventsTest, RunRoutineRunsTheRoutineOnThisModule) {
    g_routine_object = nullptr;
    g_routine_runs = 0;
    Send(Event(host.sample_clock, EVT_RUN_ROUTINE, 0, 0, reinterpret_cast<void*>(&Routine)));
    EXPECT_EQ(g_routine_runs, 1);
    EXPECT_EQ(g_routine_object, module->Plug()->object);
    EXPECT_EQ(TRModule_base::FromObject(g_routine_object), module);
}

TEST_F(PinsEventsTest, RunRoutineWithoutARoutineIsIgnored) {
    EXPECT_EQ(Send(Event(host.sample_clock, EVT_RUN_ROUTINE)), 0);
    EXPECT_TRUE(AssertRecorder::Checks().empty());
}

TEST_F(PinsEventsTest, NullEventOrObjectIsIgnored) {
    TRMod_struct* record = module->Plug();
    EXPECT_EQ(record->event(record->object, nullptr), 0);
    TREvent e = Event(host.sample_clock, EVT_PIN_STATUS, PIN_STATE_RUNNING, 0, AsPtr(0));
    EXPECT_EQ(record->event(nullptr, &e), 0);
    EXPECT_EQ(module->HandleEvent(nullptr), 0);
    EXPECT_THAT(States(), ElementsAre(0, 0, 0));
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(PinsEventsTest, StatusBeforeOpenReportsAndChangesNothing) {
    delete module;
    module = new TestModule(FakeHost::Callback, kHandle);
    EXPECT_EQ(StatusEvent(0, PIN_STATE_RUNNING), 0);
    EXPECT_TRUE(module->status_notices.empty());
    EXPECT_THAT(AssertRecorder::Lines(), ElementsAre(123));
    EXPECT_EQ(AssertRecorder::Checks()[0].expression, "m_pins != 0");
}

}  // namespace
