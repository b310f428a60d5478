// The module's defined answers where plain arithmetic or a plain lifecycle would fault: host calls of
// open, lifecycle and memory, unusable sample rates, periods below one sample, odd phase inputs,
// blocks that cannot be processed, and the floating-point environment.
#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "allocation_counter.h"
#include "linked_module.h"
#include "reference/literal_engine.h"
#include "tr_assert.h"
#include "tr_process_routine.h"
#include "waves/wave_list.h"

namespace {

constexpr float kFreqPeriod100 = 44.1f;  // P = 100 at 44,100 Hz
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

const std::vector<int32_t> kOpenCalls = {HOST_PROCESS_FUNCTION_CHANGED, HOST_GET_PIN_COUNT, HOST_GET_SAMPLE_CLOCK,
                                         HOST_SET_PIN_STATUS};

// Counts reported invariant failures while alive.
class AssertCounter {
public:
    AssertCounter() {
        previous_ = TRSetAssertHandler(&Count);
        count_ = 0;
    }
    ~AssertCounter() { TRSetAssertHandler(previous_); }
    int count() const { return count_; }

private:
    static void Count(const char*, const char*, int) { ++count_; }
    static inline int count_ = 0;
    TRAssertHandler previous_;
};

// Every sample of the block equals Offset x In.
void ExpectOffsetTimesIn(const ModuleRig& rig, int32_t count, const char* what) {
    for (int32_t k = 0; k < count; ++k) {
        ASSERT_EQ(rig.out[k], static_cast<float>(static_cast<double>(rig.offset[k]) * rig.in[k])) << what << " " << k;
    }
}

// Inputs that would keep a working oscillator active, varied per sample.
void FillActiveInputs(LinkedModule& m, int32_t count) {
    for (int32_t k = 0; k < count; ++k) {
        m.Set(k, 1, 0.5f + 0.01f * (k % 7), 0.8f, 0.1f * (k % 5) - 0.2f, 0.1f + 0.3f * (k % 3), 9.0f * (k % 4));
    }
}

// VEXLO's process entry: its Process through the framework's routine.
constexpr TRProcessEntry kVexloProcess = TRProcessRoutine<VexloModule, &VexloModule::Process>;

TEST(OpenHostCalls, ComeInOrderAndMarkOutRunningAtTheSampleClock) {
    LinkedModule m;
    m.host.sample_clock = 0x89ABCDEFu;
    m.Open();
    ASSERT_EQ(m.host.Opcodes(), kOpenCalls);
    for (const auto& call : m.host.calls) EXPECT_EQ(call.record, m.module->Plug());
    // The record already held the new routine when the host was told.
    EXPECT_EQ(m.host.calls[0].process_at_call, kVexloProcess);
    const auto& status = m.host.calls[3];
    EXPECT_EQ(status.index, VexloModule::kPinOut);
    EXPECT_EQ(status.value, PIN_STATE_RUNNING);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(status.ptr), 0x89ABCDEFu);
    // Announcing Out does not change the pin's own state: it follows the host's reports.
    EXPECT_EQ(m.module->GetPin(VexloModule::kPinOut)->State(), PIN_STATE_STATIC);
}

TEST(OpenHostCalls, HostWithFewerPinsThanTheTableGetsNoOutStatus) {
    for (int32_t pins : {0, 5, 6}) {
        AssertCounter asserts;
        LinkedModule m;
        m.host.pin_count = pins;
        m.Open();
        EXPECT_EQ(m.host.Opcodes(),
                  (std::vector<int32_t>{HOST_PROCESS_FUNCTION_CHANGED, HOST_GET_PIN_COUNT, HOST_GET_SAMPLE_CLOCK}))
            << pins;
        EXPECT_EQ(asserts.count(), 0) << pins;
        // The host wrote the members directly, so the oscillator still runs.
        m.rig.SetChoices(1, 0, 0);
        EXPECT_EQ(m.Run(26, 1.0f, 1.0f, 0.0f, kFreqPeriod100, 0.0f), 1.0f) << pins;
    }
}

TEST(OpenHostCalls, WithoutACallbackTheProcessRoutineIsStillInstalled) {
    LinkedModule m(64, nullptr);
    m.Open();
    EXPECT_EQ(m.module->Plug()->process, kVexloProcess);
    EXPECT_EQ(m.module->PinCount(), 0);
    m.rig.SetChoices(1, 0, 0);
    EXPECT_EQ(m.Run(26, 1.0f, 1.0f, 0.0f, kFreqPeriod100, 0.0f), 1.0f);
}

TEST(Lifecycle, CloseOfANeverOpenedModuleIsSafeAndLeaksNothing) {
    FakeHost host;
    const int64_t before = allocation_counter::LiveBlocks();
    TRMod_struct* record = (new VexloModule(FakeHost::Callback, 0))->Plug();
    // Before any open, the square wave has no smoother ring to write into.
    EXPECT_EQ(static_cast<VexloModule*>(TRModule_base::FromObject(record->object))
                  ->Waveform(VexloModule::kWaveSquare, 0, 100),
              0.0);
    EXPECT_EQ(record->dispatcher(record, DISP_CLOSE, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(allocation_counter::LiveBlocks(), before);
}

TEST(Lifecycle, SecondOpenReleasesTheFirstTablesAndStartsAfresh) {
    const int64_t before = allocation_counter::LiveBlocks();
    {
        LinkedModule m;
        m.Open(44100.0f);
        m.rig.SetChoices(2, 0, 0);
        m.Run(500, 1.0f, 1.0f, 0.0f, 0.1f, 0.0f);
        ASSERT_EQ(m.module->Count(), 499);
        const int64_t opened = allocation_counter::LiveBlocks();

        m.host.calls.clear();
        m.rig.SetSampleRate(48000.0f);
        m.rig.Open();
        EXPECT_EQ(m.host.Opcodes(), kOpenCalls);
        EXPECT_EQ(allocation_counter::LiveBlocks(), opened);
        EXPECT_EQ(m.module->TableLength(), 1440000);
        EXPECT_EQ(m.module->Period(), -1);
        EXPECT_EQ(m.module->Count(), -1);
        EXPECT_EQ(m.module->SmoothIndex(), 0);
        EXPECT_EQ(m.module->SmoothSum(), 0.0f);
        EXPECT_EQ(m.module->PinCount(), 9);
        // The smoother recomputes on its first call again, over the new window.
        EXPECT_EQ(m.Run(1, 1.0f, 1.0f, 0.0f, 0.1f, 0.0f), static_cast<float>(1.0 / 54));
    }
    EXPECT_EQ(allocation_counter::LiveBlocks(), before);
}

TEST(Lifecycle, FailedAllocationsLeaveTheModuleInactiveWithHostCallsCompleteAndNothingLeaked) {
    // Open allocates the sine table, then the smoother ring (then the base's pin array).
    for (int32_t failing : {1, 2}) {
        const int64_t before = allocation_counter::LiveBlocks();
        {
            LinkedModule m;
            m.rig.Wire();
            allocation_counter::FailNthNothrowAllocation(failing);
            m.rig.Open();
            allocation_counter::FailNthNothrowAllocation(0);
            EXPECT_EQ(m.host.Opcodes(), kOpenCalls) << failing;
            EXPECT_FALSE(m.module->TablesBuilt()) << failing;
            EXPECT_EQ(m.module->SineTable(), nullptr) << failing;
            for (int16_t wave : {0, 1, 2}) {
                m.rig.SetChoices(wave, 0, 0);
                FillActiveInputs(m, 300);
                m.rig.Process(0, 300);
                ExpectOffsetTimesIn(m.rig, 300, "allocation failed");
            }
            EXPECT_EQ(m.module->Count(), -1);
        }
        EXPECT_EQ(allocation_counter::LiveBlocks(), before) << failing;
    }
}

TEST(Lifecycle, FailedPinArrayStillRunsTheOscillator) {
    const int64_t before = allocation_counter::LiveBlocks();
    {
        AssertCounter asserts;
        LinkedModule m;
        m.rig.Wire();
        allocation_counter::FailNthNothrowAllocation(3);
        m.rig.Open();
        allocation_counter::FailNthNothrowAllocation(0);
        EXPECT_TRUE(m.module->TablesBuilt());
        EXPECT_EQ(m.module->PinCount(), 0);
        EXPECT_EQ(m.host.Opcodes(),
                  (std::vector<int32_t>{HOST_PROCESS_FUNCTION_CHANGED, HOST_GET_PIN_COUNT, HOST_GET_SAMPLE_CLOCK}));
        EXPECT_EQ(asserts.count(), 0);
        m.rig.SetChoices(1, 0, 0);
        EXPECT_EQ(m.Run(26, 1.0f, 1.0f, 0.0f, kFreqPeriod100, 0.0f), 1.0f);
    }
    EXPECT_EQ(allocation_counter::LiveBlocks(), before);
}

TEST(UnusableSampleRate, OpenCompletesAndEverySampleIsOffsetTimesIn) {
    // Not a number, below 1 Hz once truncated, or 30 x R beyond 32 bits (or beyond the address space).
    const float rates[] = {kNaN, kInf, -kInf, 0.0f, 0.999f, -44100.0f, 71582792.0f, 71582784.0f, 3e9f, 1e30f};
    for (float rate : rates) {
        const int64_t before = allocation_counter::LiveBlocks();
        {
            LinkedModule m(512);
            m.Open(rate);
            EXPECT_EQ(m.host.Opcodes(), kOpenCalls) << rate;
            EXPECT_FALSE(m.module->TablesBuilt()) << rate;
            EXPECT_EQ(m.module->IntSampleRate(), 0) << rate;
            for (int16_t wave : {int16_t{0}, int16_t{1}, int16_t{2}, vexlo::kUnlistedSelector}) {
                m.rig.SetChoices(wave, static_cast<uint16_t>(wave & 1), 0);
                FillActiveInputs(m, 512);
                m.rig.Process(0, 512);
                ExpectOffsetTimesIn(m.rig, 512, "unusable rate");
            }
            EXPECT_EQ(m.module->Period(), -1);
            // Asked directly, without tables, every waveform is 0 (at position 0 the triangle is 0 anyway)
            // rather than a read of a missing table.
            for (int16_t wave : {0, 1, 2}) EXPECT_EQ(m.module->Waveform(wave, 0, 100), 0.0);
        }
        EXPECT_EQ(allocation_counter::LiveBlocks(), before) << rate;
    }
}

TEST(UnusableSampleRate, LowestUsableRateRuns) {
    LinkedModule m(64);
    m.Open(1.5f);
    EXPECT_TRUE(m.module->TablesBuilt());
    EXPECT_EQ(m.module->TableLength(), 30);
    EXPECT_EQ(m.module->SmoothWindow(), 0);
}

TEST(PeriodBelowOne, FrequenciesAboveTwiceTheRateOrInfiniteGiveOneSample) {
    for (float freq : {10000.0f, kInf, FLT_MAX, 8820.1f}) {
        for (int16_t wave : {0, 1, 2}) {
            LinkedModule m(256);
            m.Open();
            m.rig.SetChoices(wave, 0, 0);
            m.Run(200, 1.0f, 0.5f, 0.25f, freq, 90.0f);
            EXPECT_EQ(m.module->Period(), 1) << freq;
            EXPECT_EQ(m.module->Count(), 0) << freq;
            // Position 0 always: sine 0, triangle 0, square +1 through the smoother.
            if (wave != 2) ExpectOffsetTimesIn(m.rig, 200, "P = 1");
        }
    }
}

// Triangle at P = 100 with depth 1, offset 0 and In 1: Out is the wave value at the position.
float TriangleAt(int32_t position) {
    const double x = position * 4.0 / 100;
    return static_cast<float>(x < 1 ? x : x < 3 ? 2 - x : x - 4);
}

TEST(PhaseInput, NotANumberOrInfiniteCountsAsZero) {
    for (float phase : {kNaN, kInf, -kInf}) {
        LinkedModule m;
        m.Open();
        m.rig.SetChoices(1, 0, 0);
        m.Set(0, 40, 1.0f, 1.0f, 0.0f, kFreqPeriod100, 0.0f);
        for (int32_t k = 0; k < 40; k += 3) m.rig.phase[k] = phase;
        m.rig.Process(0, 40);
        for (int32_t k = 0; k < 40; ++k) ASSERT_EQ(m.rig.out[k], TriangleAt(k)) << phase << " " << k;
    }
}

TEST(PhaseInput, NegativePhaseIsALagWrappedIntoThePeriod) {
    LinkedModule m;
    m.Open();
    m.rig.SetChoices(1, 0, 0);
    // -90 degrees: PO = trunc(100 x -0.25 + 0.5) = -24, so count c reads position (c - 24) mod 100.
    m.Set(0, 150, 1.0f, 1.0f, 0.0f, kFreqPeriod100, -9.0f);
    m.rig.Process(0, 150);
    for (int32_t k = 0; k < 150; ++k) ASSERT_EQ(m.rig.out[k], TriangleAt((k % 100 + 76) % 100)) << k;
}

TEST(PhaseInput, HugePhaseOffsetIsReducedModuloThePeriod) {
    // 3e11 V: PF is a whole number, so P x PF is a whole number of periods and exact in double.
    const float pf = static_cast<float>(3e11f * static_cast<double>(0.027777778f));
    ASSERT_EQ(pf, std::trunc(pf));
    ASSERT_LT(100.0 * pf, 9007199254740992.0);
    struct Case {
        float phase;
        int32_t shift;  // positions ahead of the count
    };
    // Lead: PO = 100 x PF exactly (shift 0). Lag: trunc(-100 x PF + 0.5) = -100 x PF + 1 (shift 1).
    for (const Case c : {Case{3e11f, 0}, Case{-3e11f, 1}}) {
        LinkedModule m;
        m.Open();
        m.rig.SetChoices(1, 0, 0);
        m.Set(0, 120, 1.0f, 1.0f, 0.0f, kFreqPeriod100, c.phase);
        m.rig.Process(0, 120);
        for (int32_t k = 0; k < 120; ++k)
            ASSERT_EQ(m.rig.out[k], TriangleAt((k + c.shift) % 100)) << c.phase << " " << k;
    }
}

TEST(PhaseInput, ExtremePhasesOnEveryWaveMatchTheReferenceAndStayInRange) {
    const float phases[] = {FLT_MAX, -FLT_MAX, 7.7e9f, -7.7e9f, 2.147e9f, -2.147e9f, 1e-45f, -36.0001f};
    for (int16_t wave : {0, 1, 2}) {
        LinkedModule m(256);
        m.Open(48000.0f);
        m.rig.SetChoices(wave, 0, 0);
        vexlo::reference::LiteralEngine engine(48000.0f);
        std::vector<float> expected(256);
        for (int32_t k = 0; k < 256; ++k) m.Set(k, 1, 1.0f, 1.0f, 0.0f, 0.013f * (k % 11 + 1), phases[k % 8]);
        m.rig.Process(0, 256);
        engine.ProcessBlock({m.rig.in.data(), m.rig.depth.data(), m.rig.offset.data(), m.rig.freq.data(),
                             m.rig.phase.data(), expected.data()},
                            {wave, 0, 0}, 0, 256);
        for (int32_t k = 0; k < 256; ++k) {
            ASSERT_EQ(m.rig.out[k], expected[k]) << wave << " " << k;
            ASSERT_LE(std::fabs(m.rig.out[k]), wave == 2 ? 2.0f : 1.0f) << wave << " " << k;
        }
    }
}

TEST(UnprocessableBlock, NullBufferNegativeOffsetOrOverflowingRangeWritesNothingAndKeepsState) {
    LinkedModule m(64);
    m.Open();
    m.rig.SetChoices(2, 0, 0);
    m.Run(37, 1.0f, 1.0f, 0.0f, kFreqPeriod100, 0.0f);
    auto state = [&] {
        return std::vector<double>{double(m.module->Count()), double(m.module->Period()),
                                   double(m.module->SmoothIndex()), m.module->SmoothSum()};
    };
    const auto kept = state();

    for (int32_t pin : {0, 1, 2, 3, 4, 6}) {
        m.rig.BindRaw(pin, nullptr);
        m.rig.FillOutWithCanaries();
        m.rig.Process(0, 16);
        for (float s : m.rig.out) ASSERT_TRUE(ModuleRig::IsCanary(s)) << pin;
        EXPECT_EQ(state(), kept) << pin;
        m.rig.Wire();
    }
    const struct {
        int32_t offset, count;
    } blocks[] = {{-1, 4}, {INT32_MIN, 16}, {INT32_MAX - 2, 5}, {INT32_MAX, INT32_MAX}};
    for (const auto& b : blocks) {
        m.rig.FillOutWithCanaries();
        m.rig.Process(b.offset, b.count);
        for (float s : m.rig.out) ASSERT_TRUE(ModuleRig::IsCanary(s)) << b.offset;
        EXPECT_EQ(state(), kept) << b.offset;
    }
    // And the next good block carries on where the last one stopped.
    m.Run(1, 1.0f, 1.0f, 0.0f, kFreqPeriod100, 0.0f);
    EXPECT_EQ(m.module->Count(), 37);
}

uint16_t X87ControlWord() {
    uint16_t word;
    __asm__ volatile("fnstcw %0" : "=m"(word));
    return word;
}

TEST(FloatEnvironment, OpenAndProcessLeaveTheControlRegistersAsTheyWere) {
    // MXCSR's low six bits are sticky exception flags that any inexact operation sets; the rest
    // (rounding, masks, flush-to-zero, denormals-are-zero) is control and must not change.
    constexpr unsigned kMxcsrControl = ~0x3Fu;
    const unsigned mxcsr = _mm_getcsr() & kMxcsrControl;
    const uint16_t x87 = X87ControlWord();

    LinkedModule m(512);
    m.Open(96000.0f);
    EXPECT_EQ(_mm_getcsr() & kMxcsrControl, mxcsr);
    EXPECT_EQ(X87ControlWord(), x87);
    for (int16_t wave : {int16_t{0}, int16_t{1}, int16_t{2}, vexlo::kUnlistedSelector}) {
        m.rig.SetChoices(wave, 0, 1);
        FillActiveInputs(m, 512);
        m.rig.in[3] = kNaN;
        m.rig.phase[9] = -kInf;
        m.rig.freq[11] = 1e30f;
        m.rig.depth[13] = 1e-40f;
        m.rig.Process(0, 512);
        EXPECT_EQ(_mm_getcsr() & kMxcsrControl, mxcsr) << wave;
        EXPECT_EQ(X87ControlWord(), x87) << wave;
    }
}

}  // namespace
