// The square-wave smoother's step: a running average over the last W samples, kept as a running sum
// that leaks by 0.9999 per step, in a ring of W + 1 samples. Because the leak scales the whole sum, a
// held level decays toward 0 and each edge overshoots the new level.
//
// SmootherStep (oscillator_definition.h) is the step as defined, on the state member by member;
// SquareSmoother is the same state as one value, which the process routine copies out of the module for
// a block (so that it lives in registers and no output store can alias it) and back, and whose step
// takes proved shortcuts.
#ifndef VEXLO_SQUARE_SMOOTHER_H
#define VEXLO_SQUARE_SMOOTHER_H

#include <bit>
#include <cmath>
#include <cstdint>

#include "assume.h"
#include "cycle_arithmetic.h"
#include "oscillator_definition.h"
#include "packed_double.h"
#include "rounded_to_single.h"

namespace vexlo {

// The range of sums in which the shortcuts below give LeakyUpdate's bits: 2^-28 <= |sum| < 2^29 (see
// SquareSmoother::StepSum for why sum + v is then exact in double), tested on the bits, whose order is
// the order of magnitudes (a NaN's bits lie above the range, and both zeros below it).
inline constexpr float kShortcutLow = 0x1p-28f;
inline constexpr float kShortcutHigh = 0x1p29f;
inline bool InShortcutRange(float sum) {
    constexpr uint32_t kLow = std::bit_cast<uint32_t>(kShortcutLow);
    constexpr uint32_t kHigh = std::bit_cast<uint32_t>(kShortcutHigh);
    return (std::bit_cast<uint32_t>(sum) & 0x7FFFFFFFu) - kLow < kHigh - kLow;
}

// LeakyUpdate in the shortcut's range for a sample equal to the one leaving: sum x leak in single
// precision (see SquareSmoother::StepSum). The settled step of a level held longer than the window.
inline float SettledStep(float sum) { return sum * kSmootherLeak; }

// LeakyUpdate in the shortcut's range for any square level and any leaving sample (a level, or the 0 of
// a slot never written): (sum + d) x leak in double with d = sample - leaving (0, +-1 or +-2, exact).
// sum + sample and then - leaving are both exact, so their result is the exact sum + d, which is what
// adding d gives, exact by the same argument (|sum + d| < |sum| + 2 stays below 2^(max(e, 0) + 2)).
// One add fewer lies on the sum's chain; with d = 0 it is the settled step's value.
inline float MovedStep(float sum, double difference) {
    return static_cast<float>((static_cast<double>(sum) + difference) * static_cast<double>(kSmootherLeak));
}

// LeakyUpdate with the sum held as a double (a single's value), and its answer too: the same double
// operations, then the rounding to single by splitting (RoundedToSingle) instead of two conversions,
// which hold most of a step's latency on the chain the steps form. For a square level, a leaving
// sample of 0 or +-1 and a sum of at most kHeldAsDoubleLimit in magnitude, t = ((sum + sample) -
// leaving) x leak meets RoundedToSingle's conditions:
//   - |t| < (2^100 + 2) x leak < 2^127.
//   - t is +0 or at least 2^-54 in magnitude. With |sum| >= 1/2, sum is a multiple of 2^-24, and so are
//     sum + sample and then its difference with the leaving sample, each exact unless it is at least
//     2^29 in magnitude: each is 0 or at least 2^-24. With |sum| < 1/2, sum + sample rounds to a
//     multiple of 2^-53 of magnitude at least 1/2, and its difference with the leaving sample is exact
//     (or near 2): 0 or at least 2^-53. The leak is above 1/2. An exact sum or difference of 0 is +0.
inline constexpr double kHeldAsDoubleLimit = 0x1p100;
inline double LeakyUpdateHeldAsDouble(double sum, double sample, double leaving) {
    return RoundedToSingle(((sum + sample) - leaving) * static_cast<double>(kSmootherLeak));
}

// LeakyUpdate for a square level (+-1, by its type) and a leaving sample of the ring, by the shortcuts
// above in their range, the settled step where the leaving sample is the level.
inline float LeakyStep(float sum, SquareLevel level, float leaving) {
    VEXLO_ASSUME(leaving == 0.0f || leaving == 1.0f || leaving == -1.0f);
    const float sample = level.value();
    if (InShortcutRange(sum)) {
        if (leaving == sample) return SettledStep(sum);
        return MovedStep(sum, static_cast<double>(sample - leaving));
    }
    return LeakyUpdate(sum, sample, leaving);
}

struct SquareSmoother {
    float sum;            // running sum of the newest `window` ring samples, leak applied
    int32_t index;        // ring slot the next sample is written to, 0 <= index < ring_length
    int32_t last_window;  // window of the previous step; 0 after setup
    int32_t window;       // W, samples
    int32_t ring_length;  // W + 1 slots
    float* ring;          // owned by the module

    // The step, answering the new sum.
    //
    // Shortcut: when the sample leaving the window equals the new one (a level held for more than W
    // samples) and 2^-28 <= |sum| < 2^29, the incremental update is sum x leak in single precision.
    // Why: with e = floor(log2 |sum|) in -28 .. 28, sum and the sample v (a square level, +-1) are whole
    // multiples of g = 2^(min(e, 0) - 23), and |sum + v| < 2^(max(e, 0) + 2), so sum + v is a multiple
    // of g below 2^(|e| + 25) <= 2^53 in magnitude: double holds it exactly, and subtracting v again
    // gives sum exactly. What is left is sum x leak in double: two 24-bit significands, whose product
    // (48 bits, far from the limits of the exponent) is exact, then rounded to single once; the single
    // multiply rounds the same exact product once, the same way. (Zero is left out: LeakyUpdate would
    // turn -0 into +0.) One multiply is all that lies on the sum's chain then.
    float StepSum(SquareLevel level) {
        const float sample = level.value();
        if (Running()) {
            ring[index] = sample;
            // With ring_length = W + 1 the leaving slot is the next one; it is never the one just written.
            const int32_t next = index + 1 < ring_length ? index + 1 : 0;
            sum = LeakyStep(sum, level, ring[next]);
            index = next;
            return sum;
        }
        return SmootherStep(sample, window, ring_length, ring, index, last_window, sum);
    }

    // True when the next step is the incremental update with the sample written W steps ago leaving:
    // a window above 1 that the previous step used too, in a ring of W + 1 slots.
    bool Running() const { return window > 1 && window == last_window && ring_length == window + 1; }

    // The step, answering the smoothed sample.
    double Step(SquareLevel level) { return SmoothedOf(StepSum(level), window); }
};

}  // namespace vexlo

#endif  // VEXLO_SQUARE_SMOOTHER_H
