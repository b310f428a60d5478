// The oscillator's defining figures at 44,100 Hz (N = 1,323,000): sine indexing, phase, triangle,
// square smoothing, period rescaling, inactivity and restart, other wave values, empty blocks and
// buffer offsets. Inputs are in sample units (1.0 = 10 V).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "linked_module.h"
#include "reference/literal_engine.h"
#include "waves/wave_list.h"

namespace {

using vexlo::reference::LiteralEngine;

// Freq values (sample units) that give these periods at 44,100 Hz on the Hz scale.
constexpr float kFreqPeriod44100 = 0.1f;  // 1 Hz
constexpr float kFreqPeriod100 = 44.1f;   // 441 Hz
constexpr float kFreqPeriod200 = 22.05f;  // 220.5 Hz
constexpr float kFreqPeriod4410 = 1.0f;   // 10 Hz

float Sine(int32_t index) { return LiteralEngine::SineEntry(index, 1323000); }

TEST(SineTable, HoldsOneCycleOfTheCLibrarySineAtTheTablesAngleScale) {
    LinkedModule m;
    m.Open(44100.0f);
    ASSERT_EQ(m.module->TableLength(), 1323000);
    const float* table = m.module->SineTable();
    for (int32_t i = 0; i < 1323000; ++i) {
        ASSERT_EQ(table[i], static_cast<float>(std::sin(static_cast<double>(i) / 1323000.0 * 6.2831852))) << i;
    }
    EXPECT_EQ(table[330750], 1.0f);  // a quarter cycle
}

TEST(SineWave, DefaultsReadEntryThirtyTimesTheCountAndWrapAfterOnePeriod) {
    LinkedModule m(44100 + 2);
    m.Open();
    m.Set(0, 44102, 1.0f, 0.5f, 0.0f, kFreqPeriod44100, 0.0f);
    m.rig.Process(0, 44100);
    EXPECT_EQ(m.module->Period(), 44100);
    EXPECT_EQ(m.module->Count(), 44099);
    for (int32_t k = 0; k < 44100; ++k) {
        ASSERT_EQ(m.rig.out[k], static_cast<float>(0.5 * static_cast<double>(Sine(30 * k)))) << k;
    }
    m.rig.Process(44100, 2);
    EXPECT_EQ(m.module->Count(), 1);
    EXPECT_EQ(m.rig.out[44100], 0.0f);
    EXPECT_EQ(m.rig.out[44101], static_cast<float>(0.5 * static_cast<double>(Sine(30))));
}

TEST(SineWave, NinetyDegreesOfPhaseStartsAtTheQuarterCycleEntry) {
    LinkedModule m;
    m.Open();
    EXPECT_EQ(m.Run(1, 1.0f, 0.5f, 0.0f, kFreqPeriod44100, 9.0f), 0.5f);  // entry 330,750 is 1.0
    // The phase offset moves the position, never the count.
    EXPECT_EQ(m.module->Count(), 0);
}

TEST(Period, KilohertzScaleGivesFortyFourSamplesForPointOne) {
    LinkedModule m;
    m.Open();
    m.rig.SetChoices(0, 1, 0);
    m.Run(1, 1.0f, 0.5f, 0.0f, 0.1f, 0.0f);
    EXPECT_EQ(m.module->Period(), 44);
}

TEST(TriangleWave, PeriodOfHundredPassesZeroPlusOneZeroMinusOne) {
    LinkedModule m;
    m.Open();
    m.rig.SetChoices(1, 0, 0);
    m.Set(0, 100, 1.0f, 1.0f, 0.0f, kFreqPeriod100, 0.0f);
    m.rig.Process(0, 100);
    ASSERT_EQ(m.module->Period(), 100);
    EXPECT_EQ(m.rig.out[0], 0.0f);
    EXPECT_EQ(m.rig.out[25], 1.0f);
    EXPECT_EQ(m.rig.out[50], 0.0f);
    EXPECT_EQ(m.rig.out[75], -1.0f);
    EXPECT_EQ(m.rig.out[99], -0.04f);
    EXPECT_EQ(m.rig.out[10], 0.4f);
}

TEST(TriangleWave, DepthOffsetAndInCombineInTheirOrder) {
    LinkedModule m;
    m.Open();
    m.rig.SetChoices(1, 0, 1);  // Relative depth: DepthEff = Offset x Depth
    m.Set(0, 11, 0.7f, 0.3f, 0.9f, kFreqPeriod100, 0.0f);
    m.rig.Process(0, 11);
    const float depth_eff = 0.9f * 0.3f;
    const double w = 10 * 4.0 / 100;
    EXPECT_EQ(m.rig.out[10], static_cast<float>((w * depth_eff + 0.9f) * 0.7f));
}

TEST(Rescale, PeriodHundredToTwoHundredAtCountFiftyKeepsHalfWay) {
    LinkedModule m;
    m.Open();
    m.rig.SetChoices(1, 0, 0);
    m.Set(0, 50, 1.0f, 1.0f, 0.0f, kFreqPeriod100, 0.0f);
    m.Set(50, 1, 1.0f, 1.0f, 0.0f, kFreqPeriod200, 0.0f);
    m.rig.Process(0, 50);
    EXPECT_EQ(m.module->Count(), 49);
    m.rig.Process(50, 1);
    EXPECT_EQ(m.module->Period(), 200);
    EXPECT_EQ(m.module->Count(), 100);
    EXPECT_EQ(m.rig.out[50], 0.0f);  // half-way down the triangle
}

TEST(Rescale, UnchangedPeriodWrapsWithoutRescaling) {
    LinkedModule m;
    m.Open();
    m.Run(100, 1.0f, 0.5f, 0.0f, kFreqPeriod100, 0.0f);
    EXPECT_EQ(m.module->Count(), 99);
    m.Run(1, 1.0f, 0.5f, 0.0f, kFreqPeriod100, 0.0f);
    EXPECT_EQ(m.module->Count(), 0);
}

TEST(Inactive, NoDepthOrRelativeWithoutOffsetOrLowFrequencyGivesOffsetTimesIn) {
    struct Case {
        const char* what;
        uint16_t depth_scale;
        float depth, offset, freq;
    };
    const Case cases[] = {
        {"depth 0", 0, 0.0f, 0.3f, kFreqPeriod100},
        {"depth -0", 0, -0.0f, 0.3f, kFreqPeriod100},
        {"relative, offset 0", 1, 0.5f, 0.0f, kFreqPeriod100},
        {"freq 0", 0, 0.5f, 0.3f, 0.0f},
        {"freq negative", 0, 0.5f, 0.3f, -0.1f},
        {"F just below 1/30 Hz", 0, 0.5f, 0.3f, 0.0033333f},
        {"freq NaN", 0, 0.5f, 0.3f, std::nanf("")},
        {"depth NaN", 0, std::nanf(""), 0.3f, kFreqPeriod100},
    };
    for (const Case& c : cases) {
        LinkedModule m;
        m.Open();
        m.rig.SetChoices(0, 0, c.depth_scale);
        EXPECT_EQ(m.Run(7, -1.5f, c.depth, c.offset, c.freq, 0.0f), static_cast<float>(c.offset * -1.5)) << c.what;
        EXPECT_EQ(m.module->Period(), -1) << c.what;
        EXPECT_EQ(m.module->Count(), -1) << c.what;
    }
}

TEST(Inactive, JustAboveOneThirtiethHertzRuns) {
    LinkedModule m;
    m.Open();
    // F = 10 x 0.0033333334 rounds to the single just above 1/30.
    m.Run(1, 1.0f, 0.5f, 0.0f, 0.0033333334f, 0.0f);
    EXPECT_GT(m.module->Period(), 0);
    EXPECT_LE(m.module->Period(), 1323000);
}

TEST(Inactive, CycleRestartsAtThePhaseOffsetWhenDepthReturns) {
    LinkedModule m;
    m.Open();
    m.Run(1000, 1.0f, 0.5f, 0.0f, kFreqPeriod44100, 9.0f);
    EXPECT_EQ(m.module->Count(), 999);
    m.Run(3, 1.0f, 0.0f, 0.25f, kFreqPeriod44100, 9.0f);
    EXPECT_EQ(m.rig.out[2], 0.25f);
    EXPECT_EQ(m.module->Count(), -1);
    EXPECT_EQ(m.Run(1, 1.0f, 0.5f, 0.0f, kFreqPeriod44100, 9.0f), 0.5f);  // entry 330,750 again
    EXPECT_EQ(m.module->Count(), 0);
}

TEST(OtherWaveValues, GiveOffsetTimesInWhileTheCycleKeepsItsPlace) {
    for (int16_t wave : {vexlo::kUnlistedSelector, int16_t{-1}, int16_t{0x7FFF}}) {
        LinkedModule m;
        m.Open();
        m.Run(10, 1.0f, 0.5f, 0.0f, kFreqPeriod100, 0.0f);
        m.rig.SetChoices(wave, 0, 0);
        EXPECT_EQ(m.Run(10, 2.0f, 0.5f, 0.25f, kFreqPeriod100, 0.0f), 0.5f) << wave;
        EXPECT_EQ(m.module->Count(), 19) << wave;
        m.rig.SetChoices(0, 0, 0);
        EXPECT_EQ(m.Run(1, 1.0f, 0.5f, 0.0f, kFreqPeriod100, 0.0f),
                  static_cast<float>(0.5 * static_cast<double>(Sine(1323000 * 20 / 100))))
            << wave;
    }
}

TEST(Blocks, EmptyOrNegativeCountWritesNothingAndKeepsState) {
    LinkedModule m(64);
    m.Open();
    m.Run(5, 1.0f, 0.5f, 0.0f, kFreqPeriod100, 0.0f);
    m.rig.FillOutWithCanaries();
    m.rig.Process(0, 0);
    m.rig.Process(3, -4);
    for (float s : m.rig.out) ASSERT_TRUE(ModuleRig::IsCanary(s));
    EXPECT_EQ(m.module->Count(), 4);
    EXPECT_EQ(m.module->Period(), 100);
}

TEST(Blocks, BufferOffsetReadsAndWritesOnlyItsOwnSamples) {
    LinkedModule m(64);
    m.Open();
    m.rig.SetChoices(1, 0, 0);
    m.Set(0, 64, std::nanf(""), std::nanf(""), std::nanf(""), std::nanf(""), std::nanf(""));
    m.Set(10, 5, 1.0f, 1.0f, 0.0f, kFreqPeriod100, 0.0f);
    m.rig.FillOutWithCanaries();
    m.rig.Process(10, 5);
    for (int32_t k = 0; k < 64; ++k) {
        if (k >= 10 && k < 15) {
            EXPECT_EQ(m.rig.out[k], static_cast<float>((k - 10) * 4.0 / 100)) << k;
        } else {
            EXPECT_TRUE(ModuleRig::IsCanary(m.rig.out[k])) << k;
        }
    }
}

// Square wave through the smoother: one level per half period; the first sample after open is 1/W.
class SquareWave : public ::testing::Test {
protected:
    void SetUp() override {
        m.Open();
        m.rig.SetChoices(2, 0, 0);
    }
    // Runs `count` samples at 1 Hz (P = 44,100) and answers Out of the last one.
    float Run(int32_t count, float freq = kFreqPeriod44100) { return m.Run(count, 1.0f, 1.0f, 0.0f, freq, 0.0f); }

    LinkedModule m{44100};
};

TEST_F(SquareWave, FirstCallsAreTwoHundredthsThenAboutFourHundredths) {
    EXPECT_EQ(Run(1), 0.02f);
    EXPECT_EQ(m.module->SmoothSum(), 1.0f);
    const float second = Run(1);
    EXPECT_NEAR(second, 0.039996, 1e-6);
    EXPECT_EQ(second, static_cast<float>(static_cast<double>(static_cast<float>(2.0 * 0.9999f)) / 50.0));
}

TEST_F(SquareWave, HeldLevelRisesForFiftySamplesThenDecaysByTheLeak) {
    EXPECT_NEAR(Run(50), 0.997456, 1e-5);
    m.rig.Process(0, 1);  // inputs still in place
    float previous = m.rig.out[0];
    // Up to the 10,000th call every further one scales the output by about 0.9999.
    m.Run(10000 - 51, 1.0f, 1.0f, 0.0f, kFreqPeriod44100, 0.0f);
    EXPECT_NEAR(m.rig.out[10000 - 52], 0.3687, 2e-4);
    EXPECT_LT(m.rig.out[0], previous);
}

TEST_F(SquareWave, RingSlotsWrapAfterFiftyOneCalls) {
    EXPECT_EQ(m.module->SmoothWindow(), 50);
    EXPECT_EQ(m.module->SmoothRingLength(), 51);
    Run(1);
    EXPECT_EQ(m.module->SmoothIndex(), 1);
    Run(50);
    EXPECT_EQ(m.module->SmoothIndex(), 0);  // the 51st call wrote slot 50
    Run(1);
    EXPECT_EQ(m.module->SmoothIndex(), 1);  // the 52nd wrote slot 0
}

TEST_F(SquareWave, SteadySquareSettlesToOvershootingPeaksThatDecayTowardTheNextEdge) {
    // Per frequency: samples per level, periods to settle, and the settled 50th-sample peak and
    // last-sample level of each half.
    const struct {
        float freq;
        int32_t half;
        int periods;
        double peak, last;
    } cases[] = {{kFreqPeriod44100, 22050, 5, 1.797, 0.199}, {kFreqPeriod4410, 2205, 60, 1.107, 0.892}};
    for (const auto& c : cases) {
        LinkedModule fresh(2 * c.half);
        fresh.Open();
        fresh.rig.SetChoices(2, 0, 0);
        fresh.Set(0, 2 * c.half, 1.0f, 1.0f, 0.0f, c.freq, 0.0f);
        for (int period = 0; period < c.periods; ++period) fresh.rig.Process(0, 2 * c.half);
        const auto& out = fresh.rig.out;
        EXPECT_NEAR(out[49], c.peak, 1e-3) << c.freq;
        EXPECT_NEAR(out[c.half - 1], c.last, 1e-3) << c.freq;
        EXPECT_NEAR(out[c.half + 49], -c.peak, 1e-3) << c.freq;
        EXPECT_NEAR(out[2 * c.half - 1], -c.last, 1e-3) << c.freq;
    }
}

TEST_F(SquareWave, SmootherStateWaitsWhileOtherWavesPlay) {
    Run(10);
    const float sum = m.module->SmoothSum();
    const int32_t index = m.module->SmoothIndex();
    m.rig.SetChoices(0, 0, 0);
    Run(100);
    m.Run(5, 1.0f, 0.0f, 0.0f, kFreqPeriod44100, 0.0f);  // inactive
    EXPECT_EQ(m.module->SmoothSum(), sum);
    EXPECT_EQ(m.module->SmoothIndex(), index);
}

// The window W = R x 0.0011337869 truncated, seen as the first square sample after open (1/W).
TEST(SquareWindow, FollowsTheSampleRate) {
    const struct {
        float rate;
        int32_t window;
    } table[] = {{22050, 25},   {32000, 36}, {44100, 50}, {48000, 54}, {88200, 100}, {96000, 108},
                 {192000, 217}, {1764, 2},   {1763, 1},   {882, 1},    {881, 0}};
    for (const auto& row : table) {
        LinkedModule m(8);
        m.Open(row.rate);
        m.rig.SetChoices(2, 0, 0);
        EXPECT_EQ(m.module->SmoothWindow(), row.window) << row.rate;
        EXPECT_EQ(m.module->SmoothRingLength(), row.window + 1) << row.rate;
        const float first = m.Run(1, 1.0f, 1.0f, 0.0f, 0.1f, 0.0f);
        if (row.window > 1) {
            EXPECT_EQ(first, static_cast<float>(1.0 / row.window)) << row.rate;
        } else {
            // Pass-through: every call answers its input.
            EXPECT_EQ(first, 1.0f) << row.rate;
            EXPECT_EQ(m.Run(1, 1.0f, 1.0f, 0.0f, 0.1f, 0.0f), 1.0f) << row.rate;
        }
    }
}

}  // namespace
