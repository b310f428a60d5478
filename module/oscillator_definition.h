// The oscillator as defined: each step a small scalar function named after what it computes, and
// DefinedOutput, which takes one sample through them in order. The stepwise path (RunStepwise) is this
// code; every other path takes the same steps through proved equivalents (a comparison for a
// remainder, a multiplied or stepped table index, a float product for a double one, several samples at
// once), and its comments name the function here whose result it must equal.
//
// Arithmetic: IEEE double, rounded to single exactly where a function says so, with SSE2 in the
// default floating-point environment (which the process routine installs), no contraction and no
// reassociation (build flags). A change that alters one bit of output is a defect, so keep the order
// of operations as written. Where the plain expression would be undefined (a conversion out of 32
// bits, a remainder by 0), the function gives the module's defined answer and says so.
#ifndef VEXLO_OSCILLATOR_DEFINITION_H
#define VEXLO_OSCILLATOR_DEFINITION_H

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "checked_convert.h"
#include "cycle_arithmetic.h"
#include "packed_double.h"
#include "path_counters.h"

// The per-sample steps are inlined into the loops that call them: a call per sample, with its arguments
// on the 32-bit stack, costs as much as the step itself.
#define VEXLO_PER_SAMPLE inline __attribute__((always_inline))

namespace vexlo {

// The sine table holds one cycle at the lowest frequency the engine accepts (just above 1/30 Hz), so
// the longest period, 30 x R samples, never outruns it.
inline constexpr int32_t kTableSecondsPerCycle = 30;
// The highest whole sample rate whose table length 30 x R still fits 32 bits.
inline constexpr int32_t kMaxSampleRate = std::numeric_limits<int32_t>::max() / kTableSecondsPerCycle;
// Frequencies must exceed 1/30 Hz (strictly) for the oscillator to run.
inline constexpr double kLowestHertz = 1.0 / 30.0;
// Hertz per sample unit on the Hz and kHz scales (1.0 = 10 V; 1 V = 1 Hz or 1 kHz).
inline constexpr float kHertzPerUnit = 10.0f;
inline constexpr float kHertzPerUnitKilo = 10000.0f;
// Depth factor of the Absolute scale.
inline constexpr float kAbsoluteDepth = 1.0f;
// Sample units to fractions of a period: 1 V per degree, 36 units per period.
inline constexpr float kPeriodsPerUnit = 1.0f / 36.0f;

static_assert(std::bit_cast<uint64_t>(kLowestHertz) == 0x3FA1111111111111ull);
static_assert(std::bit_cast<uint32_t>(kPeriodsPerUnit) == 0x3CE38E39u);

// The smallest single above the double 1/30: for every single F, F > 1/30 in double exactly when
// F >= this, since no single lies between the two.
inline constexpr float kLowestHertzAbove = 0x1.111112p-5f;
static_assert(static_cast<double>(kLowestHertzAbove) > kLowestHertz);
static_assert(static_cast<double>(std::bit_cast<float>(std::bit_cast<uint32_t>(kLowestHertzAbove) - 1u)) <=
              kLowestHertz);

// The counters after an inactive sample: the cycle restarts when the oscillator runs again.
inline constexpr Cycle kRestartedCycle{-1, -1};

// Effective depth: Depth, or Depth x Offset on the Relative scale; single.
VEXLO_PER_SAMPLE float DepthEffOf(float depth, float offset, bool relative) {
    return static_cast<float>(static_cast<double>(relative ? offset : kAbsoluteDepth) * static_cast<double>(depth));
}

// Frequency in hertz: Freq x 10, or x 10,000 on the kHz scale; single.
VEXLO_PER_SAMPLE float HertzOf(float freq, bool kilohertz) {
    return static_cast<float>(static_cast<double>(kilohertz ? kHertzPerUnitKilo : kHertzPerUnit) *
                              static_cast<double>(freq));
}

// Phase as a fraction of a period, single; a phase whose fraction is not a finite number counts as 0.
VEXLO_PER_SAMPLE float PhaseFractionOf(float phase) {
    const float fraction = static_cast<float>(static_cast<double>(phase) * static_cast<double>(kPeriodsPerUnit));
    return std::isfinite(fraction) ? fraction : 0.0f;
}

// Activity: the oscillator runs only above 1/30 Hz (strictly; NaN fails) with an effective depth that
// is a non-zero number.
VEXLO_PER_SAMPLE bool FrequencyActive(float hertz) { return static_cast<double>(hertz) > kLowestHertz; }
VEXLO_PER_SAMPLE bool DepthActive(float depth_eff) { return depth_eff > 0.0f || depth_eff < 0.0f; }
VEXLO_PER_SAMPLE bool Active(float hertz, float depth_eff) { return FrequencyActive(hertz) && DepthActive(depth_eff); }

// The output of an inactive sample: the offset alone, Offset x In in double, rounded to single. One
// body for a double and for a PackedDouble (two samples), before the rounding.
template <class Double>
VEXLO_PER_SAMPLE Double InactiveBeforeRounding(Double offset, Double in) {
    return offset * in;
}
VEXLO_PER_SAMPLE float InactiveOutput(float offset, float in) {
    return static_cast<float>(InactiveBeforeRounding(static_cast<double>(offset), static_cast<double>(in)));
}

// Period in whole samples: R / F + 0.5 truncated, at least 1. Defined for every F: a frequency at or
// below 1/30 Hz, or one that is not a number (never that of an active sample), divides as the smallest
// single above 1/30 instead, so that R / F + 0.5 < 30 x R + 0.5 always truncates into 32 bits.
VEXLO_PER_SAMPLE int32_t PeriodOf(int32_t rate, float hertz) {
    const float divisor = hertz >= kLowestHertzAbove ? hertz : kLowestHertzAbove;
    const int32_t period = static_cast<int32_t>(static_cast<double>(rate) / static_cast<double>(divisor) + 0.5);
    return period < 1 ? 1 : period;
}

// Phase offset in whole samples: P x PF + 0.5 truncated, taken mod P into 0 .. P - 1. When the
// truncation leaves 32 bits it is reduced mod P first, which leaves the position unchanged.
inline int32_t PhaseOffsetOf(int32_t period, float fraction) {
    const double samples = static_cast<double>(period) * static_cast<double>(fraction) + 0.5;
    const int32_t phase_offset =
        TruncFitsInt32(samples) ? static_cast<int32_t>(samples)
                                : static_cast<int32_t>(std::fmod(std::trunc(samples), static_cast<double>(period)));
    return WrapAround(phase_offset, period);
}

// Rescaled count: a new period keeps the same fraction of the cycle, count / old P x P + 0.5
// truncated, the division done first. For 1 <= count <= old P the result is at most P (count / old P
// <= 1, rounding is monotonic and the bounds are representable), so it fits 32 bits.
inline int32_t RescaledCount(int32_t count, int32_t old_period, int32_t period) {
    int32_t rescaled = count;
    TruncToInt32(static_cast<double>(count) / static_cast<double>(old_period) * static_cast<double>(period) + 0.5,
                 &rescaled);
    return rescaled;
}

// Wrapped count: the count mod P. Here 0 <= count <= P: before the sample was counted either both
// counters were -1, or 0 <= count < old P; unrescaled, the count is then at most the (same) P;
// rescaled, see RescaledCount. So one comparison is the remainder.
VEXLO_PER_SAMPLE int32_t WrappedCount(int32_t count, int32_t period) { return WrapForward(count, period); }

// The counters after an active sample of period P: the count moved on by one, rescaled when the
// period changed, wrapped into the new period.
VEXLO_PER_SAMPLE Cycle CountedCycle(const Cycle& cycle, int32_t period) {
    int32_t count = cycle.count + 1;
    if (cycle.period >= 1 && cycle.period != period) count = RescaledCount(count, cycle.period, period);
    return {WrappedCount(count, period), period};
}

// Position in the period: count + phase offset mod P, both in 0 .. P - 1.
VEXLO_PER_SAMPLE int32_t PositionOf(int32_t count, int32_t phase_offset, int32_t period) {
    return AddWrapped(count, phase_offset, period);
}

// Sine-table index of a position: N x p / P truncated, with N x p formed in double first and then
// divided by P; index 0 (whose entry is sin 0 = 0) for a position outside the period, which the
// engine never asks for.
inline int32_t SineIndexOf(int32_t length, int32_t position, int32_t period) {
    int32_t index = 0;
    if (!TruncToInt32(static_cast<double>(length) * static_cast<double>(position) / static_cast<double>(period),
                      &index) ||
        index < 0 || index >= length) {
        return 0;
    }
    return index;
}

// Sine value: the table's entry at the position's index.
inline double SineValue(const float* table, int32_t length, int32_t position, int32_t period) {
    return table[SineIndexOf(length, position, period)];
}

// Triangle value: 0 at the start, +1 at a quarter, 0 at half, -1 at three quarters, in step with the
// sine: x = p x 4 / P, then x while x < 1, 2 - x while x < 3, and x - 4 after. One body for a double and
// for a PackedDouble (two positions, each lane choosing its own piece).
template <class Double>
VEXLO_PER_SAMPLE Double TriangleOf(Double position, Double period) {
    const Double x = position * 4.0 / period;
    return Select(x < 1.0, x, Select(x < 3.0, 2.0 - x, x - 4.0));
}
VEXLO_PER_SAMPLE double TriangleValue(int32_t position, int32_t period) {
    return TriangleOf(static_cast<double>(position), static_cast<double>(period));
}

// Square value: +1 for the first half of the period (p / P below a half), -1 for the second, before
// smoothing.
VEXLO_PER_SAMPLE SquareLevel SquareValue(int32_t position, int32_t period) {
    return SquareLevel::FirstHalf(static_cast<double>(position) / static_cast<double>(period) < 0.5);
}

// Smoothed square: the square's level through a running average over the last W samples, kept as a
// running sum that leaks by 0.9999 per step, in a ring of W + 1 samples. Because the leak scales the
// whole sum, a held level decays toward 0 and each edge overshoots the new level.
// Leak applied to the running sum at every incremental step (bits 0x3F7FF972).
inline constexpr float kSmootherLeak = 0.9999f;
static_assert(std::bit_cast<uint32_t>(kSmootherLeak) == 0x3F7FF972u);
// The settled runs' argument (a magnitude that never grows under the leak) needs 0 < leak < 1.
static_assert(kSmootherLeak > 0.0f && kSmootherLeak < 1.0f);

// The incremental update: (sum + sample - leaving) x leak, in double, rounded to single once.
inline float LeakyUpdate(float sum, float sample, float leaving) {
    return static_cast<float>((static_cast<double>(sum) + static_cast<double>(sample) - static_cast<double>(leaving)) *
                              static_cast<double>(kSmootherLeak));
}

// The smoothed sample of a sum: sum / W when W > 1, else the sum, not rounded to single. The sum is
// divided either way, by SmoothingDivisor: W, or 1 when W <= 1, by which dividing changes nothing. One
// body for a sum as a double and for two (PackedDouble), with the divisor made once per block.
inline double SmoothingDivisor(int32_t window) { return window > 1 ? static_cast<double>(window) : 1.0; }
template <class Double>
VEXLO_PER_SAMPLE Double Smoothed(Double sum, Double divisor) {
    return sum / divisor;
}
VEXLO_PER_SAMPLE double SmoothedOf(float sum, int32_t window) {
    return Smoothed(static_cast<double>(sum), SmoothingDivisor(window));
}

// One step as defined: stores `sample` in slot `index` of the ring of `ring_length` slots, updates the
// sum (pass-through, full recompute on a new window, else the incremental update), advances the index
// and records the window. Answers the new sum.
inline float SmootherStep(float sample, int32_t window, int32_t ring_length, float* ring, int32_t& index,
                          int32_t& last_window, float& sum) {
    // Store the new sample.
    ring[index] = sample;

    // Update the sum.
    if (window <= 1) {
        sum = sample;
    } else if (window != last_window) {
        // Newest to oldest, rounded to single after every addition; no leak.
        VEXLO_COUNT_PATH(SmootherRecompute);
        sum = 0.0f;
        for (int32_t k = 0; k < window; ++k) {
            int32_t slot = index - k;
            if (slot < 0) slot += ring_length;
            sum = sum + ring[slot];
        }
    } else {
        // The sample leaving the window was written `window` steps ago.
        int32_t leaving = index - window;
        if (leaving < 0) leaving = ring_length - window + index;
        sum = LeakyUpdate(sum, sample, ring[leaving]);
    }

    // Advance the write slot (index + 1 is at most ring_length, so one comparison wraps it) and
    // remember the window.
    index = index + 1 < ring_length ? index + 1 : 0;
    last_window = window;
    return sum;
}

// Smoothed square: one step of the smoother with the square's level, answering the smoothed sample.
inline double SmoothedSquare(SquareLevel level, int32_t window, int32_t ring_length, float* ring, int32_t& index,
                             int32_t& last_window, float& sum) {
    return SmoothedOf(SmootherStep(level.value(), window, ring_length, ring, index, last_window, sum), window);
}

// Output: (w x DepthEff + Offset) x In, in double, rounded to single once. One body for a double and
// for a PackedDouble (two samples), before the rounding.
template <class Double>
VEXLO_PER_SAMPLE Double OutputBeforeRounding(Double wave, Double depth_eff, Double offset, Double in) {
    return (wave * depth_eff + offset) * in;
}
VEXLO_PER_SAMPLE float OutputOf(double wave, double depth_eff, double offset, double in) {
    return static_cast<float>(OutputBeforeRounding(wave, depth_eff, offset, in));
}

// The inputs of one sample and the block's list values, as the steps read them.
struct SampleInputs {
    float in;
    float depth;
    float offset;
    float freq;
    float phase;
};

// One sample by the definition, from the counters before it to the counters after it: `wave_value`
// answers the wave's value (before the output) at a position of a period, in the order the samples
// come, so that the square's smoother takes one step per active sample.
template <class WaveValue>
float DefinedOutput(const SampleInputs& x, bool kilohertz, bool relative, int32_t rate, Cycle& cycle,
                    WaveValue&& wave_value) {
    const float depth_eff = DepthEffOf(x.depth, x.offset, relative);
    const float hertz = HertzOf(x.freq, kilohertz);
    const float fraction = PhaseFractionOf(x.phase);
    if (!Active(hertz, depth_eff)) {
        cycle = kRestartedCycle;
        return InactiveOutput(x.offset, x.in);
    }
    const int32_t period = PeriodOf(rate, hertz);
    cycle = CountedCycle(cycle, period);
    const int32_t position = PositionOf(cycle.count, PhaseOffsetOf(period, fraction), period);
    return OutputOf(wave_value(position, period), depth_eff, x.offset, x.in);
}

}  // namespace vexlo

#endif  // VEXLO_OSCILLATOR_DEFINITION_H
