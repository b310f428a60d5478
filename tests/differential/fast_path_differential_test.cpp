// The process routine's fast paths against the literal reference engine, over scenarios built to reach
// them and the seams between them: inputs held for whole blocks and across many blocks; blocks that
// hold their inputs for a while and then modulate (or the reverse); Freq moving by one ulp; the wave
// changing between blocks while everything else holds; inactive runs inside held stretches; the phase
// changing from one held block to the next, including huge and negative phases; sample rates from 881
// to 192,000 and blocks of 1 to 4,096 samples. Every Out sample must be bit-equal and nothing outside
// the block written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "differential.h"
#include "fake_host.h"
#include "module_rig.h"
#include "reference/literal_engine.h"
#include "shared_sine_table.h"
#include "vexlo_module.h"
#include "waves/wave_list.h"

namespace {

namespace reference = vexlo::reference;
using vexlo::testing::SameSample;

constexpr int32_t kCapacity = 4096 + 64;

// One input channel: a held value, and how it behaves over a block.
struct Channel {
    enum Shape { kHeld, kHeldThenModulated, kModulatedThenHeld, kUlpFlicker, kInactiveRun, kNewValuePerBlock };
    float held = 0.0f;
    Shape shape = kHeld;
};

// The period the engine derives from a Freq sample on the Hz scale.
int32_t PeriodOf(float freq, int32_t rate) {
    const float hertz = static_cast<float>(10.0 * static_cast<double>(freq));
    return static_cast<int32_t>(static_cast<double>(rate) / static_cast<double>(hertz) + 0.5);
}

// A Freq sample on the Hz scale whose next float up gives another period: one ulp then changes P, so a
// period remembered by the wrong key would show. Near P, the boundary lies at R / (P - 0.5) hertz.
float FreqAtPeriodBoundary(int32_t rate, int32_t period) {
    float freq = static_cast<float>(static_cast<double>(rate) / (period - 0.5) / 10.0);
    for (int step = 0; step < 64; ++step) {
        const float up = std::nextafter(freq, std::numeric_limits<float>::infinity());
        if (PeriodOf(freq, rate) != PeriodOf(up, rate)) return freq;
        freq = PeriodOf(freq, rate) >= period ? up : std::nextafter(freq, 0.0f);
    }
    return freq;
}

class FastPathScenario {
public:
    FastPathScenario(float rate, uint32_t seed) : rate_(rate), rng_(seed), engine_(rate) {}

    // Runs `blocks` blocks through the module behind `rig` and the reference; answers a description of
    // the first mismatch, or "" when every block matched and nothing outside was written.
    std::string Run(ModuleRig& rig, int32_t blocks) {
        reference::Choices choices;
        std::vector<float> expected(kCapacity);
        for (int32_t b = 0; b < blocks; ++b) {
            if (b % 12 == 0) NewPhrase(choices);
            // The wave may change between blocks while every input holds.
            if (Chance(6)) choices.wave = kWaves[Pick(8)];
            rig.SetChoices(choices.wave, choices.freq_scale, choices.depth_scale);

            const int32_t count = BlockSize();
            const int32_t offset = static_cast<int32_t>(rng_() % static_cast<uint32_t>(kCapacity - count + 1));
            FillBlock(rig, offset, count);
            rig.FillOutWithCanaries();
            rig.Process(offset, count);
            engine_.ProcessBlock({rig.in.data(), rig.depth.data(), rig.offset.data(), rig.freq.data(), rig.phase.data(),
                                  expected.data()},
                                 choices, offset, count);
            for (int32_t k = 0; k < kCapacity; ++k) {
                const bool inside = k >= offset && k < offset + count;
                if (!inside && !ModuleRig::IsCanary(rig.out[k]))
                    return Describe(b, k, "wrote outside the block", rig, choices);
                if (inside && !SameSample(rig.out[k], expected[k])) {
                    return Describe(b, k, "out " + Text(rig.out[k]) + " expected " + Text(expected[k]), rig, choices);
                }
            }
        }
        return "";
    }

private:
    static constexpr int16_t kWaves[8] = {0, 1, 2, 0, 1, 2, vexlo::kUnlistedSelector, 0};

    bool Chance(int one_in) { return rng_() % static_cast<uint32_t>(one_in) == 0; }
    int Pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }
    float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng_); }

    int32_t BlockSize() {
        static const int32_t kSizes[] = {1, 2, 3, 17, 64, 255, 256, 257, 511, 512, 1000, 1024, 2047, 4096};
        if (Chance(4)) return 1 + static_cast<int32_t>(rng_() % 4096);
        return kSizes[Pick(14)];
    }

    void NewPhrase(reference::Choices& choices) {
        choices.wave = kWaves[Pick(8)];
        choices.freq_scale = static_cast<uint16_t>(Chance(4) ? 1 : 0);
        choices.depth_scale = static_cast<uint16_t>(Chance(3) ? 1 : 0);
        static const float kIn[] = {1.0f, -1.0f, 0.5f, 0.25f};
        static const float kDepth[] = {0.5f, 1.0f, -0.25f, 0.75f};
        static const float kOffset[] = {0.0f, 0.5f, -0.3f, 1.0f};
        // Slow, audio-rate, near the 1/30 Hz threshold, and beyond twice the rate.
        static const float kFreq[] = {0.1f, 0.0033334f, 0.37f, 1.3f, 4.41f, 0.0123f, 2000.0f, 0.05f};
        // Degrees / 10: none, quarter, lag, whole periods, and huge or negative phases.
        static const float kPhase[] = {0.0f, 9.0f, -9.0f, 36.0f, -36.5f, 1e6f, -1e7f, 3e11f, -3e11f, 17.3f};
        channels_[0] = {kIn[Pick(4)], Shape()};
        channels_[1] = {kDepth[Pick(4)], Shape()};
        channels_[2] = {kOffset[Pick(4)], Shape()};
        channels_[3] = {kFreq[Pick(8)] * (choices.freq_scale ? 0.01f : 1.0f), Shape()};
        channels_[4] = {kPhase[Pick(10)], Shape()};
        // A Freq one ulp from a period boundary, flickering across it.
        if (choices.freq_scale == 0 && Chance(3)) {
            const int32_t rate = static_cast<int32_t>(rate_);
            const int32_t period = std::max(2, std::min(30 * rate - 1, static_cast<int32_t>(rng_() % 5000) + 2));
            channels_[3] = {FreqAtPeriodBoundary(rate, period), Channel::kUlpFlicker};
        }
    }

    // Mostly held, so that held stretches are common.
    Channel::Shape Shape() {
        if (Pick(2) == 0) return Channel::kHeld;
        return static_cast<Channel::Shape>(1 + Pick(5));
    }

    void FillBlock(ModuleRig& rig, int32_t offset, int32_t count) {
        std::vector<float>* buffers[] = {&rig.in, &rig.depth, &rig.offset, &rig.freq, &rig.phase};
        for (int c = 0; c < 5; ++c) {
            Channel& ch = channels_[c];
            if (ch.shape == Channel::kNewValuePerBlock && Chance(2)) ch.held = NewValue(c, ch.held);
            const int32_t split = static_cast<int32_t>(rng_() % static_cast<uint32_t>(count + 1));
            const int32_t run_start = static_cast<int32_t>(rng_() % static_cast<uint32_t>(count + 1));
            const int32_t run_length = 1 + static_cast<int32_t>(rng_() % 300);
            const double swing_hz = Uniform(0.5f, rate_ / 4.0f);
            for (int32_t k = 0; k < count; ++k) {
                float v = ch.held;
                switch (ch.shape) {
                    case Channel::kHeldThenModulated:
                        if (k >= split) v = Modulated(c, ch.held, k, swing_hz);
                        break;
                    case Channel::kModulatedThenHeld:
                        if (k < split) v = Modulated(c, ch.held, k, swing_hz);
                        break;
                    case Channel::kUlpFlicker:
                        // One ulp up on a pattern of runs (alternating samples, or long runs).
                        if (((k / (1 + split % 7)) & 1) != 0)
                            v = std::nextafter(ch.held, std::numeric_limits<float>::infinity());
                        break;
                    case Channel::kInactiveRun:
                        // Depth 0 or Freq 0 for a run: inactive samples inside a held stretch.
                        if ((c == 1 || c == 3) && k >= run_start && k < run_start + run_length) v = 0.0f;
                        break;
                    default: break;
                }
                (*buffers[c])[offset + k] = v;
            }
        }
    }

    float Modulated(int c, float held, int32_t k, double swing_hz) {
        const double s = std::sin(6.283185307179586 * swing_hz * k / rate_);
        if (c == 3) return static_cast<float>(held * (1.0 + 0.5 * s));
        if (c == 4) return static_cast<float>(held + 40.0 * s);
        return static_cast<float>(held * (0.75 + 0.25 * s));
    }

    float NewValue(int c, float old) {
        if (c == 4) {
            static const float kPhases[] = {0.0f, 9.0f, -9.0f, 1e6f, -1e7f, 3e11f, -3e11f, 35.99f, -0.01f};
            return kPhases[Pick(9)];
        }
        return old * Uniform(0.5f, 1.5f);
    }

    std::string Describe(int32_t block, int32_t k, const std::string& what, const ModuleRig& rig,
                         const reference::Choices& c) const {
        std::ostringstream s;
        s.precision(9);
        s << "rate " << rate_ << " block " << block << " sample " << k << ": " << what << " (wave " << c.wave
          << ", scales " << c.freq_scale << "/" << c.depth_scale << "; in " << rig.in[k] << " depth " << rig.depth[k]
          << " offset " << rig.offset[k] << " freq " << rig.freq[k] << " phase " << rig.phase[k] << ")";
        return s.str();
    }

    static std::string Text(float v) {
        std::ostringstream s;
        s.precision(9);
        s << v;
        return s.str();
    }

    float rate_;
    std::mt19937 rng_;
    reference::LiteralEngine engine_;
    Channel channels_[5];
};

class FastPathDifferential : public ::testing::TestWithParam<float> {};

TEST_P(FastPathDifferential, HeldModulatedAndMixedBlocksAreBitEqual) {
    const float rate = GetParam();
    for (uint32_t seed : {1u, 2u, 3u}) {
        FakeHost host;
        host.pin_count = VexloModule::kPinCount;
        ModuleRig rig((new VexloModule(FakeHost::Callback, 0x5EED))->Plug(), kCapacity);
        rig.SetSampleRate(rate);
        rig.Wire();
        rig.Open();
        FastPathScenario scenario(rate, seed * 104729u + static_cast<uint32_t>(rate));
        const std::string failure = scenario.Run(rig, 160);
        rig.Close();
        ASSERT_EQ(failure, "") << "seed " << seed;
    }
}

INSTANTIATE_TEST_SUITE_P(SampleRates, FastPathDifferential,
                         ::testing::Values(881.0f, 1000.0f, 1763.0f, 8000.0f, 22050.0f, 44100.0f, 48000.0f, 96000.0f,
                                           192000.0f),
                         [](const auto& info) { return std::to_string(static_cast<int>(info.param)); });

}  // namespace

namespace {

// Processes `count` samples of the rig's buffers as the square, and the same through the literal
// engine; answers the samples that differ.
int32_t SquareMismatches(ModuleRig& rig, reference::LiteralEngine& engine, std::vector<float>& expected,
                         int32_t count) {
    rig.Process(0, count);
    engine.ProcessBlock(
        {rig.in.data(), rig.depth.data(), rig.offset.data(), rig.freq.data(), rig.phase.data(), expected.data()},
        {VexloModule::kWaveSquare, 0, 0}, 0, count);
    int32_t mismatches = 0;
    for (int32_t k = 0; k < count; ++k) mismatches += SameSample(rig.out[k], expected[k]) ? 0 : 1;
    return mismatches;
}

// A square held so long at one level that the smoother's sum decays below 2^-28, where its single
// multiply per sample no longer applies; then, still at that level, Freq moving by an ulp from sample
// to sample (the modulated path, whose steps must leave their shortcuts too, four samples at a time or
// not); then held again through the edge to the other level.
TEST(HeldSquare, DecayBelowTheShortcutsRangeModulatedAndTheNextEdgeAreBitEqual) {
    FakeHost host;
    host.pin_count = VexloModule::kPinCount;
    constexpr int32_t kBlock = 4096;
    ModuleRig rig((new VexloModule(FakeHost::Callback, 0x5EED))->Plug(), kBlock);
    rig.SetSampleRate(44100.0f);
    rig.Wire();
    rig.SetChoices(VexloModule::kWaveSquare, 0, 0);
    rig.Open();
    // F = 0.034 Hz: P = 1,297,059 samples, so each level lasts about 648,000 samples.
    constexpr float kFreq = 0.0034f;
    reference::LiteralEngine engine(44100.0f);
    std::vector<float> expected(kBlock);
    int32_t mismatches = 0;
    for (int32_t block = 0; block < 190 && mismatches == 0; ++block) {
        // Some 615,000 samples into the first level, before its edge: four blocks modulated.
        const bool modulated = block >= 151 && block < 155;
        for (int32_t k = 0; k < kBlock; ++k) rig.freq[k] = modulated && k % 2 ? std::nextafter(kFreq, 1.0f) : kFreq;
        mismatches += SquareMismatches(rig, engine, expected, kBlock);
        if (block == 150) {
            EXPECT_LT(std::fabs(engine.smoother().sum()), 0x1p-28f) << "the run did not reach the end of the range";
        }
    }
    EXPECT_EQ(mismatches, 0);
    rig.Close();
}

}  // namespace

namespace {

// The running square under audio-rate Freq and Phase at the edges of its smoother's four-at-a-time
// steps: windows of 2 and 3 samples (rates 2,000 and 3,000), where a sample leaving the window can be
// one the same group writes, and of 4; a window longer than a stretch (340 samples at 300,000), whose
// steps read only the ring; groups with an inactive sample (Depth 0) among active ones; and last groups
// of one to three samples. Periods of 2 to 40 samples, so that levels change often and every leaving
// sample differs from its level in turn.
TEST(ModulatedSquare, WindowEdgesInactiveSamplesAndPartialGroupsAreBitEqual) {
    FakeHost host;
    host.pin_count = VexloModule::kPinCount;
    constexpr int32_t kCapacityHere = 256;
    for (const float rate : {2000.0f, 3000.0f, 4000.0f, 48000.0f, 300000.0f}) {
        ModuleRig rig((new VexloModule(FakeHost::Callback, 0x5EED))->Plug(), kCapacityHere);
        rig.SetSampleRate(rate);
        rig.Wire();
        rig.SetChoices(VexloModule::kWaveSquare, 0, 0);
        rig.Open();
        reference::LiteralEngine engine(rate);
        std::vector<float> expected(kCapacityHere);
        std::mt19937 rng(static_cast<uint32_t>(rate));
        int32_t mismatches = 0;
        for (int32_t block = 0; block < 300; ++block) {
            const int32_t count = block % 2 == 0 ? 256 : static_cast<int32_t>(1 + rng() % 256);
            const bool inactive_samples = block % 5 == 2;
            for (int32_t k = 0; k < count; ++k) {
                const int32_t period = static_cast<int32_t>(2 + rng() % 39);
                rig.freq[k] = static_cast<float>(static_cast<double>(rate) / (10.0 * period));
                rig.phase[k] = static_cast<float>(rng() % 1000) * 0.0005f;
                rig.depth[k] = inactive_samples && rng() % 8 == 0 ? 0.0f : 0.5f;
            }
            mismatches += SquareMismatches(rig, engine, expected, count);
        }
        EXPECT_EQ(mismatches, 0) << "rate " << rate;
        rig.Close();
    }
}

}  // namespace

namespace {

// A held sine at In = 1 and an Offset of +0 or -0, the plainest patch, against the literal engine:
// negative depths (where w = +0 gives -0 before the offset is added), depths that overflow or underflow
// single precision in the product, and infinite ones.
TEST(HeldSine, UnitInAndZeroOffsetAreBitEqualForEveryDepth) {
    FakeHost host;
    host.pin_count = VexloModule::kPinCount;
    constexpr int32_t kBlock = 256;
    const float kDepths[] = {0.5f,
                             -0.25f,
                             1.0f,
                             -1.0f,
                             3e38f,
                             -3e38f,
                             1e-45f,
                             -1e-40f,
                             std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity()};
    for (const float rate : {44100.0f, 48000.0f}) {
        for (const float offset : {0.0f, -0.0f}) {
            for (const float depth : kDepths) {
                ModuleRig rig((new VexloModule(FakeHost::Callback, 0x5EED))->Plug(), kBlock);
                rig.SetSampleRate(rate);
                rig.Wire();
                rig.SetChoices(VexloModule::kWaveSine, 0, 0);
                rig.Open();
                std::fill(rig.in.begin(), rig.in.end(), 1.0f);
                std::fill(rig.depth.begin(), rig.depth.end(), depth);
                std::fill(rig.offset.begin(), rig.offset.end(), offset);
                // 37 Hz: periods of 1192 and 1297 samples, not a multiple of the block.
                std::fill(rig.freq.begin(), rig.freq.end(), 3.7f);
                std::fill(rig.phase.begin(), rig.phase.end(), 0.0f);
                reference::LiteralEngine engine(rate);
                std::vector<float> expected(kBlock);
                int32_t mismatches = 0;
                for (int32_t block = 0; block < 20; ++block) {
                    rig.Process(0, kBlock);
                    engine.ProcessBlock({rig.in.data(), rig.depth.data(), rig.offset.data(), rig.freq.data(),
                                         rig.phase.data(), expected.data()},
                                        {VexloModule::kWaveSine, 0, 0}, 0, kBlock);
                    for (int32_t k = 0; k < kBlock; ++k) mismatches += SameSample(rig.out[k], expected[k]) ? 0 : 1;
                }
                EXPECT_EQ(mismatches, 0) << "rate " << rate << " offset " << offset << " depth " << depth;
                rig.Close();
            }
        }
    }
}

}  // namespace

namespace {

// Held sines at and near whole hertz, whose walks read the table's residue order, against the literal
// engine: 1 to 8 Hz, 1.0004 Hz (the class changes now and then), 7 Hz (P = 6857 at 48 kHz, a class change
// every few hundred samples), at three rates, with phases that start the walk in different classes,
// the unit-gain outputs (In 1, Offset 0) and the general ones, in blocks that do not divide the period.
TEST(HeldSine, WalksInResidueOrderAreBitEqual) {
    FakeHost host;
    host.pin_count = VexloModule::kPinCount;
    constexpr int32_t kBlock = 1000;
    for (const float rate : {44100.0f, 48000.0f, 96000.0f}) {
        // Held here, the rate's table is built once rather than at every open.
        const float* table = vexlo::AcquireSineTable(30 * static_cast<int32_t>(rate));
        for (const float freq : {0.1f, 0.10004f, 0.2f, 0.3f, 0.5f, 0.7f, 0.8f}) {
            for (const float phase : {0.0f, 1.7f, -250.0f}) {
                for (const bool unit_gain : {true, false}) {
                    ModuleRig rig((new VexloModule(FakeHost::Callback, 0x5EED))->Plug(), kBlock);
                    rig.SetSampleRate(rate);
                    rig.Wire();
                    rig.SetChoices(VexloModule::kWaveSine, 0, 0);
                    rig.Open();
                    std::fill(rig.in.begin(), rig.in.end(), unit_gain ? 1.0f : 0.8f);
                    std::fill(rig.depth.begin(), rig.depth.end(), 0.5f);
                    std::fill(rig.offset.begin(), rig.offset.end(), unit_gain ? 0.0f : 0.3f);
                    std::fill(rig.freq.begin(), rig.freq.end(), freq);
                    std::fill(rig.phase.begin(), rig.phase.end(), phase);
                    reference::LiteralEngine engine(rate);
                    std::vector<float> expected(kBlock);
                    int32_t mismatches = 0;
                    // A little over one period at the lowest frequency.
                    const int32_t blocks = static_cast<int32_t>(rate / (10.0f * freq)) / kBlock + 2;
                    for (int32_t block = 0; block < blocks; ++block) {
                        rig.Process(0, kBlock);
                        engine.ProcessBlock({rig.in.data(), rig.depth.data(), rig.offset.data(), rig.freq.data(),
                                             rig.phase.data(), expected.data()},
                                            {VexloModule::kWaveSine, 0, 0}, 0, kBlock);
                        for (int32_t k = 0; k < kBlock; ++k) mismatches += SameSample(rig.out[k], expected[k]) ? 0 : 1;
                    }
                    EXPECT_EQ(mismatches, 0) << "rate " << rate << " freq " << freq << " phase " << phase
                                             << (unit_gain ? " unit gain" : " general");
                    rig.Close();
                }
            }
        }
        vexlo::ReleaseSineTable(table);
    }
}

}  // namespace

namespace {

// Audio-rate Freq jumping between periods of 2 to 8 samples, so that a rescaled count often lands on a
// half exactly (1 x 3 / 2, 3 x 5 / 2, ...), the case the modulated path cannot decide by itself, in
// groups of four where every sample is active and in groups with a reset (depth 0) among them; for
// every wave, in blocks of 256 and of sizes that leave a last one to three samples.
TEST(ModulatedCount, RescalesOntoAHalfAreBitEqual) {
    FakeHost host;
    host.pin_count = VexloModule::kPinCount;
    constexpr float kRate = 48000.0f;
    constexpr int32_t kCapacityHere = 256;
    std::mt19937 rng(0x4A1F);
    const auto freq_of_period = [](int32_t period) {
        return static_cast<float>(static_cast<double>(kRate) / (10.0 * period));
    };
    for (const int16_t wave : {VexloModule::kWaveSine, VexloModule::kWaveTriangle, VexloModule::kWaveSquare}) {
        ModuleRig rig((new VexloModule(FakeHost::Callback, 0x5EED))->Plug(), kCapacityHere);
        rig.SetSampleRate(kRate);
        rig.Wire();
        rig.SetChoices(wave, 0, 0);
        rig.Open();
        reference::LiteralEngine engine(kRate);
        std::vector<float> expected(kCapacityHere);
        int32_t mismatches = 0;
        for (int32_t block = 0; block < 400; ++block) {
            const int32_t count = block % 3 == 0 ? 256 : static_cast<int32_t>(4 + rng() % 253);
            const bool resets = block % 4 == 1;
            for (int32_t k = 0; k < count; ++k) {
                rig.freq[k] = freq_of_period(static_cast<int32_t>(2 + rng() % 7));
                rig.phase[k] = static_cast<float>(rng() % 1000) * 0.001f;
                rig.depth[k] = resets && rng() % 16 == 0 ? 0.0f : 0.5f;
            }
            rig.Process(0, count);
            engine.ProcessBlock({rig.in.data(), rig.depth.data(), rig.offset.data(), rig.freq.data(),
                                 rig.phase.data(), expected.data()},
                                {wave, 0, 0}, 0, count);
            for (int32_t k = 0; k < count; ++k) mismatches += SameSample(rig.out[k], expected[k]) ? 0 : 1;
        }
        EXPECT_EQ(mismatches, 0) << "wave " << wave;
        rig.Close();
    }
}

}  // namespace

namespace {

// Freq and Phase held while In, Depth and Offset move at audio rate (a tremolo, and depth or offset
// modulation), against the literal engine: every wave and both depth scales; periods of 2, 3, 5 and
// 17 samples (the short-period loops), 1 and 10 Hz and a frequency below 1/30 Hz (every sample
// inactive whatever the depth); gains that pass through zero or hold it (Depth 0, or Offset 0 on the
// Relative scale, makes samples inactive and restarts the cycle), and that take the values where the
// output step's rounding shows: both zeros, subnormals, infinities, NaN and products beyond single
// range.
TEST(HeldCycle, AudioOnInDepthAndOffsetIsBitEqual) {
    FakeHost host;
    host.pin_count = VexloModule::kPinCount;
    constexpr float kRate = 48000.0f;
    constexpr int32_t kCapacityHere = 1100;
    const auto freq_of_period = [](int32_t period) {
        return static_cast<float>(static_cast<double>(kRate) / (10.0 * period));
    };
    const float kFreqs[] = {freq_of_period(2), freq_of_period(3), freq_of_period(5), freq_of_period(17),
                            0.1f,              1.0f,              0.003f};
    const float kSpecial[] = {0.0f,  -0.0f,  1e-45f, -3e-39f, std::numeric_limits<float>::infinity(),
                              -3e38f, 3e38f, std::numeric_limits<float>::quiet_NaN()};
    std::mt19937 rng(0x7E3);
    // Held here, the rate's table is built once rather than at every open.
    const float* table = vexlo::AcquireSineTable(30 * static_cast<int32_t>(kRate));
    const int16_t kWavesHere[] = {VexloModule::kWaveSine, VexloModule::kWaveTriangle, VexloModule::kWaveSquare,
                                  vexlo::kUnlistedSelector};
    for (const int16_t wave : kWavesHere) {
        for (const uint16_t relative : {uint16_t{0}, uint16_t{1}}) {
            for (const float freq : kFreqs) {
                ModuleRig rig((new VexloModule(FakeHost::Callback, 0x5EED))->Plug(), kCapacityHere);
                rig.SetSampleRate(kRate);
                rig.Wire();
                rig.SetChoices(wave, 0, relative);
                rig.Open();
                reference::LiteralEngine engine(kRate);
                std::vector<float> expected(kCapacityHere);
                int32_t mismatches = 0;
                std::string first;
                for (int32_t block = 0; block < 24; ++block) {
                    const int32_t count = block % 2 == 0 ? 256 : static_cast<int32_t>(1 + rng() % 1024);
                    const int32_t offset = static_cast<int32_t>(rng() % (kCapacityHere - count + 1));
                    const float phase = static_cast<float>(static_cast<int32_t>(rng() % 721) - 360) * 0.1f;
                    // Which gains move in this block, and whether they pass through zero or special values.
                    const uint32_t moving = 1 + rng() % 7;
                    const bool zeros = block % 3 == 1;
                    const bool special = block % 5 == 2;
                    // Held gains of zero: with Depth 0, or Offset 0 on the Relative scale, every sample of the
                    // block is inactive while In moves.
                    const float held_depth = block % 4 == 3 ? 0.0f : 0.5f;
                    const float held_offset = block % 8 == 5 ? 0.0f : 0.25f;
                    for (int32_t k = offset; k < offset + count; ++k) {
                        const double t = k / static_cast<double>(kRate);
                        rig.freq[k] = freq;
                        rig.phase[k] = phase;
                        rig.in[k] = (moving & 1) ? static_cast<float>(std::sin(6.283185307179586 * 440.0 * t)) : 0.8f;
                        rig.depth[k] = (moving & 2) ? static_cast<float>(0.5 + 0.4 * std::sin(6.2831853 * 3.0 * k))
                                                    : held_depth;
                        rig.offset[k] = (moving & 4) ? static_cast<float>(0.3 * std::cos(6.2831853 * 0.01 * k))
                                                     : held_offset;
                        if (zeros && rng() % 64 == 0) (rng() % 2 ? rig.depth[k] : rig.offset[k]) = 0.0f;
                        if (special && rng() % 16 == 0) {
                            const float value = kSpecial[rng() % 8];
                            switch (rng() % 3) {
                                case 0: rig.in[k] = value; break;
                                case 1: rig.depth[k] = value; break;
                                default: rig.offset[k] = value; break;
                            }
                        }
                    }
                    rig.FillOutWithCanaries();
                    rig.Process(offset, count);
                    engine.ProcessBlock({rig.in.data(), rig.depth.data(), rig.offset.data(), rig.freq.data(),
                                         rig.phase.data(), expected.data()},
                                        {wave, 0, relative}, offset, count);
                    for (int32_t k = 0; k < kCapacityHere; ++k) {
                        const bool inside = k >= offset && k < offset + count;
                        const bool wrong =
                            inside ? !SameSample(rig.out[k], expected[k]) : !ModuleRig::IsCanary(rig.out[k]);
                        if (wrong && first.empty()) {
                            first = "block " + std::to_string(block) + " sample " + std::to_string(k - offset);
                        }
                        mismatches += wrong ? 1 : 0;
                    }
                }
                EXPECT_EQ(mismatches, 0) << "wave " << wave << " relative " << relative << " freq " << freq
                                         << ", first at " << first;
                rig.Close();
            }
        }
    }
    vexlo::ReleaseSineTable(table);
}

}  // namespace
