// DELAY against theory: its impulse response against the Catmull-Rom basis, feedback as a geometric
// series, a moving delay as a Doppler shift, the mix's exact ends, the clamps, and no allocation while
// processing.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "allocation_counter.h"
#include "companion_rig.h"
#include "delay_module.h"

namespace {

using Rig = CompanionRig<DelayModule>;
constexpr float kRate = 1000.0f;  // 1 ms is one sample: a Time of d/10 delays by d samples

// The Catmull-Rom spline in its matrix form, y(t) = 1/2 [1 t t^2 t^3] M [p0 p1 p2 p3]: the weight of
// tap k at fraction t. Taps 0 to 3 lie at delays n - 1, n, n + 1, n + 2 of a delay n + t.
double CatmullRomWeight(int k, double t) {
    static const double kM[4][4] = {{0, 2, 0, 0}, {-1, 0, 1, 0}, {2, -5, 4, -1}, {-1, 3, -3, 1}};
    return 0.5 * (kM[0][k] + kM[1][k] * t + kM[2][k] * t * t + kM[3][k] * t * t * t);
}

// A rig at kRate with a unit impulse at sample 0, the wet signal alone and the given constant inputs.
void SetUpImpulse(Rig& rig, float time, float feedback = 0.0f) {
    rig[DelayModule::kPinIn][0] = 1.0f;
    for (float& s : rig[DelayModule::kPinTime]) s = time;
    for (float& s : rig[DelayModule::kPinFeedback]) s = feedback;
    for (float& s : rig[DelayModule::kPinMix]) s = 1.0f;
}

TEST(DelayImpulse, WholeDelaysCopyTheImpulseExactly) {
    for (int delay : {2, 3, 10, 97, 500}) {
        Rig rig(1024);
        SetUpImpulse(rig, static_cast<float>(delay) / 10.0f);
        rig.Open(kRate);
        rig.Run();
        const auto& out = rig[DelayModule::kPinOut];
        for (int t = 0; t < 1024; ++t) {
            ASSERT_EQ(out[t], t == delay ? 1.0f : 0.0f) << "delay " << delay << ", sample " << t;
        }
    }
}

TEST(DelayImpulse, FractionalDelaysFollowTheCatmullRomBasis) {
    for (float time : {0.525f, 1.0125f, 0.3333f, 4.99f, 2.05f}) {
        Rig rig(700);
        SetUpImpulse(rig, time);
        rig.Open(kRate);
        rig.Run();
        const double delay = time * 10.0f;  // milliseconds in single precision, as Time arrives
        const int n = static_cast<int>(delay);
        const double f = delay - n;
        const auto& out = rig[DelayModule::kPinOut];
        double sum = 0;
        for (int t = 0; t < 700; ++t) {
            const int k = t - (n - 1);
            const double expected = k >= 0 && k < 4 ? CatmullRomWeight(k, f) : 0.0;
            ASSERT_NEAR(out[t], expected, 1e-7) << "delay " << delay << ", sample " << t;
            sum += out[t];
        }
        EXPECT_NEAR(sum, 1.0, 1e-6) << "the interpolator passes DC unchanged";
    }
}

TEST(DelayImpulse, FeedbackRepeatsTheImpulseGeometrically) {
    Rig rig(100);
    SetUpImpulse(rig, 1.0f, 0.5f);  // 10 samples, half fed back
    rig.Open(kRate);
    rig.Run();
    const auto& out = rig[DelayModule::kPinOut];
    for (int t = 0; t < 100; ++t) {
        const float expected = t > 0 && t % 10 == 0 ? std::ldexp(1.0f, -(t / 10 - 1)) : 0.0f;
        ASSERT_EQ(out[t], expected) << "sample " << t;
    }
}

TEST(DelayImpulse, FeedbackIsHeldBelowOne) {
    Rig rig(2000);
    SetUpImpulse(rig, 0.2f, 5.0f);  // 2 samples; a loop gain of 50 asked for
    rig.Open(kRate);
    rig.Run();
    // Every trip round the loop takes kMaxFeedback: the repeats at 2k samples are kMaxFeedback^(k - 1).
    EXPECT_FLOAT_EQ(rig[DelayModule::kPinOut][4], static_cast<float>(DelayModule::kMaxFeedback));
    EXPECT_NEAR(rig[DelayModule::kPinOut][1998], std::pow(DelayModule::kMaxFeedback, 998), 1e-6);
}

// A sine through a delay that grows by `slope` samples per sample comes out at (1 - slope) times its
// frequency: the delayed time t - D(t) runs at that rate.
double DopplerRatio(double slope) {
    constexpr float rate = 48000.0f;
    constexpr double hertz = 1000.0;
    constexpr int32_t length = 24000;
    Rig rig(length);
    constexpr double start = 600.0;  // samples
    for (int32_t t = 0; t < length; ++t) {
        rig[DelayModule::kPinIn][t] = static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * hertz * t / rate));
        rig[DelayModule::kPinTime][t] = static_cast<float>((start + slope * t) / (10.0 * rate / 1000.0));
        rig[DelayModule::kPinMix][t] = 1.0f;
    }
    rig.SetList(DelayModule::kPinMaxDelay, 1000);
    rig.Open(rate);
    rig.Run(256);
    // Upward zero crossings, placed between samples by linear interpolation, after the delay settles.
    const auto& out = rig[DelayModule::kPinOut];
    double first = -1, last = -1;
    int crossings = 0;
    for (int32_t t = 2000; t + 1 < length; ++t) {
        if (out[t] < 0.0f && out[t + 1] >= 0.0f) {
            const double at = t + out[t] / (out[t] - out[t + 1]);
            if (first < 0) first = at;
            last = at;
            ++crossings;
        }
    }
    const double measured = (crossings - 1) / ((last - first) / rate);
    return measured / hertz;
}

TEST(DelayModulation, AMovingDelayShiftsPitchByTheDopplerRatio) {
    for (double slope : {0.01, -0.02, 0.005}) {
        EXPECT_NEAR(DopplerRatio(slope), 1.0 - slope, 2e-5) << "slope " << slope;
    }
}

TEST(DelayMix, EachEndIsAnExactCopyOfItsSide) {
    constexpr int32_t length = 512;
    for (float mix : {0.0f, 1.0f}) {
        Rig rig(length);
        for (int32_t t = 0; t < length; ++t) {
            rig[DelayModule::kPinIn][t] = static_cast<float>(std::sin(0.37 * t) * 0.8);
            rig[DelayModule::kPinTime][t] = 0.7f;  // 7 samples
            rig[DelayModule::kPinMix][t] = mix;
        }
        rig.Open(kRate);
        rig.Run(33);
        const auto& in = rig[DelayModule::kPinIn];
        const auto& out = rig[DelayModule::kPinOut];
        for (int32_t t = 0; t < length; ++t) {
            const float expected = mix == 0.0f ? in[t] : t >= 7 ? in[t - 7] : 0.0f;
            ASSERT_EQ(out[t], expected) << "mix " << mix << ", sample " << t;
        }
    }
}

TEST(DelayMix, HalfwayIsTheMeanOfDryAndWet) {
    Rig rig(64);
    SetUpImpulse(rig, 0.5f);  // 5 samples
    for (float& s : rig[DelayModule::kPinMix]) s = 0.5f;
    rig.Open(kRate);
    rig.Run();
    EXPECT_EQ(rig[DelayModule::kPinOut][0], 0.5f);
    EXPECT_EQ(rig[DelayModule::kPinOut][5], 0.5f);
}

TEST(DelayClamps, TimeIsHeldBetweenTwoSamplesAndTheMaximum) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float time;
        int16_t max_ms;
        int delay;
    };
    for (const Case& c : {Case{-3.0f, 1000, 2}, Case{nan, 1000, 2}, Case{0.0f, 1000, 2}, Case{50.0f, 10, 10},
                          Case{std::numeric_limits<float>::infinity(), 100, 100}}) {
        Rig rig(256);
        SetUpImpulse(rig, c.time);
        rig.SetList(DelayModule::kPinMaxDelay, c.max_ms);
        rig.Open(kRate);
        rig.Run();
        const auto& out = rig[DelayModule::kPinOut];
        for (int t = 0; t < 256; ++t) ASSERT_EQ(out[t], t == c.delay ? 1.0f : 0.0f) << "time " << c.time;
    }
}

TEST(DelayClamps, AMaxDelayOutsideTheChoicesIsOneSecond) {
    for (int16_t setting : {int16_t{0}, int16_t{-5}, int16_t{32767}}) {
        Rig rig(16);
        rig.SetList(DelayModule::kPinMaxDelay, setting);
        rig.Open(48000.0f);
        EXPECT_EQ(rig.module().Line().MaxDelay(), 48000.0) << setting;
    }
}

TEST(DelayClamps, UnusableRatesPassTheInputThrough) {
    for (float rate : {0.0f, -44100.0f, std::numeric_limits<float>::quiet_NaN(), 1e30f}) {
        Rig rig(64, 0.25f);
        rig.Open(rate);
        rig.Run();
        EXPECT_FALSE(rig.module().Line().Ready());
        for (float s : rig[DelayModule::kPinOut]) ASSERT_EQ(s, 0.25f) << rate;
    }
}

TEST(DelayLoop, NonFiniteInputDoesNotStayInTheLoop) {
    Rig rig(4000);
    SetUpImpulse(rig, 0.3f, 0.9f);
    rig[DelayModule::kPinIn][0] = std::numeric_limits<float>::quiet_NaN();
    rig[DelayModule::kPinIn][1] = std::numeric_limits<float>::infinity();
    rig[DelayModule::kPinIn][2] = 3e38f;
    rig.Open(kRate);
    rig.Run();
    for (int t = 10; t < 4000; ++t) ASSERT_TRUE(std::isfinite(rig[DelayModule::kPinOut][t])) << t;
}

TEST(DelayRealtime, ProcessingAllocatesNothing) {
    Rig rig(48000);
    for (int32_t t = 0; t < 48000; ++t) {
        rig[DelayModule::kPinIn][t] = static_cast<float>(std::sin(0.01 * t));
        rig[DelayModule::kPinTime][t] = static_cast<float>(0.5 + 0.4 * std::sin(0.001 * t));
        rig[DelayModule::kPinFeedback][t] = 0.7f;
    }
    rig.Open(48000.0f);
    const int64_t before = allocation_counter::AllocationsMade();
    rig.Run(128);
    EXPECT_EQ(allocation_counter::AllocationsMade(), before);
}

}  // namespace
