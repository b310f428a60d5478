// The analysis against signals of known spectrum: a sine's bin and level, a square's odd harmonics,
// and the sidebands of frequency modulation at the levels of Bessel functions.
#include "spectrum.h"

#include <gtest/gtest.h>

#include <cmath>

#include "harmonics.h"
#include "plot_drawing.h"
#include "rack.h"

using namespace trhost;

namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<float> Sine(double hertz, double rate, double seconds, double amplitude) {
    std::vector<float> samples(static_cast<size_t>(seconds * rate));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<float>(amplitude * std::sin(2 * kPi * hertz * i / rate));
    return samples;
}

double Db(double ratio) { return 20 * std::log10(ratio); }

}  // namespace

TEST(Spectrum, FindsASinesBinAndLevelWhereverItFallsBetweenBins) {
    // One transform of 48000 samples: bins of 1 Hz.
    for (double hertz : {1000.0, 1000.25, 1000.5}) {
        Spectrum spectrum = AverageSpectrum(Sine(hertz, 48000, 1.0, 0.5), 48000);
        ASSERT_EQ(spectrum.size, 48000);
        ASSERT_EQ(spectrum.segments, 1);
        auto partials = StrongestPartials(spectrum, 1, -200);
        ASSERT_EQ(partials.size(), 1u);
        EXPECT_NEAR(partials[0].hertz, hertz, 0.01);
        EXPECT_NEAR(partials[0].LevelDb(), Db(0.5), 0.01) << hertz;
    }
    // A bin-centred sine reads its amplitude in its own bin, and nothing else comes near.
    Spectrum centred = AverageSpectrum(Sine(1000.0, 48000, 1.0, 0.5), 48000);
    EXPECT_NEAR(centred.LevelDb(1000), Db(0.5), 0.01);
    EXPECT_LT(centred.LevelDb(900), Db(0.5) - 120);
    // Longer runs average overlapping segments; the level is the same.
    Spectrum averaged = AverageSpectrum(Sine(440.0, 44100, 5.0, 0.1), 44100);
    EXPECT_GE(averaged.segments, 5);
    auto partial = PartialNear(averaged, 440.0, 5.0);
    ASSERT_TRUE(partial);
    EXPECT_NEAR(partial->hertz, 440.0, 0.05);
    EXPECT_NEAR(partial->LevelDb(), Db(0.1), 0.01);
}

TEST(Harmonics, ASquareHasOddHarmonicsAtFourOverPiN) {
    // 100 Hz at 48000 Hz: 240 samples high, 240 low, so the even harmonics vanish exactly.
    std::vector<float> square(96000);
    for (size_t i = 0; i < square.size(); ++i) square[i] = (i % 480) < 240 ? 0.5f : -0.5f;
    HarmonicAnalysis analysis = AnalyzeHarmonics(AverageSpectrum(square, 48000), 100.0);
    ASSERT_EQ(analysis.harmonics.size(), static_cast<size_t>(kMostHarmonics));
    double upper = 0;
    for (const auto& harmonic : analysis.harmonics) {
        int n = harmonic.number;
        if (n % 2 == 1) {
            EXPECT_NEAR(harmonic.partial.hertz, 100.0 * n, 0.05) << n;
            // A sampled square's series: (4/pi n) times (pi n / P) / sin(pi n / P) for a period of P samples.
            double x = kPi * n / 480.0;
            double expected = 0.5 * 4 / (kPi * n) * x / std::sin(x);
            EXPECT_NEAR(harmonic.partial.LevelDb(), Db(expected), 0.02) << n;
            if (n > 1) upper += expected * expected;
        } else {
            EXPECT_LT(harmonic.partial.LevelDb(), Db(0.5) - 90) << n;
        }
    }
    double fundamental = 0.5 * 4 / kPi * (kPi / 480.0) / std::sin(kPi / 480.0);
    EXPECT_NEAR(analysis.thd, std::sqrt(upper) / fundamental, 1e-4);
}

TEST(Harmonics, APureSineHasNoDistortionToSpeakOf) {
    HarmonicAnalysis analysis = AnalyzeHarmonics(AverageSpectrum(Sine(441.0, 44100, 2.0, 0.5), 44100), 441.0);
    ASSERT_GT(analysis.harmonics.size(), 10u);
    EXPECT_NEAR(analysis.harmonics[0].partial.LevelDb(), Db(0.5), 0.01);
    EXPECT_LT(Db(analysis.thd), -100);
}

TEST(Spectrum, ARenderedFrequencyModulationHasItsSidebandsAtBesselLevels) {
    // A 100 Hz VEXLO swings a 1 kHz carrier by ±200 Hz: beta = 2. At 48000 Hz both periods are whole
    // numbers of samples (480 and 48).
    constexpr double kRate = 48000, kCarrier = 250, kModulator = 25, kDeviation = 50;
    PatchPlan plan;
    plan.modules.push_back({"mod",
                            VEXLO_LIBRARY_PATH,
                            {{"Freq scale", "kHz"}, {"Freq", "0.025"}, {"Offset", "0.25"}, {"Depth", "0.05"}},
                            {}});
    plan.modules.push_back({"car",
                            VEXLO_LIBRARY_PATH,
                            {{"Freq scale", "kHz"}, {"Depth", "5"}, {"Offset", "0"}},
                            {{"Freq", {"mod", "Out"}}}});
    plan.outputs = {{"car", "Out"}};
    RunSettings run;
    run.rate = kRate;
    run.block = 256;
    run.seconds = 4;
    Rendering rendering = Rack(plan, run).Run();
    Spectrum spectrum = AverageSpectrum(rendering.channels[0], kRate);

    double beta = kDeviation / kModulator;
    double carrier_amplitude = 0.5;  // Depth 5 V of In 10 V
    for (int n = -5; n <= 5; ++n) {
        double expected = carrier_amplitude * std::fabs(std::cyl_bessel_j(std::abs(n), beta));
        auto partial = PartialNear(spectrum, kCarrier + n * kModulator, 5.0);
        ASSERT_TRUE(partial) << n;
        EXPECT_NEAR(partial->hertz, kCarrier + n * kModulator, 1.0) << n;
        // Sidebands above a thousandth of the carrier: within 1 dB of J_n(beta).
        if (expected > carrier_amplitude * 0.03) {
            EXPECT_NEAR(partial->LevelDb(), Db(expected), 1.0) << "sideband " << n;
        }
    }
}

TEST(PlotLabels, StayShortForHugeAndTinyValues) {
    double step;
    for (double scale : {1e-9, 1e-3, 1.0, 1e4, 1e12, 1e30, 3e38}) {
        for (double tick : Ticks(-scale, scale, 6, &step)) {
            std::string label = TickText(tick, step);
            EXPECT_LE(label.size(), 10u) << label;
            EXPECT_NEAR(std::stod(label), tick, step * 1e-6) << label;
        }
    }
    EXPECT_EQ(TickText(0.25, 0.05), "0.25");
    EXPECT_EQ(TickText(-4, 2), "-4");
}
