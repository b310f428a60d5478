// The plug record, the dispatcher's opcode table and the requests the framework makes of the host.
#include <cstring>

#include "allocation_counter.h"
#include "module_fixture.h"

namespace {

using ::testing::ElementsAre;

using DispatcherTest = ModuleTest;

int g_process_calls = 0;
void* g_process_object = nullptr;
void TR_CALL CountingProcess(void* object, int32_t offset, int32_t count) {
    ++g_process_calls;
    g_process_object = object;
    (void)offset;
    (void)count;
}

TEST_F(DispatcherTest, ConstructionFillsTheRecordAndAsksNothingOfTheHost) {
    const TRMod_struct* record = module->Plug();
    EXPECT_EQ(record->magic, 0x5452504Cu);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(record);
    EXPECT_THAT(std::vector<int>(bytes, bytes + 4), ElementsAre(0x4C, 0x50, 0x52, 0x54));
    EXPECT_EQ(record->version, 1u);
    EXPECT_EQ(record->host_handle, kHandle);
    EXPECT_EQ(TRModule_base::FromObject(record->object), module);
    EXPECT_EQ(record->reserved16, 0u);
    EXPECT_THAT(record->reserved32, ElementsAre(0u, 0u, 0u, 0u));
    EXPECT_EQ(record->dispatcher, &TRModule_base::DispatcherEntry);
    EXPECT_EQ(record->event, &TRModule_base::EventEntry);
    EXPECT_EQ(record->process, &TRModule_base::NoProcess);
    record->process(record->object, 0, 64);  // does nothing, asks nothing

    EXPECT_EQ(module->GetSampleRate(), 44100.0f);
    EXPECT_EQ(module->GetBlockSize(), 1024);
    EXPECT_EQ(module->PinCount(), 0);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(AssertRecorder::Checks().empty());
}

TEST_F(DispatcherTest, GetPinBeforeOpenReportsAndAnswersNull) {
    EXPECT_EQ(module->GetPin(0), nullptr);
    ASSERT_EQ(AssertRecorder::Checks().size(), 1u);
    EXPECT_EQ(AssertRecorder::Checks()[0].expression, "m_pins != 0");
    EXPECT_EQ(AssertRecorder::Checks()[0].source, "TRModule_base");
    EXPECT_EQ(AssertRecorder::Checks()[0].line, 123);
}

TEST_F(DispatcherTest, OpenAnswersZeroAndBuildsThePins) {
    host.pin_count = 2;
    module->pins = {{DT_WORD32, nullptr}, {DT_WORD32, nullptr}};
    EXPECT_EQ(Dispatch(DISP_OPEN), 0);
    EXPECT_EQ(module->PinCount(), 2);
    ASSERT_FALSE(host.calls.empty());
    EXPECT_EQ(host.calls[0].opcode, HOST_GET_PIN_COUNT);
    EXPECT_EQ(host.calls[0].index, 0);
    EXPECT_EQ(host.calls[0].value, 0);
    EXPECT_EQ(host.calls[0].ptr, nullptr);
    EXPECT_EQ(host.calls[0].opt, 0.0f);
}

TEST_F(DispatcherTest, SampleRateComesFromOptAndBlockSizeFromValue) {
    EXPECT_EQ(Dispatch(DISP_SET_SAMPLE_RATE, 5, 96000, AsPtr(1), 48000.0f), 0);
    EXPECT_EQ(module->GetSampleRate(), 48000.0f);
    EXPECT_EQ(module->GetBlockSize(), 1024);
    EXPECT_EQ(Dispatch(DISP_SET_BLOCK_SIZE, 5, 256, AsPtr(1), 99.0f), 0);
    EXPECT_EQ(module->GetBlockSize(), 256);
    EXPECT_EQ(module->GetSampleRate(), 48000.0f);
    // Each setting simply replaces the last, also after open.
    Dispatch(DISP_OPEN);
    Dispatch(DISP_SET_SAMPLE_RATE, 0, 0, nullptr, 22050.0f);
    EXPECT_EQ(module->GetSampleRate(), 22050.0f);
}

TEST_F(DispatcherTest, PinPropertiesAnswerOneOrZeroAndLeaveUnwrittenFieldsAlone) {
    uint32_t member = 0;
    module->pins = {{DT_FSAMPLE, &member, PIN_FLAG_REPEAT | 512}};
    PinProperties record;
    std::memset(&record, 0xA5, sizeof record);
    const PinProperties host_fill = record;

    EXPECT_EQ(Dispatch(DISP_GET_PIN_PROPERTIES, 0, 0, &record), 1);
    EXPECT_EQ(record.variable_address, &member);
    EXPECT_EQ(record.datatype, DT_FSAMPLE);
    EXPECT_EQ(record.flags, PIN_FLAG_REPEAT | 512);
    // Handed through as the host gave it: not cleared first.
    EXPECT_EQ(record.default_value, host_fill.default_value);
    EXPECT_EQ(record.datatype_extra, host_fill.datatype_extra);
    EXPECT_EQ(record.reserved, host_fill.reserved);
    EXPECT_FALSE(module->record_clear_on_entry.back());

    PinProperties untouched = host_fill;
    for (int32_t index : {1, -1, 1000}) {
        EXPECT_EQ(Dispatch(DISP_GET_PIN_PROPERTIES, index, 0, &untouched), 0);
        EXPECT_EQ(std::memcmp(&untouched, &host_fill, sizeof untouched), 0);
    }
}

TEST_F(DispatcherTest, PinPropertiesWithoutARecordAnswerZero) {
    module->pins = {{DT_FSAMPLE, nullptr}};
    EXPECT_EQ(Dispatch(DISP_GET_PIN_PROPERTIES, 0, 0, nullptr), 0);
    EXPECT_TRUE(module->asked.empty());
}

TEST_F(DispatcherTest, ForbiddenOpcodesReportTheirLinesAndAnswerZero) {
    EXPECT_EQ(Dispatch(7, 1, 2, AsPtr(3), 4.0f), 0);
    EXPECT_EQ(Dispatch(10, 1, 2, AsPtr(3), 4.0f), 0);
    ASSERT_EQ(AssertRecorder::Checks().size(), 2u);
    for (const FailedCheck& check : AssertRecorder::Checks()) {
        EXPECT_EQ(check.expression, "false");
        EXPECT_EQ(check.source, "TRModule_base");
    }
    EXPECT_THAT(AssertRecorder::Lines(), ElementsAre(91, 105));
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(journal.empty());
}

TEST_F(DispatcherTest, NotifyOpcodesReachTheModuleAndAnswerZero) {
    EXPECT_EQ(Dispatch(DISP_NOTIFY, 3, 4, AsPtr(5), 6.0f), 0);
    EXPECT_EQ(Dispatch(DISP_INDEXED_NOTIFY, 7, 8, AsPtr(9), 1.0f), 0);
    EXPECT_THAT(journal, ElementsAre("notify", "indexed notify 7 9"));
}

class UnusedOpcodeTest : public ModuleTest, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(UnusedOpcodeTest, AnswersZeroAndChangesNothing) {
    module->pins = {{DT_FSAMPLE, nullptr}};
    host.pin_count = 1;
    const TRMod_struct before = *module->Plug();
    PinProperties record{};

    EXPECT_EQ(Dispatch(GetParam(), 0, 512, &record, 8000.0f), 0);

    EXPECT_EQ(std::memcmp(module->Plug(), &before, sizeof before), 0);
    EXPECT_EQ(module->GetSampleRate(), 44100.0f);
    EXPECT_EQ(module->GetBlockSize(), 1024);
    EXPECT_EQ(module->PinCount(), 0);
    EXPECT_TRUE(module->asked.empty());
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(journal.empty());
    EXPECT_TRUE(AssertRecorder::Checks().empty());
}

INSTANTIATE_TEST_SUITE_P(Opcodes, UnusedOpcodeTest,
                         ::testing::Values(4u, 5u, 9u, 11u, 13u, 14u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu));

TEST_F(DispatcherTest, CloseRunsCloseWithThePinsStillThereThenDeletesAndAnswersOne) {
    host.pin_count = 3;
    module->pins = {{DT_WORD32, nullptr}};
    Dispatch(DISP_OPEN);
    ASSERT_EQ(allocation_counter::LiveNothrowArrays(), 1);
    EXPECT_EQ(Close(), 1);
    EXPECT_THAT(journal, ElementsAre("close pins=3 first=0", "destroyed"));
    EXPECT_EQ(allocation_counter::LiveNothrowArrays(), 0);
    EXPECT_TRUE(AssertRecorder::Checks().empty());
}

TEST_F(DispatcherTest, CloseBeforeOpenIsSafe) {
    EXPECT_EQ(Close(), 1);
    EXPECT_THAT(journal, ElementsAre("close pins=0 first=-1", "destroyed"));
}

TEST_F(DispatcherTest, NullRecordOrObjectAnswersZero) {
    EXPECT_EQ(TRModule_base::DispatcherEntry(nullptr, DISP_CLOSE, 0, 0, nullptr, 0.0f), 0);
    TRMod_struct orphan = *module->Plug();
    orphan.object = nullptr;
    EXPECT_EQ(orphan.dispatcher(&orphan, DISP_CLOSE, 0, 0, nullptr, 0.0f), 0);
    EXPECT_TRUE(journal.empty());
}

TEST_F(DispatcherTest, ProcessRecordIsUpdatedBeforeTheHostIsTold) {
    module->SetProcessFunction(CountingProcess);
    std::vector<FakeHost::Call> told = host.CallsWith(HOST_PROCESS_FUNCTION_CHANGED);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].process_at_call, &CountingProcess);
    EXPECT_EQ(told[0].record, module->Plug());
    EXPECT_EQ(told[0].index, 0);
    EXPECT_EQ(told[0].value, 0);
    EXPECT_EQ(told[0].ptr, nullptr);
    EXPECT_EQ(told[0].opt, 0.0f);

    g_process_calls = 0;
    TRMod_struct* record = module->Plug();
    record->process(record->object, 0, 16);
    EXPECT_EQ(g_process_calls, 1);
    EXPECT_EQ(g_process_object, static_cast<void*>(module));
}

TEST_F(DispatcherTest, SampleClockAsksTheHostEveryTimeAndIsUnsigned) {
    host.sample_clock = 0xFFFFFFF0u;
    EXPECT_EQ(module->SampleClock(), 0xFFFFFFF0u);
    host.sample_clock = 12;
    EXPECT_EQ(module->SampleClock(), 12u);
    std::vector<FakeHost::Call> asked = host.CallsWith(HOST_GET_SAMPLE_CLOCK);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].index, 0);
    EXPECT_EQ(asked[0].value, 0);
    EXPECT_EQ(asked[0].ptr, nullptr);
}

TEST_F(DispatcherTest, EveryHostCallCarriesTheRecordAddress) {
    host.pin_count = 4;
    module->pins = {{DT_FSAMPLE, nullptr, PIN_FLAG_REPEAT}};
    Dispatch(DISP_OPEN);
    module->SetProcessFunction(CountingProcess);
    module->GetPin(0)->TransmitStatus(module->SampleClock(), PIN_STATE_RUNNING);
    ASSERT_EQ(host.calls.size(), 1u + 4u + 1u + 1u + 1u);
    for (const FakeHost::Call& call : host.calls) EXPECT_EQ(call.record, module->Plug());
}

TEST_F(DispatcherTest, CallHostPassesArgumentsAndAnswerUnchanged) {
    host.pin_count = -77;
    EXPECT_EQ(module->CallHost(HOST_GET_PIN_COUNT, 3, -4, AsPtr(5), 2.5f), -77);
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].index, 3);
    EXPECT_EQ(host.calls[0].value, -4);
    EXPECT_EQ(host.calls[0].ptr, AsPtr(5));
    EXPECT_EQ(host.calls[0].opt, 2.5f);
}

class NullCallbackTest : public ModuleTest {
protected:
    NullCallbackTest() {
        delete module;
        module = new TestModule(nullptr, kHandle, &journal);
    }
};

TEST_F(NullCallbackTest, EveryRequestAnswersZeroAndTheModuleStillWorks) {
    host.pin_count = 5;
    host.sample_clock = 99;
    for (int32_t opcode : {HOST_SET_PIN_STATUS, HOST_GET_SAMPLE_CLOCK, HOST_GET_PIN_BUFFER, HOST_GET_PIN_COUNT,
                           HOST_PROCESS_FUNCTION_CHANGED}) {
        EXPECT_EQ(module->CallHost(opcode, 1, 2, AsPtr(3), 4.0f), 0);
    }
    EXPECT_EQ(module->SampleClock(), 0u);

    module->pins = {{DT_FSAMPLE, nullptr, PIN_FLAG_REPEAT}};
    EXPECT_EQ(Dispatch(DISP_OPEN), 0);
    EXPECT_EQ(module->PinCount(), 0);
    EXPECT_THAT(module->asked, ElementsAre(0, -1));

    module->SetProcessFunction(CountingProcess);
    EXPECT_EQ(module->Plug()->process, &CountingProcess);

    EXPECT_EQ(Send(Event(0, EVT_DATA, 1, 2)), 0);
    EXPECT_EQ(module->data_notices.size(), 1u);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(AssertRecorder::Checks().empty());
}

}  // namespace
