// The oscillator's per-sample steps and the constants they share, for the engine's process paths
// (oscillator_engine.cpp, held_stretch.cpp, modulated_stretch.cpp). Internal to the module.
//
// Exactness: every output equals a literal evaluation of the engine's fourteen steps in IEEE double,
// rounded to single exactly where noted, with SSE2 arithmetic, no contraction and no reassociation
// (build flags). A change that alters one bit of output is a defect, so keep the order of operations
// as written. Where the process routine takes a shortcut (a remembered period, a comparison instead of
// a remainder, a stepped table index, a loop for held inputs) the comment beside it says why the
// result is the same; the tests check it against a literal reference engine.
#ifndef VEXLO_ENGINE_STEPS_H
#define VEXLO_ENGINE_STEPS_H

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "checked_convert.h"
#include "cycle_arithmetic.h"
#include "shared_sine_table.h"
#include "vexlo_module.h"

// The per-sample parts are inlined into the loops that call them: a call per sample, with its
// arguments on the 32-bit stack, costs as much as the step itself.
#define VEXLO_PER_SAMPLE inline __attribute__((always_inline))

// Internal to each process path that includes this header.
namespace {

// The sine table holds one cycle at the lowest frequency the engine accepts (just above 1/30 Hz), so
// the longest period, 30 x R samples, never outruns it.
constexpr int32_t kTableSecondsPerCycle = 30;
// The highest whole sample rate whose table length 30 x R still fits 32 bits.
constexpr int32_t kMaxSampleRate = std::numeric_limits<int32_t>::max() / kTableSecondsPerCycle;
// Frequencies must exceed 1/30 Hz (strictly) for the oscillator to run.
constexpr double kLowestHertz = 1.0 / 30.0;
// Hertz per sample unit on the Hz and kHz scales (1.0 = 10 V; 1 V = 1 Hz or 1 kHz).
constexpr float kHertzPerUnit = 10.0f;
constexpr float kHertzPerUnitKilo = 10000.0f;
// Depth factor of the Absolute scale.
constexpr float kAbsoluteDepth = 1.0f;
// Sample units to fractions of a period: 1 V per degree, 36 units per period.
constexpr float kPeriodsPerUnit = 1.0f / 36.0f;
// Samples per stretch whose inputs are checked for being held: long enough that the check and the
// one full step that starts a held stretch cost little per sample, short enough that a block which
// holds its inputs only in part still runs mostly the held loop.
constexpr int32_t kHeldStretch = 256;

static_assert(std::bit_cast<uint64_t>(kLowestHertz) == 0x3FA1111111111111ull);
static_assert(std::bit_cast<uint32_t>(kPeriodsPerUnit) == 0x3CE38E39u);
static_assert(std::bit_cast<uint32_t>(vexlo::kSmootherLeak) == 0x3F7FF972u);

}  // namespace

namespace vexlo {

// Triangle: 0 at the start, +1 at a quarter, 0 at half, -1 at three quarters, in step with the sine.
inline double TriangleAt(int32_t position, int32_t period) {
    const double x = static_cast<double>(position) * 4.0 / static_cast<double>(period);
    if (x < 1.0) return x;
    if (x < 3.0) return 2.0 - x;
    return x - 4.0;
}

// Out = (w x DepthEff + Offset) x In, in double, rounded to single once.
inline float OutputOf(double wave, double depth_eff, double offset, double in) {
    return static_cast<float>((wave * depth_eff + offset) * in);
}

// True when every sample of buffer[from, from + count) has the bits of buffer[from]: each sample
// equals the one before it, which the C library's block compare checks fast (and it stops at the first
// difference).
inline bool Held(const float* buffer, int32_t from, int32_t count) {
    return std::memcmp(buffer + from + 1, buffer + from, static_cast<size_t>(count - 1) * sizeof(float)) == 0;
}

}  // namespace vexlo

// The buffers and list values of one block. The list values are read once per block: nothing else
// runs on the instance while its process routine does.
struct VexloModule::Block {
    const float* in;
    const float* depth;
    const float* offset;
    const float* freq;
    const float* phase;
    float* out;
    int16_t wave;
    bool kilohertz;  // Freq on the kHz scale
    bool relative;   // Depth relative to Offset
};

// One sample of the five inputs.
struct VexloModule::Inputs {
    float in;
    float depth;
    float offset;
    float freq;
    float phase;
};

VEXLO_PER_SAMPLE int32_t VexloModule::PeriodFor(float hertz) {
    // P depends on F and R alone, and R is fixed from Open on.
    if (std::bit_cast<uint32_t>(hertz) == m_period_key) return m_keyed_period;
    return NewPeriodFor(hertz);
}

VEXLO_PER_SAMPLE int32_t VexloModule::NewPeriodFor(float hertz) {
    const uint32_t key = std::bit_cast<uint32_t>(hertz);
    // P = R / F + 0.5 truncated, at least 1 (hertz above twice the rate would round it to 0). Above
    // 1/30 Hz, R / F stays below 30 x R, which fits 32 bits.
    int32_t period = 1;
    if (!vexlo::TruncToInt32(static_cast<double>(m_int_sample_rate) / static_cast<double>(hertz) + 0.5, &period) ||
        period < 1) {
        period = 1;
    }
    m_period_key = key;
    if (period != m_keyed_period) m_keyed_inverse = 1.0 / static_cast<double>(period);
    m_keyed_period = period;
    return period;
}

VEXLO_PER_SAMPLE int32_t VexloModule::PhaseOffsetFor(int32_t period, float fraction) {
    if (period == m_phase_key_period && std::bit_cast<uint32_t>(fraction) == m_phase_key_fraction) {
        return m_keyed_phase_offset;
    }
    return NewPhaseOffsetFor(period, fraction);
}

VEXLO_PER_SAMPLE int32_t VexloModule::NewPhaseOffsetFor(int32_t period, float fraction) {
    const uint32_t key = std::bit_cast<uint32_t>(fraction);

    // PO = P x PF + 0.5 truncated. When that does not fit 32 bits it is reduced modulo P first, which
    // leaves the position unchanged.
    const double samples = static_cast<double>(period) * static_cast<double>(fraction) + 0.5;
    int32_t phase_offset = 0;
    if (!vexlo::TruncToInt32(samples, &phase_offset)) {
        phase_offset = static_cast<int32_t>(std::fmod(std::trunc(samples), static_cast<double>(period)));
    }
    m_phase_key_period = period;
    m_phase_key_fraction = key;
    m_keyed_phase_offset = vexlo::WrapAround(phase_offset, period);
    return m_keyed_phase_offset;
}

// The steps that do not depend on the count (2, 3, 5, 6, 8 and 11): what one sample asks of the
// oscillator. Samples can be measured ahead of counting, independently of one another.
VEXLO_PER_SAMPLE VexloModule::Measure VexloModule::MeasureSample(const Block& block, const Inputs& x) {
    // 2. Effective depth: absolute, or relative to the offset.
    const float depth_factor = block.relative ? x.offset : kAbsoluteDepth;
    const float depth_eff = static_cast<float>(static_cast<double>(depth_factor) * static_cast<double>(x.depth));

    // 3. Frequency in hertz.
    const float hertz_per_unit = block.kilohertz ? kHertzPerUnitKilo : kHertzPerUnit;
    const float hertz = static_cast<float>(static_cast<double>(hertz_per_unit) * static_cast<double>(x.freq));

    // 5. Phase as a fraction of a period; a phase that is not a finite number counts as 0.
    float phase_fraction = static_cast<float>(static_cast<double>(x.phase) * static_cast<double>(kPeriodsPerUnit));
    if (!std::isfinite(phase_fraction)) phase_fraction = 0.0f;

    // 6. Active above 1/30 Hz with a depth that is a non-zero number (NaN fails both tests).
    const bool active = static_cast<double>(hertz) > kLowestHertz && (depth_eff > 0.0f || depth_eff < 0.0f);
    if (!active) return {0, 0, 0.0, depth_eff};

    // 8. Period in whole samples (remembered while F keeps its bits).
    const int32_t period = PeriodFor(hertz);

    // 11. Phase offset in whole samples, reduced into 0 .. P - 1 (remembered while P and PF keep their
    //     bits).
    return {period, PhaseOffsetFor(period, phase_fraction), m_keyed_inverse, depth_eff};
}

// The steps that carry the count from sample to sample (4, 7, 9, 10 and 12): where a measured sample
// falls in the cycle, or -1 when it is inactive.
VEXLO_PER_SAMPLE int32_t VexloModule::Advance(const Measure& sample, Cycle& cycle) {
    // 4. Count the sample.
    int32_t count = cycle.count + 1;

    // 7. Inactive: the cycle restarts when the oscillator runs again.
    const int32_t period = sample.period;
    if (period == 0) {
        cycle.period = -1;
        cycle.count = -1;
        return -1;
    }

    // 9. A new period keeps the same fraction of the cycle: rescale the count.
    if (cycle.period >= 1 && cycle.period != period) {
        count = vexlo::Rescaled(count, cycle.period, cycle.inverse, period, m_exact_products);
    }

    // 10. Wrap the count into the period. Here 0 <= count <= P: before step 4 either both counters were
    //     -1 or 0 <= count < old P; unrescaled, the count is then at most the (same) P; rescaled from
    //     1 <= count <= old P, count / old P <= 1 and so count / old P x P + 0.5 <= P + 0.5 (rounding
    //     is monotonic and these bounds are representable). One comparison is the remainder.
    cycle.period = period;
    cycle.inverse = sample.inverse;
    cycle.count = vexlo::WrapForward(count, period);

    // 12. Position: count + phase offset mod P, which is what the signed remainder plus the wrap of a
    //     negative result give.
    return vexlo::AddWrapped(cycle.count, sample.phase_offset, period);
}

// Steps 13 and 14 (or 7's output) for one sample at `position` (-1: inactive).
VEXLO_PER_SAMPLE float VexloModule::Render(const Block& block, const Measure& sample, int32_t position, float in,
                                           float offset, vexlo::SquareSmoother& smoother) {
    // 7. Inactive: the offset alone.
    if (position < 0) return static_cast<float>(static_cast<double>(offset) * static_cast<double>(in));

    // 13. Wave value.
    const int32_t period = sample.period;
    double wave = 0.0;
    switch (block.wave) {
        case kWaveSine: wave = m_sine_table[m_sine_index.At(position, period, sample.inverse)]; break;
        case kWaveTriangle: wave = vexlo::TriangleAt(position, period); break;
        case kWaveSquare: wave = smoother.Step(vexlo::SquareLevel(position, period)); break;
        default: break;
    }

    // 14. Output, rounded to single once.
    return vexlo::OutputOf(wave, sample.depth_eff, offset, in);
}

#endif  // VEXLO_ENGINE_STEPS_H
