// The built module library, loaded by path and driven by the stand-in host: open's host calls, the
// pin table as the host reads it, the oscillator against the literal reference, bad inputs and the
// floating-point environment.
#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "differential.h"
#include "host_instance.h"
#include "reference/literal_engine.h"

namespace {

using trhost::HostInstance;
using trhost::ModuleLibrary;

class LoadedModule : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string error;
        library_ = ModuleLibrary::Load(VEXLO_LIBRARY_PATH, &error).release();
        ASSERT_NE(library_, nullptr) << error;
    }
    static void TearDownTestSuite() {
        delete library_;
        library_ = nullptr;
    }

    // A created instance whose pins the host has wired to its own buffers of `length` samples.
    std::unique_ptr<HostInstance> NewWired(size_t length) {
        auto instance = std::make_unique<HostInstance>(*library_);
        EXPECT_TRUE(instance->Create());
        instance->Wire(instance->DescribePins(), length);
        return instance;
    }

    static inline ModuleLibrary* library_ = nullptr;
};

TEST_F(LoadedModule, OpenAsksTheHostInOrderAndAnnouncesOutRunning) {
    auto host = NewWired(64);
    host->SetSampleClock(4242);
    host->ClearCalls();
    const TRProcessEntry before = host->Record()->process;
    host->Open();
    std::vector<int32_t> opcodes;
    for (const auto& call : host->Calls()) opcodes.push_back(call.opcode);
    EXPECT_EQ(opcodes, (std::vector<int32_t>{HOST_PROCESS_FUNCTION_CHANGED, HOST_GET_PIN_COUNT, HOST_GET_SAMPLE_CLOCK,
                                             HOST_SET_PIN_STATUS}));
    ASSERT_EQ(host->StatusReports().size(), 1u);
    EXPECT_EQ(host->StatusReports()[0].pin, 6);
    EXPECT_EQ(host->StatusReports()[0].state, PIN_STATE_RUNNING);
    EXPECT_EQ(host->StatusReports()[0].sample_clock, 4242u);
    EXPECT_NE(host->Record()->process, before);
    EXPECT_EQ(host->ForeignRecordCalls(), 0);
}

TEST_F(LoadedModule, HostSeesTheNinePinsAndOnlyTheirFields) {
    auto host = std::make_unique<HostInstance>(*library_);
    ASSERT_TRUE(host->Create());
    const auto pins = host->DescribePins();
    ASSERT_EQ(pins.size(), 9u);
    const char* names[] = {"In", "Depth", "Offset", "Freq", "Phase", "Wave", "Out", "Freq scale", "Depth scale"};
    const int32_t directions[] = {PIN_IN, PIN_IN, PIN_IN, PIN_IN, PIN_IN, PIN_IN, PIN_OUT, PIN_SETTING, PIN_SETTING};
    for (int32_t i = 0; i < 9; ++i) {
        EXPECT_EQ(pins[i].name, names[i]);
        EXPECT_EQ(pins[i].direction, directions[i]) << i;
        EXPECT_EQ(pins[i].datatype, (i == 5 || i >= 7) ? DT_LIST : DT_FSAMPLE) << i;
    }
    EXPECT_EQ(pins[0].flags, 0x200);
    EXPECT_FALSE(pins[0].extra_text);
    EXPECT_FALSE(pins[6].default_text);
    EXPECT_EQ(*pins[3].extra_text, "20,.0001,20,.0001");
    EXPECT_EQ(*pins[5].extra_text, "sine=0,triangle=1,square=2");

    // Over the dispatcher the host's own contents survive wherever the row writes nothing.
    for (int32_t index : {1, 6, 9, -1, INT32_MIN}) {
        PinProperties record;
        std::memset(&record, 0x5A, sizeof record);
        const PinProperties before = record;
        const int32_t answer = host->Dispatch(DISP_GET_PIN_PROPERTIES, index, 0, &record);
        EXPECT_EQ(answer, index >= 0 && index < 9 ? 1 : 0) << index;
        EXPECT_EQ(record.reserved, before.reserved) << index;
        EXPECT_EQ(record.flags, before.flags) << index;
        if (answer == 0) {
            EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0) << index;
        }
    }
}

TEST_F(LoadedModule, DefaultInputsPlayTheSineAtOneHertz) {
    auto host = NewWired(1000);
    host->Open();
    for (int32_t pin = 0; pin < 5; ++pin) {
        const float value[] = {1.0f, 0.5f, 0.0f, 0.1f, 0.0f};
        std::fill(host->Buffer(pin), host->Buffer(pin) + 1000, value[pin]);
    }
    host->Process(0, 1000);
    const float* out = host->Buffer(6);
    for (int32_t k = 0; k < 1000; ++k) {
        ASSERT_EQ(out[k], static_cast<float>(0.5 * vexlo::reference::LiteralEngine::SineEntry(30 * k, 1323000))) << k;
    }
}

class LoadedDifferential : public LoadedModule, public ::testing::WithParamInterface<float> {};

TEST_P(LoadedDifferential, BitEqualToTheReferenceAndNothingOutsideTheBlockWritten) {
    const float rate = GetParam();
    for (uint32_t seed : {101u, 202u}) {
        HostInstance host(*library_);
        ASSERT_TRUE(host.Create());
        host.Wire(host.DescribePins(), 8);
        ModuleRig rig(host.Record(), vexlo::testing::kDifferentialCapacity);
        rig.Wire();  // re-points the members at the rig's buffers
        host.SetSampleRate(rate);
        host.Open();
        const auto report = vexlo::testing::RunDifferential(rig, rate, seed, 40000, seed != 101u);
        EXPECT_EQ(report.mismatches, 0) << report.first_failure;
        EXPECT_EQ(report.outside_writes, 0);
        EXPECT_GT(report.active_like, report.samples / 10);
        EXPECT_EQ(host.Close(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(SampleRates, LoadedDifferential,
                         ::testing::Values(881.0f, 11025.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f),
                         [](const auto& info) { return std::to_string(static_cast<int>(info.param)); });

TEST_F(LoadedModule, BadLifecyclesAndInputsNeverCrash) {
    const float kNaN = std::numeric_limits<float>::quiet_NaN();
    // Close before open.
    {
        HostInstance host(*library_);
        ASSERT_TRUE(host.Create());
        EXPECT_EQ(host.Close(), 1);
    }
    // Unusable rates: inactive, Out = Offset x In.
    for (float rate : {kNaN, 0.0f, -1.0f, 1e12f}) {
        auto host = NewWired(32);
        host->SetSampleRate(rate);
        host->Open();
        std::fill(host->Buffer(0), host->Buffer(0) + 32, 2.0f);
        std::fill(host->Buffer(2), host->Buffer(2) + 32, 0.25f);
        host->Process(0, 32);
        for (int32_t k = 0; k < 32; ++k) ASSERT_EQ(host->Buffer(6)[k], 0.5f) << rate;
    }
    // Second open, null records and objects, events for unknown pins.
    {
        auto host = NewWired(32);
        host->Open();
        host->SetSampleRate(48000.0f);
        host->Open();
        host->Process(0, 32);
        TRMod_struct* record = host->Record();
        EXPECT_EQ(record->dispatcher(nullptr, DISP_OPEN, 0, 0, nullptr, 0.0f), 0);
        record->process(nullptr, 0, 32);
        EXPECT_EQ(record->event(nullptr, nullptr), 0);
        EXPECT_EQ(record->event(record->object, nullptr), 0);
        host->SendPinStatus(99, PIN_STATE_RUNNING);
        host->SendPinStatus(-5, PIN_STATE_CHANGED);
        EXPECT_EQ(host->Close(), 1);
    }
}

TEST_F(LoadedModule, OpenAndProcessLeaveTheFloatControlRegisterAsItWas) {
    constexpr unsigned kControl = ~0x3Fu;  // the low six bits are sticky exception flags
    const unsigned before = _mm_getcsr() & kControl;
    auto host = NewWired(256);
    host->Open();
    EXPECT_EQ(_mm_getcsr() & kControl, before);
    for (int32_t k = 0; k < 256; ++k) {
        host->Buffer(0)[k] = 1.0f;
        host->Buffer(1)[k] = k % 3 ? 0.5f : std::numeric_limits<float>::infinity();
        host->Buffer(3)[k] = 0.01f * k;
        host->Buffer(4)[k] = k % 5 ? -1e30f : std::numeric_limits<float>::quiet_NaN();
    }
    for (int16_t wave : {0, 1, 2}) {
        host->SetListValue(5, wave);
        host->Process(0, 256);
        EXPECT_EQ(_mm_getcsr() & kControl, before) << wave;
    }
}

}  // namespace
