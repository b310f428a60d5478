// The square wave: +1 for the first half of the period, -1 for the second (SquareValue), through the leaky
// running-average smoother (SmoothedSquare), one smoother step per active sample. Value takes the steps as
// defined; At the level by SquareLevel::At and the smoother's proved shortcuts (square_smoother.h), on the
// block's local copy of the smoother.
#ifndef VEXLO_WAVES_SQUARE_H
#define VEXLO_WAVES_SQUARE_H

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "cycle_arithmetic.h"
#include "held_loop.h"
#include "oscillator_definition.h"
#include "path_counters.h"
#include "square_smoother.h"
#include "waves/wave_sources.h"

namespace vexlo {

struct SquareWave {
    static constexpr int16_t kSelector = 2;
    static constexpr const char* kName = "square";  // in the Wave pin's list
    static SquareWave Made(const WaveSources& sources) { return {sources.smoother}; }

    SquareSmoother* smoother;  // the block's local copy

    VEXLO_PER_SAMPLE double Value(int32_t position, int32_t period) const {
        SquareSmoother& s = *smoother;
        return SmoothedSquare(SquareValue(position, period), s.window, s.ring_length, s.ring, s.index, s.last_window,
                              s.sum);
    }
    VEXLO_PER_SAMPLE double At(int32_t position, int32_t period, double) const {
        return smoother->Step(SquareLevel::At(position, period));
    }
};

// Held: Freq and Phase keep their bits (held_stretch.cpp).

namespace {

// The square: first the smoother's sums (its chain), then the averages and outputs two at a time.
//
// Settled runs: once the last W + 1 samples written are one level, every ring slot holds it, so each
// further sample of that level leaves the ring as it is and (see SquareSmoother::StepSum) makes the sum
// sum x leak in single precision, while 2^-28 <= |sum| < 2^29. The magnitude never grows under the
// leak (rounding is monotonic and the leak below 1), so a run that ends with |sum| >= 2^-28 stayed in
// range throughout; one that does not is taken again step by step. Such a run costs one multiply per
// sample, and the write slot moves on by the run's length.
template <class Gains>
void HeldLoop(const SquareWave& wave, const HeldSamples& held, const Gains& gains, float* out, int32_t n) {
    VEXLO_COUNT_PATH(HeldSquareSums);
    float sums[kStretch];
    SquareSmoother local = *wave.smoother;
    const int32_t period = held.period;
    const bool leaky = local.window > 1 && local.window == local.last_window && local.ring_length == local.window + 1;
    int32_t position = held.position;
    SquareLevel level = SquareLevel::At(position, period);  // the level written last (the first sample's)
    int32_t same = 0;  // samples of that level written last in a row, at most W + 1
    for (int32_t k = 0; k < n;) {
        const int32_t next = NextPosition(position, period);
        const SquareLevel sample = SquareLevel::At(next, period);
        const float size = std::fabs(local.sum);
        if (leaky && same > local.window && sample == level && size >= 0x1p-28f && size < 0x1p29f) {
            // The rest of this level: up to the half period, or up to the end of the period.
            const int32_t level_end = sample.high() ? (period + 1) / 2 : period;
            const int32_t run = std::min(n - k, level_end - next);
            float sum = local.sum;
            for (int32_t j = 0; j < run; ++j) {
                sum = sum * kSmootherLeak;
                sums[k + j] = sum;
            }
            if (std::fabs(sum) >= 0x1p-28f) {
                VEXLO_COUNT_PATH(SettledRun);
                local.sum = sum;
                local.index = static_cast<int32_t>((static_cast<int64_t>(local.index) + run) % local.ring_length);
                position = next + run - 1;
                k += run;
                continue;
            }
        }
        sums[k] = local.StepSum(sample);
        same = sample == level ? std::min(same + 1, local.window + 1) : 1;
        level = sample;
        position = next;
        ++k;
    }
    *wave.smoother = local;

    // The averages (SmoothedOf: dividing by 1 changes nothing, so W <= 1 divides by 1), then OutputOf.
    const __m128d window = _mm_set1_pd(local.window > 1 ? static_cast<double>(local.window) : 1.0);
    int32_t k = 0;
    for (; k + 4 <= n; k += 4) {
        StorePair(out + k, gains.Pair(k, _mm_div_pd(SinglesPair(sums + k), window)));
        StorePair(out + k + 2, gains.Pair(k + 2, _mm_div_pd(SinglesPair(sums + k + 2), window)));
    }
    for (; k < n; ++k) out[k] = gains.Output(k, SmoothedOf(sums[k], local.window));
}

}  // namespace

}  // namespace vexlo

#endif  // VEXLO_WAVES_SQUARE_H
