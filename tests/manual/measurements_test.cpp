// The manual's measurements against theory: pitch against R / P for the module's whole-sample periods,
// sideband tones against ideal FM and against white noise of a known level, and the template's fields.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <stdexcept>

#include "html_template.h"
#include "measurements.h"
#include "module_library.h"
#include "module_run.h"
#include "tone_measurements.h"

namespace {

using manual::Held;

std::unique_ptr<trhost::ModuleLibrary> LoadVexlo() {
    std::string error;
    auto library = trhost::ModuleLibrary::Load(VEXLO_LIBRARY_PATH, &error);
    if (!library) throw std::runtime_error(error);
    return library;
}

// The module plays R / P hertz, P being R / F rounded to whole samples: what the tuning table reports.
TEST(ManualMeasurements, ModulePitchIsRateOverWholeSamplePeriod) {
    auto vexlo = LoadVexlo();
    for (double rate : {44100.0, 48000.0}) {
        for (double hertz : {27.5, 440.0, 1000.0, 3001.0, 7902.13}) {
            manual::ModuleRun run;
            run.rate = rate;
            run.seconds = 0.5;
            run.choices = {{"Freq scale", "kHz"}};
            run.inputs = {{"Freq", Held(hertz / 1000)}, {"Depth", Held(5)}, {"Offset", Held(0)}};
            const std::vector<float> out = manual::RenderOut(*vexlo, run);
            // F as the module forms it from the pin's sample value, in single precision.
            const float f = 10000.0f * static_cast<float>(hertz / 1000 / 10);
            const int period = static_cast<int>(rate / f + 0.5);
            EXPECT_NEAR(trhost::MeasureFrequency(out, rate).value_or(0), rate / period, 1e-6 * rate / period)
                << hertz << " Hz at " << rate;
        }
    }
}

TEST(ManualMeasurements, CentsAndEqualTemperament) {
    EXPECT_NEAR(manual::Cents(880, 440), 1200, 1e-9);
    EXPECT_NEAR(manual::Cents(440 * std::pow(2.0, 1 / 1200.0), 440), 1, 1e-9);
    EXPECT_NEAR(manual::NoteFrequency(57), 220, 1e-9);
    EXPECT_NEAR(manual::NoteFrequency(60), 261.6256, 1e-4);
}

// A tone whose phase is carrier + index * sin(modulator), computed in double: FM of index `index` when
// the modulator swings the frequency by index * modulator either side, which is how an FM patch's index
// is set.
std::vector<float> IdealFm(double carrier, double modulator, double index, int64_t frames, double rate) {
    std::vector<float> tone(static_cast<size_t>(frames));
    for (int64_t k = 0; k < frames; ++k) {
        const double t = static_cast<double>(k) / rate;
        tone[k] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * carrier * t -
                                                    index * std::cos(2 * std::numbers::pi * modulator * t)));
    }
    return tone;
}

// Ideal FM has all its power in its sidebands: what is left outside is the window's side lobes and the
// float rounding, at any carrier, even one that falls between two bins and one that is found away
// from where it was looked for. White noise added at a known power shows as that share of the total,
// less the share of the bins the partials own.
TEST(ManualMeasurements, SidebandToneOfIdealFmHasNoNoiseFloorAndRecoversAddedNoise) {
    const int n = 44100;
    for (double carrier : {55.0, 440.5, 3520.25}) {
        const double modulator = 0.7071 * carrier;
        const std::vector<float> tone = IdealFm(carrier, modulator, 1.0, n, n);
        const manual::SidebandTone clean = manual::MeasureSidebandTone(tone, 0, n, n, carrier + 3, modulator, 8);
        EXPECT_LT(clean.off_partials_db, -85) << carrier << " Hz";
        EXPECT_NEAR(clean.carrier_hz, carrier, 0.01) << carrier << " Hz";
    }
    // Index 2 spreads the power further: 8 orders still hold all but the window's side lobes, 1 does not.
    const std::vector<float> wide = IdealFm(440, 311.3, 2.0, n, n);
    EXPECT_LT(manual::MeasureSidebandTone(wide, 0, n, n, 440, 311.3, 8).off_partials_db, -85);
    // Beyond the first sidebands lies 1 - J0(2)² - 2 J1(2)² of the power: 0.285 of it, -5.45 dB.
    EXPECT_NEAR(manual::MeasureSidebandTone(wide, 0, n, n, 440, 311.3, 1).off_partials_db, -5.45, 0.1);

    std::vector<float> noisy = IdealFm(440, 311.3, 1.0, n, n);
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 0.5 / std::sqrt(2.0) * 1e-3);  // 60 dB below the tone
    for (float& x : noisy) x += static_cast<float>(noise(random));
    // 17 partials own 9 bins each of the 22051.
    const double owned = 17.0 * 9 / 22051;
    EXPECT_NEAR(manual::MeasureSidebandTone(noisy, 0, n, n, 440, 311.3, 8).off_partials_db,
                -60 + 10 * std::log10(1 - owned), 0.3);
}

// Under PM the module rounds the phase offset to whole samples of its period P: an error spread evenly
// over half a sample either side, (2 pi / P)^2 / 12 in radians squared, which is the share of the power
// it moves off the partials. Phase is driven by an ideal sine of one radian either side of 180 degrees,
// inside the pin's 0 to 360 V.
TEST(ManualMeasurements, ModulePmNoiseIsTheRoundingOfThePhaseOffset) {
    auto vexlo = LoadVexlo();
    const double rate = 44100, modulator_ratio = 0.7071;
    for (double carrier : {110.0, 440.0}) {
        const double modulator = rate / std::floor(rate / (carrier * modulator_ratio) + 0.5);
        manual::ModuleRun run;
        run.choices = {{"Freq scale", "kHz"}};
        run.inputs = {{"Freq", Held(carrier / 1000)},
                      {"Depth", Held(5)},
                      {"Offset", Held(0)},
                      {"Phase", [&](int64_t frame) {
                           return 180 + 180 / std::numbers::pi *
                                            std::sin(2 * std::numbers::pi * modulator * frame / rate);
                       }}};
        const std::vector<float> out = manual::RenderOut(*vexlo, run);
        const double period = std::floor(rate / carrier + 0.5);
        const double expected = 10 * std::log10(std::pow(2 * std::numbers::pi / period, 2) / 12);
        EXPECT_NEAR(manual::MeasureSidebandTone(out, 0, run.Frames(), rate, carrier, modulator, 8).off_partials_db,
                    expected, 1.5)
            << carrier << " Hz";
    }
}

// Only the span asked for is measured: a clean tone followed by noise reads clean.
TEST(ManualMeasurements, SidebandToneMeasuresTheSpanOnly) {
    const int n = 44100;
    std::vector<float> samples = IdealFm(440, 311.3, 1.0, 2 * n, n);
    std::mt19937 random(3);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    for (int k = 0; k < n; ++k) samples[k] = noise(random);
    EXPECT_LT(manual::MeasureSidebandTone(samples, n, n, n, 440, 311.3, 8).off_partials_db, -85);
    EXPECT_GT(manual::MeasureSidebandTone(samples, 0, n, n, 440, 311.3, 8).off_partials_db, -1);
}

// The module's square at 1 Hz, 44100 Hz: the smoother's window of 50 samples, with a leak of 0.9999 per
// sample, settles to a peak of 1.797 on the 50th sample after each edge and 0.199 before the next.
TEST(ManualMeasurements, SquareLevelsOfTheModuleAgainstTheLeakyAverage) {
    auto vexlo = LoadVexlo();
    manual::ModuleRun run;
    run.seconds = 3;
    run.choices = {{"Wave", "square"}};
    run.inputs = {{"Freq", Held(1)}, {"Depth", Held(10)}, {"Offset", Held(0)}};
    const manual::HalfCycleLevels levels = manual::RisingHalfLevels(manual::RenderOut(*vexlo, run), 44100);
    EXPECT_NEAR(levels.peak, 1.797, 0.001);
    EXPECT_EQ(levels.peak_frame, 49);
    EXPECT_NEAR(levels.before_edge, 0.199, 0.001);
    EXPECT_EQ(manual::RisingHalfLevels(std::vector<float>(10, 1.0f), 11).peak, 0.0);
}

TEST(ManualTemplate, FillsEveryFieldAndRefusesStrays) {
    EXPECT_EQ(manual::FillTemplate("a {{x}} b {{y}}{{x}}", {{"x", "1"}, {"y", "<2>"}}), "a 1 b <2>1");
    EXPECT_THROW(manual::FillTemplate("{{missing}}", {}), std::runtime_error);
    EXPECT_THROW(manual::FillTemplate("no fields", {{"unused", "1"}}), std::runtime_error);
    EXPECT_THROW(manual::FillTemplate("{{open", {}), std::runtime_error);
    EXPECT_EQ(manual::EscapeHtml("<a href=\"x\">&</a>"), "&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt;");
}

}  // namespace
