// Measurements against signals whose values are known in closed form.
#include "measurements.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

using namespace trhost;
using ::testing::HasSubstr;

namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<float> Sine(double hertz, double rate, double seconds, double amplitude, double dc = 0.0,
                        double phase = 0.0) {
    std::vector<float> samples(static_cast<size_t>(seconds * rate));
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<float>(dc + amplitude * std::sin(2 * kPi * hertz * i / rate + phase));
    }
    return samples;
}

}  // namespace

TEST(MeasureFrequency, FindsTheFrequencyOfSteadyWaveformsToAFractionOfAPercent) {
    struct Case {
        double hertz, rate, seconds, dc, phase;
    };
    // Whole and broken numbers of cycles, a DC offset that moves the mean off the centre, any phase.
    for (const Case& c :
         {Case{1.0, 44100, 2.0, 0.0, 0.0}, Case{3.7, 44100, 2.3, 0.3, 1.0}, Case{440.0, 48000, 0.5, -0.2, 2.0},
          Case{0.75, 1000, 4.0, 0.0, 0.3}, Case{5000.0, 44100, 0.1, 0.0, 0.0}}) {
        auto measured = MeasureFrequency(Sine(c.hertz, c.rate, c.seconds, 0.5, c.dc, c.phase), c.rate);
        ASSERT_TRUE(measured) << c.hertz;
        EXPECT_NEAR(*measured, c.hertz, c.hertz * 1e-4) << c.hertz;
    }
    // A square and a triangle of 100 Hz at 44100 Hz: 441 samples a period.
    std::vector<float> square(44100), triangle(44100);
    for (size_t i = 0; i < square.size(); ++i) {
        double position = (i % 441) / 441.0;
        square[i] = position < 0.5 ? 0.8f : -0.8f;
        triangle[i] = static_cast<float>(position < 0.5 ? 4 * position - 1 : 3 - 4 * position);
    }
    EXPECT_NEAR(*MeasureFrequency(square, 44100), 100.0, 0.01);
    EXPECT_NEAR(*MeasureFrequency(triangle, 44100), 100.0, 0.01);
}

TEST(MeasureFrequency, AnswersNoneWithoutASteadyFundamental) {
    EXPECT_FALSE(MeasureFrequency(std::vector<float>(1000, 0.25f), 44100));  // constant
    EXPECT_FALSE(MeasureFrequency({}, 44100));                               // empty
    EXPECT_FALSE(MeasureFrequency(Sine(0.5, 44100, 2.0, 0.5), 44100));       // a single cycle
    std::vector<float> sweep(44100);                                         // 100 to 1100 Hz
    for (size_t i = 0; i < sweep.size(); ++i) {
        double t = i / 44100.0;
        sweep[i] = static_cast<float>(std::sin(2 * kPi * (100 * t + 500 * t * t)));
    }
    EXPECT_FALSE(MeasureFrequency(sweep, 44100));
    // Small ripple on a slow sine does not add crossings.
    auto rippled = Sine(2.0, 8000, 2.0, 0.5);
    for (size_t i = 0; i < rippled.size(); ++i) rippled[i] += (i % 2 ? 0.01f : -0.01f);
    EXPECT_NEAR(*MeasureFrequency(rippled, 8000), 2.0, 0.001);
}

TEST(MeasureChannel, GivesLevelsInVoltsAndCountsTheSamplesAHostStumblesOn) {
    auto m = MeasureChannel("Out", Sine(50, 8000, 1.0, 0.5, 0.1), 8000);
    EXPECT_NEAR(m.peak_volts, 6.0, 1e-4);
    EXPECT_NEAR(m.dc_volts, 1.0, 1e-5);
    EXPECT_NEAR(m.rms_volts, std::sqrt(1.0 + 5.0 * 5.0 / 2), 1e-4);  // DC and AC powers add
    EXPECT_NEAR(*m.frequency_hz, 50.0, 0.01);
    EXPECT_EQ(m.non_finite + m.denormal + m.beyond_full_scale, 0);
    EXPECT_TRUE(MeasurementWarnings({m}).empty());

    std::vector<float> odd = {
        0.5f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), FLT_MIN / 4, -1.5f, 1.0f,
        -1.0f};
    m = MeasureChannel("Odd", odd, 8000);
    EXPECT_EQ(m.non_finite, 2);
    EXPECT_EQ(m.denormal, 1);
    EXPECT_EQ(m.beyond_full_scale, 1);  // ±1.0 itself is full scale, not beyond
    EXPECT_NEAR(m.peak_volts, 15.0, 1e-9);
    EXPECT_NEAR(m.dc_volts, (0.5 - 1.5) * 10 / 5, 1e-6);  // of the five finite samples
    auto warnings = MeasurementWarnings({m});
    ASSERT_EQ(warnings.size(), 3u);
    EXPECT_THAT(warnings[0], HasSubstr("Odd goes beyond ±10 V (the sample value ±1.0) in 1 samples, to a peak of 15 V"));
    EXPECT_THAT(MeasurementsText({m}), HasSubstr("15 V"));
    EXPECT_EQ(MeasurementsJson({m})[0]["non_finite"], 2);
    EXPECT_TRUE(MeasurementsJson({MeasureChannel("Flat", {0.5f, 0.5f}, 8000)})[0]["frequency_hz"].is_null());
}

TEST(MeasurementText, ReadsInHertzAndKilohertz) {
    EXPECT_EQ(FrequencyText(1.0), "1.0000 Hz");
    EXPECT_EQ(FrequencyText(220.5), "220.50 Hz");
    EXPECT_EQ(FrequencyText(0.05), "0.050000 Hz");
    EXPECT_EQ(FrequencyText(2205.0), "2.2050 kHz");
    EXPECT_EQ(LevelText(3.5355339), "3.536 V");
}
