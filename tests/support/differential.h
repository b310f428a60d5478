// The differential run: one module instance (reached through its plug record only) against the
// literal reference engine, over a long, seeded scenario of modulated inputs, changing list values,
// odd block sizes and buffer offsets. Every Out sample inside a block must equal the reference bit for
// bit (any NaN matches any NaN: payloads depend on operand order), and every sample outside the block
// must keep its canary.
#ifndef VEXLO_TESTS_DIFFERENTIAL_H
#define VEXLO_TESTS_DIFFERENTIAL_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "module_rig.h"
#include "reference/literal_engine.h"

namespace vexlo::testing {

struct DifferentialReport {
    int64_t samples = 0;
    int64_t blocks = 0;
    int64_t active_like = 0;  // samples whose output differs from Offset x In
    int64_t mismatches = 0;
    int64_t outside_writes = 0;
    std::string first_failure;
};

// Shapes one input channel over a segment of samples.
class InputShaper {
public:
    enum Mode { kConstant, kUniform, kSineModulated, kRamp, kSpecials, kModeCount };

    InputShaper(float lo, float hi, std::vector<float> constants)
        : lo_(lo), hi_(hi), constants_(std::move(constants)) {}

    // Starts a new segment of `length` samples at sample rate `rate`.
    void Begin(std::mt19937& rng, int32_t length, float rate, int32_t mode_limit = kModeCount) {
        mode_ = static_cast<Mode>(std::uniform_int_distribution<int>(0, mode_limit - 1)(rng));
        constant_ = Pick(rng);
        a_ = Uniform(rng);
        b_ = Uniform(rng);
        length_ = std::max(length, 1);
        step_ = 0;
        // Audio-rate modulation up to a fifth of the rate, or slow wobble.
        const double mod_hz = std::uniform_real_distribution<double>(0.1, std::max(0.2, rate / 5.0))(rng);
        increment_ = mod_hz / std::max(1.0f, rate);
        angle_ = 0.0;
    }

    float Next(std::mt19937& rng) {
        const double t = static_cast<double>(step_++) / length_;
        switch (mode_) {
            case kConstant: return constant_;
            case kUniform: return Uniform(rng);
            case kSineModulated: {
                angle_ += increment_;
                const double centre = 0.5 * (a_ + b_), swing = 0.5 * (b_ - a_);
                return static_cast<float>(centre + swing * std::sin(6.283185307179586 * angle_));
            }
            case kRamp: return static_cast<float>(a_ + (b_ - a_) * t);
            default: {
                if (std::uniform_int_distribution<int>(0, 7)(rng) != 0) return Uniform(rng);
                static const float kSpecial[] = {0.0f,
                                                 -0.0f,
                                                 std::numeric_limits<float>::quiet_NaN(),
                                                 std::numeric_limits<float>::infinity(),
                                                 -std::numeric_limits<float>::infinity(),
                                                 1e30f,
                                                 -1e30f,
                                                 1e-40f,
                                                 std::numeric_limits<float>::max(),
                                                 3e9f,
                                                 -3e9f};
                return kSpecial[std::uniform_int_distribution<int>(0, 10)(rng)];
            }
        }
    }

private:
    float Uniform(std::mt19937& rng) { return std::uniform_real_distribution<float>(lo_, hi_)(rng); }
    float Pick(std::mt19937& rng) {
        if (constants_.empty() || std::uniform_int_distribution<int>(0, 2)(rng) == 0) return Uniform(rng);
        return constants_[std::uniform_int_distribution<size_t>(0, constants_.size() - 1)(rng)];
    }

    float lo_, hi_;
    std::vector<float> constants_;
    Mode mode_ = kConstant;
    float constant_ = 0.0f;
    float a_ = 0.0f, b_ = 0.0f;
    int32_t length_ = 1, step_ = 0;
    double increment_ = 0.0, angle_ = 0.0;
};

inline bool SameSample(float a, float b) {
    if (std::isnan(a) && std::isnan(b)) return true;
    uint32_t x, y;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    return x == y;
}

// Runs `total_samples` samples on a module that was opened at `rate` and whose pins `rig` has wired
// (the rig's buffers must hold kDifferentialCapacity samples). `specials` allows non-finite and huge
// inputs. The caller closes the module.
inline constexpr int32_t kDifferentialCapacity = 2048;

inline DifferentialReport RunDifferential(ModuleRig& rig, float rate, uint32_t seed, int32_t total_samples,
                                          bool specials = true) {
    constexpr int32_t kCapacity = kDifferentialCapacity;
    static const int32_t kBlockSizes[] = {1, 2, 3, 5, 7, 17, 31, 63, 64, 127, 255, 333, 511, 1023, 1500, 2047};

    DifferentialReport report;
    std::mt19937 rng(seed);
    reference::LiteralEngine engine(rate);
    std::vector<float> expected(kCapacity);

    InputShaper in(-2.0f, 2.0f, {1.0f, -1.0f, 0.5f, 0.0f});
    InputShaper depth(-1.0f, 1.0f, {0.5f, 1.0f, 0.0f, -0.25f});
    InputShaper offset(-1.0f, 1.0f, {0.0f, 0.5f, -0.3f, 1.0f});
    // Freq in sample units: 0.1 is 1 Hz (or 1 kHz); spans inactive, slow, audio-rate and above Nyquist.
    InputShaper freq(-0.05f, 3.0f, {0.1f, 0.0f, 0.0033333f, 0.0033334f, 2.0f, 0.001f, 50.0f, 4000.0f, -0.1f});
    // Phase in sample units: 36 is one whole period; reaches several periods of lead and lag.
    InputShaper phase(-100.0f, 100.0f, {0.0f, 9.0f, -9.0f, 36.0f, -36.5f, 1e6f, -1e7f});
    InputShaper* shapers[] = {&in, &depth, &offset, &freq, &phase};
    std::vector<float>* buffers[] = {&rig.in, &rig.depth, &rig.offset, &rig.freq, &rig.phase};
    const int32_t mode_limit = specials ? InputShaper::kModeCount : InputShaper::kSpecials;

    int32_t segment_left = 0;
    reference::Choices choices;
    while (report.samples < total_samples) {
        if (segment_left <= 0) {
            segment_left = std::uniform_int_distribution<int32_t>(1, 20000)(rng);
            for (InputShaper* s : shapers) s->Begin(rng, segment_left, rate, mode_limit);
            static const int16_t kWaves[] = {0, 1, 2, 3, 0, 1, 2, -1};
            choices.wave = kWaves[std::uniform_int_distribution<int>(0, 7)(rng)];
            choices.freq_scale = static_cast<uint16_t>(std::uniform_int_distribution<int>(0, 3)(rng) == 0 ? 1 : 0);
            choices.depth_scale = static_cast<uint16_t>(std::uniform_int_distribution<int>(0, 2)(rng) == 0 ? 1 : 0);
            // On the kHz scale keep Freq mostly in its 0 .. 20 kHz range.
            rig.SetChoices(choices.wave, choices.freq_scale, choices.depth_scale);
        }
        const int32_t count = std::min(kBlockSizes[std::uniform_int_distribution<int>(0, 15)(rng)], segment_left);
        const int32_t block_offset = std::uniform_int_distribution<int32_t>(0, kCapacity - count)(rng);
        for (int32_t k = block_offset; k < block_offset + count; ++k) {
            for (int c = 0; c < 5; ++c) {
                float v = shapers[c]->Next(rng);
                if (c == 3 && choices.freq_scale != 0) v *= 0.01f;
                (*buffers[c])[k] = v;
            }
        }
        rig.FillOutWithCanaries();
        rig.Process(block_offset, count);
        engine.ProcessBlock(
            {rig.in.data(), rig.depth.data(), rig.offset.data(), rig.freq.data(), rig.phase.data(), expected.data()},
            choices, block_offset, count);

        for (int32_t k = 0; k < kCapacity; ++k) {
            const bool inside = k >= block_offset && k < block_offset + count;
            if (!inside) {
                if (!ModuleRig::IsCanary(rig.out[k])) ++report.outside_writes;
                continue;
            }
            const float plain = static_cast<float>(static_cast<double>(rig.offset[k]) * rig.in[k]);
            if (!SameSample(expected[k], plain)) ++report.active_like;
            if (!SameSample(rig.out[k], expected[k])) {
                if (report.mismatches++ == 0) {
                    std::ostringstream s;
                    s.precision(9);
                    s << "rate " << rate << " seed " << seed << " sample " << report.samples + (k - block_offset)
                      << ": out " << rig.out[k] << " expected " << expected[k] << " (wave " << choices.wave
                      << ", freq scale " << choices.freq_scale << ", depth scale " << choices.depth_scale << "; in "
                      << rig.in[k] << " depth " << rig.depth[k] << " offset " << rig.offset[k] << " freq "
                      << rig.freq[k] << " phase " << rig.phase[k] << ")";
                    report.first_failure = s.str();
                }
            }
        }
        report.samples += count;
        ++report.blocks;
        segment_left -= count;
    }
    return report;
}

}  // namespace vexlo::testing

#endif  // VEXLO_TESTS_DIFFERENTIAL_H
