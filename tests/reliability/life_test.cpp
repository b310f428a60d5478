// Lives of instances of the loaded library that a careless or hostile host could lead them through.
// Every life must end without a crash, a sanitizer report or a leak, and every block must pass the
// rig's checks. The same program is what memcheck runs (scripts/memcheck.sh).
#include <cfloat>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "life_rig.h"

using namespace reliability;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
// Small rates keep the sine table (30 samples per hertz) cheap under valgrind.
constexpr float kCheapRate = 8000.0f;

class Lives : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string error;
        s_library = trhost::ModuleLibrary::Load(VEXLO_LIBRARY_PATH, &error).release();
        ASSERT_NE(s_library, nullptr) << error;
    }
    static void TearDownTestSuite() {
        delete s_library;
        s_library = nullptr;
    }

    // A created, wired rig at `rate`, opened.
    std::unique_ptr<LifeRig> Opened(float rate) {
        auto rig = std::make_unique<LifeRig>(*s_library);
        EXPECT_TRUE(rig->Create());
        rig->SetRate(rate);
        rig->Open();
        return rig;
    }

    static void ExpectSound(const LifeRig& rig, const std::string& life) {
        for (const auto& fault : rig.Faults()) ADD_FAILURE() << life << ": " << fault;
    }

    static trhost::ModuleLibrary* s_library;
};

trhost::ModuleLibrary* Lives::s_library = nullptr;

TEST_F(Lives, UnusableSampleRatesLeaveAWorkingInstance) {
    const float rates[] = {kNaN,   kInf, -kInf,         0.0f,        -0.0f,       -44100.0f, 0.5f,        1.0f,
                           881.0f, 3e9f, 2147483648.0f, 71582792.0f, 40000000.0f, FLT_MAX,   FLT_TRUE_MIN};
    for (float rate : rates) {
        for (int16_t wave : {0, 1, 2}) {
            auto rig = Opened(rate);
            rig->SetList(kWave, wave);
            rig->Set(kOffset, 0.25f);
            rig->Run(2);
            rig->Close();
            ExpectSound(*rig, "rate " + std::to_string(rate) + ", wave " + std::to_string(wave));
        }
    }
}

TEST_F(Lives, NonFiniteAndHugeInputsOnEveryPin) {
    const float values[] = {kNaN, -kNaN, kInf, -kInf, FLT_MAX, -FLT_MAX, 1e30f, -1e30f, 2147483648.0f, FLT_TRUE_MIN};
    auto rig = Opened(kCheapRate);
    for (int32_t pin : {kIn, kDepth, kOffset, kFreq, kPhase}) {
        for (float value : values) {
            for (int16_t wave : {0, 1, 2}) {
                rig->SetList(kWave, wave);
                rig->Set(pin, value);
                rig->Run(1);
                // Alternate the awkward value with an ordinary one, sample by sample.
                rig->Set(pin, [value](size_t i) { return i % 2 ? value : 0.3f; });
                rig->Run(1);
            }
        }
        rig->Set(pin, pin == kIn ? 1.0f : pin == kDepth ? 0.5f : pin == kFreq ? 0.1f : 0.0f);
    }
    rig->Close();
    ExpectSound(*rig, "non-finite inputs");
}

TEST_F(Lives, NegativeAndHugePhaseOffsets) {
    const float phases[] = {-1.0f, -360.0f, -361.0f, -36000.0f, -1e6f, -1e9f, -FLT_MAX, 1e9f, FLT_MAX};
    for (int16_t freq_scale : {0, 1}) {
        auto rig = Opened(kCheapRate);
        rig->SetList(kFreqScale, freq_scale);
        for (float phase : phases) {
            for (int16_t wave : {0, 1, 2}) {
                rig->SetList(kWave, wave);
                rig->Set(kPhase, phase);
                rig->Run(1);
                // A phase that sweeps down through zero, far into the negative.
                rig->Set(kPhase, [phase](size_t i) { return phase * static_cast<float>(i) / 64.0f; });
                rig->Run(1);
            }
        }
        rig->Close();
        ExpectSound(*rig, "phase offsets, scale " + std::to_string(freq_scale));
    }
}

TEST_F(Lives, FrequenciesPastTwiceTheRate) {
    // F = 10 x Freq on the Hz scale and 10,000 x Freq on kHz: both reach and pass 2R = 16,000 Hz.
    const float hz[] = {1599.0f, 1600.0f, 1601.0f, 1e6f, 1e30f, FLT_MAX};
    const float khz[] = {1.599f, 1.6f, 1.601f, 20.0f, 1e30f, FLT_MAX};
    for (int16_t freq_scale : {0, 1}) {
        auto rig = Opened(kCheapRate);
        rig->SetList(kFreqScale, freq_scale);
        for (float freq : freq_scale ? khz : hz) {
            for (int16_t wave : {0, 1, 2}) {
                rig->SetList(kWave, wave);
                rig->Set(kFreq, freq);
                rig->Run(1);
                // Sweeping from an ordinary frequency up past the limit: the period rescales to 1.
                rig->Set(kFreq, [freq](size_t i) { return freq * static_cast<float>(i + 1) / 512.0f; });
                rig->Run(1);
            }
        }
        rig->Close();
        ExpectSound(*rig, "frequencies, scale " + std::to_string(freq_scale));
    }
}

TEST_F(Lives, OrderOfTheLifeBroken) {
    {  // Closed before it was ever opened.
        LifeRig rig(*s_library);
        ASSERT_TRUE(rig.Create());
        rig.Close();
        ExpectSound(rig, "close before open");
    }
    {  // Processed before it was opened.
        LifeRig rig(*s_library);
        ASSERT_TRUE(rig.Create());
        rig.Run(1);
        rig.Close();
        ExpectSound(rig, "process before open");
    }
    {  // Opened again: at another rate, at an unusable one, and back.
        auto rig = Opened(kCheapRate);
        rig->SetList(kWave, 2);
        rig->Run(1);
        for (float rate : {11025.0f, kNaN, 2000.0f, 0.0f, kCheapRate}) {
            rig->SetRate(rate);
            rig->Open();
            rig->Run(1);
        }
        rig->Close();
        ExpectSound(*rig, "second open");
    }
}

TEST_F(Lives, EventsForUnknownPinsAndWrongClocks) {
    LifeRig rig(*s_library);
    ASSERT_TRUE(rig.Create());
    trhost::HostInstance& host = rig.Host();
    // Before open the instance has no pins at all.
    host.SendPinStatus(0, PIN_STATE_RUNNING);
    rig.SetRate(kCheapRate);
    rig.Open();
    for (int32_t pin : {-1, 9, 10, 1000, 0x7FFFFFFF, static_cast<int32_t>(0x80000000u)}) {
        host.SendPinStatus(pin, PIN_STATE_CHANGED);
    }
    for (int32_t pin = 0; pin < kPinCount; ++pin) {
        const int32_t states[] = {PIN_STATE_STATIC, PIN_STATE_CHANGED, PIN_STATE_RUNNING, -1, 99};
        for (int32_t state : states) {
            host.SendPinStatus(pin, state);
        }
    }
    const int32_t unhandled_or_data[] = {EVT_DATA, 1, 3, 20, 22, -1};
    for (int32_t type : unhandled_or_data) {
        TREvent event{};
        event.time_stamp = host.SampleClock();
        event.event_type = type;
        event.int_param2 = 0x12345;
        host.SendEvent(&event);
        event.time_stamp += 7;  // a wrong clock: reported, then the event is handled as it stands
        host.SendEvent(&event);
    }
    TREvent routine{};
    routine.time_stamp = host.SampleClock();
    routine.event_type = EVT_RUN_ROUTINE;  // with no routine
    host.SendEvent(&routine);
    rig.Run(2);
    rig.Close();
    ExpectSound(rig, "events");
}

TEST_F(Lives, NullRecordsAndUnknownOpcodes) {
    auto rig = Opened(kCheapRate);
    TRMod_struct* record = rig->Host().Record();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->dispatcher(nullptr, DISP_OPEN, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(record->dispatcher(nullptr, DISP_CLOSE, 0, 0, nullptr, 0.0f), 0);
    record->event(nullptr, nullptr);
    record->event(record->object, nullptr);
    record->process(nullptr, 0, 64);
    EXPECT_EQ(rig->Host().Dispatch(DISP_GET_PIN_PROPERTIES, 0, 0, nullptr), 0);
    for (uint32_t opcode : {4u, 5u, 7u, 9u, 10u, 11u, 13u, 100u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        EXPECT_EQ(rig->Host().Dispatch(opcode, 1, 2, nullptr, 3.0f), 0) << opcode;
    }
    rig->Run(1);
    rig->Close();
    ExpectSound(*rig, "null records");
}

TEST_F(Lives, BlocksThatCannotBeProcessedChangeNothing) {
    auto rig = Opened(kCheapRate);
    rig->Block(-1, 16);
    rig->Block(-512, 512);
    rig->Block(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    rig->Block(0, 0);
    rig->Block(100, -5);
    rig->Block(0, std::numeric_limits<int32_t>::min());
    for (int32_t pin : {kIn, kDepth, kOffset, kFreq, kPhase, kOut}) {
        rig->Unwire(pin);
        rig->Block(0, 512);
        rig->Rewire(pin);
    }
    rig->Close();
    ExpectSound(*rig, "unprocessable blocks");
}

TEST_F(Lives, EveryWaveScaleAndRateWithModulationAndOddBlocks) {
    for (float rate : {881.0f, 882.0f, 8000.0f, 44100.0f, 48000.0f}) {
        auto rig = Opened(rate);
        for (int16_t wave : {0, 1, 2, 3, -1}) {
            for (int16_t scale : {0, 1}) {
                rig->SetList(kWave, wave);
                rig->SetList(kFreqScale, scale);
                rig->SetList(kDepthScale, scale);
                rig->Set(kOffset, 0.3f);
                rig->Set(kFreq, [scale](size_t i) {
                    float base = scale ? 0.02f : 2.0f;
                    return base * (1.0f + 0.9f * std::sin(static_cast<float>(i) * 0.05f));
                });
                rig->Set(kPhase, [](size_t i) { return 720.0f * std::sin(static_cast<float>(i) * 0.01f); });
                for (int32_t offset = 0, count = 1; offset < static_cast<int32_t>(LifeRig::kLength);
                     offset += count, count = count * 3 + 1) {
                    rig->Block(offset, std::min(count, static_cast<int32_t>(LifeRig::kLength) - offset));
                }
            }
        }
        rig->Close();
        ExpectSound(*rig, "modulated life at " + std::to_string(rate));
    }
}

}  // namespace
