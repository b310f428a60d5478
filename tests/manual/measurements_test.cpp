// The manual's measurements against theory: pitch against R / P for the module's whole-sample periods,
// the spectrum's median level against the windowed level of white noise, and the template's fields.
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

namespace {

using manual::Held;

std::unique_ptr<trhost::ModuleLibrary> LoadVexlo() {
    std::string error;
    auto library = trhost::ModuleLibrary::Load(VEXLO_LIBRARY_PATH, &error);
    if (!library) throw std::runtime_error(error);
    return library;
}

std::vector<float> Sine(double hertz, double rate, int64_t frames, double amplitude = 0.5) {
    std::vector<float> samples(static_cast<size_t>(frames));
    for (int64_t k = 0; k < frames; ++k) {
        samples[k] = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * hertz * k / rate));
    }
    return samples;
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
            EXPECT_NEAR(manual::MeasureFrequency(out, 0, run.Frames(), rate), rate / period, 1e-6 * rate / period)
                << hertz << " Hz at " << rate;
        }
    }
}

TEST(ManualMeasurements, FrequencyOfAnIdealSineBetweenWholeSamples) {
    const std::vector<float> sine = Sine(1234.5, 44100, 44100);
    EXPECT_NEAR(manual::MeasureFrequency(sine, 0, 44100, 44100), 1234.5, 0.01);
    EXPECT_EQ(manual::MeasureFrequency(std::vector<float>(100, 0.25f), 0, 100, 44100), 0.0);
    EXPECT_NEAR(manual::Cents(880, 440), 1200, 1e-9);
    EXPECT_NEAR(manual::NoteFrequency(57), 220, 1e-9);
}

// An ideal PM tone has all its power in its sidebands; white noise added at a known power shows as that
// share of the total, less the share of the bins the partials own.
TEST(ManualMeasurements, OffPartialLevelOfIdealPhaseModulationWithNoise) {
    const int n = 44100;
    const double carrier = 440, modulator = 311.3, index = 1.0;
    std::vector<float> tone(n);
    for (int k = 0; k < n; ++k) {
        const double t = static_cast<double>(k) / n;
        tone[k] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * carrier * t +
                                                    index * std::sin(2 * std::numbers::pi * modulator * t)));
    }
    EXPECT_LT(manual::OffPartialLevel(tone, 0, n, n, carrier, modulator, 8), -85);  // the window's sidelobes

    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 0.5 / std::sqrt(2.0) * 1e-3);  // 60 dB below the tone
    for (float& x : tone) x += static_cast<float>(noise(random));
    // 17 partials own 9 bins each of the 22051.
    const double owned = 17.0 * 9 / 22051;
    EXPECT_NEAR(manual::OffPartialLevel(tone, 0, n, n, carrier, modulator, 8), -60 + 10 * std::log10(1 - owned), 0.3);
    // Fewer orders than the tone has: its outer sidebands count against it.
    EXPECT_GT(manual::OffPartialLevel(tone, 0, n, n, carrier, modulator, 1), -20);
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
