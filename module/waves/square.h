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

#include "assume.h"
#include "cycle_arithmetic.h"
#include "held_loop.h"
#include "modulated_loop.h"
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
    SquareLevel level = SquareLevel::At(position, period);  // the level written last (the sample's before the first)
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
    VEXLO_COUNT_PATH(HeldSquareAverages);
    const __m128d window = _mm_set1_pd(local.window > 1 ? static_cast<double>(local.window) : 1.0);
    int32_t k = 0;
    for (; k + 4 <= n; k += 4) {
        StorePair(out + k, gains.Pair(k, _mm_div_pd(SinglesPair(sums + k), window)));
        StorePair(out + k + 2, gains.Pair(k + 2, _mm_div_pd(SinglesPair(sums + k + 2), window)));
    }
    for (; k < n; ++k) out[k] = gains.Output(k, SmoothedOf(sums[k], local.window));
}

// Modulated: Freq or Phase moves (modulated_stretch.cpp).

// The square smoother's sums for a counted stretch, one group behind the count (see MeasureAndCount),
// while the smoother is in its running state (SquareSmoother::Running). The ring is not written until
// the stretch is done: the sample leaving the window at the j-th active sample of the stretch is the
// ring's slot index + 1 + j (mod W + 1) while j < W, that is a sample written before the stretch, and
// the stretch's own (j - W)-th active level after that; Finish then writes the stretch's last W + 1
// levels where the steps one by one would have left them. Inactive samples do not step the smoother.
class SquareFollower {
public:
    SquareFollower(const Counted& counted, SquareSmoother& smoother, float* sums)
        : m_counted(counted), m_smoother(smoother), m_start(smoother), m_sums(sums) {
        VEXLO_ASSUME(smoother.Running());
    }

    void Restart() {
        m_smoother = m_start;
        m_written = 0;
    }

    // Locals for the sum and the step count, which no store into the arrays can alias.
    VEXLO_PER_SAMPLE void operator()(int32_t k, int32_t n) {
        const Measured& measured = m_counted.measured;
        const int32_t window = m_smoother.window;
        float sum = m_smoother.sum;
        int32_t written = m_written;
        // PositionOf and SquareValue for the group, lane by lane as PositionOfCounted and SquareLevel::At, two
        // lanes per instruction (At's test in double: every term is a whole number below 2P, exact).
        int second_half = 0;  // bit `lane` set for a level of -1
        if (n == 4) {
            __m128d whole_low, whole_high;
            const __m128d low = PositionPairAt(m_counted, k, whole_low);
            const __m128d high = PositionPairAt(m_counted, k + 2, whole_high);
            second_half = _mm_movemask_ps(_mm_castsi128_ps(NarrowedMasks(
                _mm_cmpge_pd(low, _mm_sub_pd(whole_low, low)), _mm_cmpge_pd(high, _mm_sub_pd(whole_high, high)))));
        } else {
            for (int32_t lane = 0; lane < n; ++lane) {
                const int32_t at = k + lane;
                const int32_t position = PositionOfCount(m_counted.counts[at], measured, at);
                if (position >= 0 && !SquareLevel::At(position, measured.period[at]).high()) second_half |= 1 << lane;
            }
        }
        for (int32_t lane = 0; lane < n; ++lane) {
            const int32_t at = k + lane;
            if (m_counted.counts[at] == 0.0) {
                m_sums[at] = 0.0f;  // read with the group, and ignored
                continue;
            }
            const SquareLevel level = SquareLevel::FirstHalf((second_half & (1 << lane)) == 0);
            const float leaving = written < window ? m_start.ring[RingSlot(written)] : m_levels[written - window];
            m_levels[written++] = level.value();
            sum = LeakyStep(sum, level, leaving);
            m_sums[at] = sum;
        }
        m_smoother.sum = sum;
        m_written = written;
    }

    // Writes the stretch's levels into the ring and moves the write slot on, as the steps would have.
    void Finish() {
        VEXLO_COUNT_PATH(SquareFollowerFinish);
        const int32_t length = m_start.ring_length;
        const int32_t first = m_written > length ? m_written - length : 0;
        for (int32_t j = first; j < m_written; ++j) m_start.ring[(m_start.index + j) % length] = m_levels[j];
        m_smoother.index = static_cast<int32_t>((static_cast<int64_t>(m_start.index) + m_written) % length);
    }

private:
    // The ring slot that the j-th step of the stretch reads as leaving (j < W): the one after its write slot.
    int32_t RingSlot(int32_t j) const {
        const int32_t slot = m_start.index + 1 + j;
        return slot < m_start.ring_length ? slot : slot - m_start.ring_length;
    }

    const Counted& m_counted;
    SquareSmoother& m_smoother;
    const SquareSmoother m_start;
    float* m_sums;
    float m_levels[kStretch];
    int32_t m_written = 0;
};

// The square's outputs from a stretch's sums, four at a time.
template <bool kAnyInactive>
void SquareOutputs(const Block& block, int32_t from, const Counted& counted, const float* sums, int32_t window,
                   int32_t count) {
    VEXLO_COUNT_PATH_BY_INACTIVE(SquareOutputs, kAnyInactive);
    const Measured& measured = counted.measured;
    const double* const counts = counted.counts;
    const __m128d divisor = _mm_set1_pd(window > 1 ? static_cast<double>(window) : 1.0);
    int32_t k = 0;
    // SmoothedOf, two lanes per division (dividing by 1 when W <= 1 changes nothing); inactive lanes' sums
    // are meaningless and their output ignores them.
    for (; k + 4 <= count; k += 4) {
        StoreRenderedPair<kAnyInactive>(block, from, measured, counts, k, _mm_div_pd(SinglesPair(sums + k), divisor));
        StoreRenderedPair<kAnyInactive>(block, from, measured, counts, k + 2,
                                        _mm_div_pd(SinglesPair(sums + k + 2), divisor));
    }
    for (; k < count; ++k) {
        const int32_t at = from + k;
        block.out[at] = Rendered(
            counts[k] != 0.0, [&] { return SmoothedOf(sums[k], window); }, measured.depth_eff[k], block.offset[at],
            block.in[at]);
    }
}

// The square: while the smoother runs (after its first step), its sums are taken one group behind the
// count's chain, so that the two chains overlap; then the averages and outputs four at a time. Until
// then, a local copy of the smoother, which no output store can alias, one sample at a time.
inline void ModulatedLoop(const SquareWave& wave, const Block& block, const ExactTables& tables, int32_t from,
                          int32_t count, Cycle& cycle) {
    SquareSmoother local = *wave.smoother;
    if (!local.Running()) {
        RenderModulated(block, tables, from, count, cycle, SquareWave{&local});
        *wave.smoother = local;
        return;
    }
    Counted counted;
    alignas(16) float sums[kStretch];
    VEXLO_COUNT_PATH(SquareFollower);
    SquareFollower follower(counted, local, sums);
    MeasureAndCount(block, tables, from, count, cycle, counted, follower);
    follower.Finish();
    *wave.smoother = local;
    ByInactiveSamples(counted, [&](auto any_inactive) {
        SquareOutputs<any_inactive()>(block, from, counted, sums, local.window, count);
    });
}

}  // namespace

}  // namespace vexlo

#endif  // VEXLO_WAVES_SQUARE_H
