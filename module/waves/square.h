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
#include "packed_int32.h"
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
// the settled step, sum x leak in single precision, while the sum is in the shortcut's range
// (InShortcutRange). The magnitude never grows under the leak (rounding is monotonic and the leak below
// 1), so a run that ends in the range stayed in it throughout; one that does not is taken again step
// by step. Such a run costs one multiply per
// sample, and the write slot moves on by the run's length.
template <class Gains>
void HeldLoop(const SquareWave& wave, const HeldSamples& held, const Gains& gains, float* out, int32_t n) {
    VEXLO_COUNT_PATH(HeldSquareSums);
    float sums[kStretch];
    SquareSmoother local = *wave.smoother;
    const int32_t period = held.period;
    const bool leaky = local.Running();
    int32_t position = held.position;
    SquareLevel level = SquareLevel::At(position, period);  // the level written last (the sample's before the first)
    int32_t same = 0;  // samples of that level written last in a row, at most W + 1
    for (int32_t k = 0; k < n;) {
        const int32_t next = NextPosition(position, period);
        const SquareLevel sample = SquareLevel::At(next, period);
        if (leaky && same > local.window && sample == level && InShortcutRange(local.sum)) {
            // The rest of this level: up to the half period, or up to the end of the period.
            const int32_t level_end = sample.high() ? (period + 1) / 2 : period;
            const int32_t run = std::min(n - k, level_end - next);
            float sum = local.sum;
            for (int32_t j = 0; j < run; ++j) {
                sum = SettledStep(sum);
                sums[k + j] = sum;
            }
            if (InShortcutRange(sum)) {
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

    // The averages (SmoothedOf), then OutputOf.
    VEXLO_COUNT_PATH(HeldSquareAverages);
    const PackedDouble divisor(SmoothingDivisor(local.window));
    int32_t k = 0;
    for (; k + 4 <= n; k += 4) {
        StorePair(out + k, gains.Pair(k, Smoothed<PackedDouble>(SinglesPair(sums + k), divisor)));
        StorePair(out + k + 2, gains.Pair(k + 2, Smoothed<PackedDouble>(SinglesPair(sums + k + 2), divisor)));
    }
    for (; k < n; ++k) out[k] = gains.Output(k, SmoothedOf(sums[k], local.window));
}

// Modulated: Freq or Phase moves (ModulatedLoop, below; modulated_stretch.cpp runs it).

// The square smoother's sums for a counted stretch, one group behind the count (see MeasureAndCount),
// while the smoother is in its running state (SquareSmoother::Running). The ring is not written until
// the stretch is done: the sample leaving the window at the j-th active sample of the stretch is the
// ring's slot index + 1 + j (mod W + 1) while j < W, that is a sample written before the stretch, and
// the stretch's own (j - W)-th active level after that. So the leaving samples are one sequence: the
// first min(W, kStretch) ring slots in that order (no step of the stretch reads further into the ring),
// then the stretch's levels as they are written. Finish then writes the stretch's last W + 1 levels
// where the steps one by one would have left them. Inactive samples do not step the smoother. The sum is
// held as a double (a single's value) while the stretch is followed, so that the steps of the groups of
// four need no conversion (LeakyUpdateHeldAsDouble); Finish stores it back.
class SquareFollower {
public:
    SquareFollower(const Counted& counted, SquareSmoother& smoother, double* sums)
        : m_counted(counted),
          m_smoother(smoother),
          m_start(smoother),
          m_sums(sums),
          m_sum(smoother.sum),
          m_from_ring(std::min(smoother.window, kStretch)) {
        VEXLO_ASSUME(smoother.Running());
        // The slots after the write slot, in two runs: to the ring's end, then from its start (W < W + 1,
        // so the second run ends before the first begins).
        const int32_t first = smoother.index + 1 < smoother.ring_length ? smoother.index + 1 : 0;
        const int32_t to_end = std::min(m_from_ring, smoother.ring_length - first);
        WidenSingles(smoother.ring + first, m_leaving, to_end);
        WidenSingles(smoother.ring, m_leaving + to_end, m_from_ring - to_end);
        for (int32_t j = 0; j < m_from_ring; ++j) {
            VEXLO_ASSUME(m_leaving[j] == 0.0 || m_leaving[j] == 1.0 || m_leaving[j] == -1.0);
        }
    }

    void Restart() {
        m_smoother = m_start;
        m_sum = m_start.sum;
        m_skipped = 0;
    }

    VEXLO_PER_SAMPLE void operator()(int32_t k, int32_t n, bool all_active) {
        if (all_active) {
            FourActive(k);
        } else {
            EachLane(k, n);
        }
    }

    // Whether a stretch from this smoother keeps every sum within kHeldAsDoubleLimit of 0, as FourActive
    // needs: each step adds at most 2 to the sum's magnitude (the leak is below 1), so a stretch of at
    // most kStretch steps does when its first sum is within kHeldAsDoubleLimit - 2 kStretch. (The leak
    // keeps a running sum far smaller: below W, or 2 / (1 - leak) = 20000 in magnitude.)
    static bool StartsWithinLimit(const SquareSmoother& smoother) {
        return Magnitude(static_cast<double>(smoother.sum)) <= kHeldAsDoubleLimit - 2.0 * kStretch;
    }

    // Writes the stretch's levels into the ring and moves the write slot on, as the steps would have:
    // the j-th step wrote slot index + j (mod W + 1), so the last W + 1 steps (or all, if fewer) left
    // their levels there, one slot after another; and the sum.
    // `count` is the stretch's length, every sample of which has been followed.
    void Finish(int32_t count) {
        VEXLO_COUNT_PATH(SquareFollowerFinish);
        m_smoother.sum = static_cast<float>(m_sum);
        const int32_t written = count - m_skipped;
        const int32_t length = m_start.ring_length;
        const int32_t first = written > length ? written - length : 0;
        // The slots from the first one kept, in two runs: to the ring's end, then from its start (at most
        // W + 1 levels, so the second run ends where the first began).
        const int32_t slot = static_cast<int32_t>((static_cast<int64_t>(m_start.index) + first) % length);
        const int32_t kept = written - first;
        const int32_t to_end = std::min(kept, length - slot);
        const double* const levels = m_leaving + m_from_ring + first;
        NarrowDoubles(levels, m_start.ring + slot, to_end);
        NarrowDoubles(levels + to_end, m_start.ring, kept - to_end);
        m_smoother.index = to_end < kept ? kept - to_end : (slot + kept < length ? slot + kept : 0);
    }

private:
    // Four active samples: PositionOf and the level for each, two lanes per instruction
    // (PositionOfCounted, InFirstHalf and SquareLevelPair), then each step by LeakyUpdateHeldAsDouble,
    // which needs no branch on the levels or the sum, so that no step waits on one. The first pair's
    // levels are written before the second pair's leaving samples are read, so with a window of 2 or 3
    // samples the second pair reads the first pair's levels, as the steps one by one would (W >= 2 while
    // the smoother runs, so no lane reads its own pair's). Every sum of the stretch is within
    // kHeldAsDoubleLimit of 0 (see StartsWithinLimit).
    VEXLO_PER_SAMPLE void FourActive(int32_t k) {
        VEXLO_COUNT_PATH(SquareFollowerFour);
        const double from = m_sum;
        const int32_t written = k - m_skipped;
        double* const levels = m_leaving + m_from_ring + written;
        const double* const leaving = m_leaving + written;
        const auto levels_at = [&](int32_t pair) {
            __m128d whole;
            const PackedDouble position = PositionPairAt(m_counted, k + pair, whole);
            const PackedDouble level = SquareLevelPair::FirstHalf(InFirstHalf<PackedDouble>(position, whole)).values();
            level.Store(levels + pair);
            return level;
        };
        const PackedDouble low = levels_at(0);
        const PackedDouble low_leaving = PackedDouble::Load(leaving);
        const PackedDouble high = levels_at(2);
        const PackedDouble high_leaving = PackedDouble::Load(leaving + 2);
        const double first = LeakyUpdateHeldAsDouble(from, Low(low), Low(low_leaving));
        const double second = LeakyUpdateHeldAsDouble(first, High(low), High(low_leaving));
        const double third = LeakyUpdateHeldAsDouble(second, Low(high), Low(high_leaving));
        const double fourth = LeakyUpdateHeldAsDouble(third, High(high), High(high_leaving));
        Pair(first, second).Store(m_sums + k);
        Pair(third, fourth).Store(m_sums + k + 2);
        m_sum = fourth;
    }

    // Any other group (one with an inactive sample, or the last one to three samples), lane by lane: the
    // levels by the same tests, and LeakyStep. Locals for the sum and the
    // step count, which no store into the arrays can alias.
    VEXLO_PER_SAMPLE void EachLane(int32_t k, int32_t n) {
        VEXLO_COUNT_PATH(SquareFollowerLanes);
        const Measured& measured = m_counted.measured;
        float sum = static_cast<float>(m_sum);
        int32_t written = k - m_skipped;
        for (int32_t lane = 0; lane < n; ++lane) {
            const int32_t at = k + lane;
            const int32_t position = PositionOfCount(m_counted.counts[at], measured, at);
            if (position < 0) {
                m_sums[at] = 0.0;  // read with the group, and ignored
                continue;
            }
            const SquareLevel level = SquareLevel::At(position, measured.period[at]);
            const float leaving = static_cast<float>(m_leaving[written]);
            m_leaving[m_from_ring + written++] = static_cast<double>(level.value());
            sum = LeakyStep(sum, level, leaving);
            m_sums[at] = sum;
        }
        m_sum = sum;
        m_skipped = k + n - written;
    }

    const Counted& m_counted;
    SquareSmoother& m_smoother;
    const SquareSmoother m_start;
    double* m_sums;  // each active sample's sum (a single's value)
    double m_sum;    // the sum (a single's value) after the samples followed so far; Finish stores it
    const int32_t m_from_ring;  // min(W, kStretch): the ring slots the stretch's steps can read
    // The samples leaving the window, step by step: m_from_ring slots of the ring, then the stretch's
    // levels (each a level, or the 0 of a slot never written: exact as doubles, and as singles again).
    double m_leaving[2 * kStretch];
    // Inactive samples among those followed so far, which take no step: sample k is the (k - m_skipped)-th
    // step when it is active. Changed only where a group has an inactive sample, so that the groups of
    // four active samples carry no count from one to the next.
    int32_t m_skipped = 0;
};

// The square's outputs from a stretch's sums, four at a time.
template <bool kAnyInactive>
void SquareOutputs(const Block& block, int32_t from, const Counted& counted, const double* sums, int32_t window,
                   int32_t count) {
    VEXLO_COUNT_PATH_BY_INACTIVE(SquareOutputs, kAnyInactive);
    const Measured& measured = counted.measured;
    const double* const counts = counted.counts;
    const PackedDouble divisor(SmoothingDivisor(window));
    const RenderedPairs<kAnyInactive> rendered(block, from, counted);
    int32_t k = 0;
    // SmoothedOf, two lanes per division; inactive lanes' sums are meaningless and their output ignores
    // them.
    for (; k + 4 <= count; k += 4) {
        rendered.Store(k, Smoothed<PackedDouble>(PackedDouble::Load(sums + k), divisor));
        rendered.Store(k + 2, Smoothed<PackedDouble>(PackedDouble::Load(sums + k + 2), divisor));
    }
    for (; k < count; ++k) {
        const int32_t at = from + k;
        block.out[at] = Rendered(
            counts[k] != 0.0, [&] { return SmoothedOf(static_cast<float>(sums[k]), window); }, measured.depth_eff[k], block.offset[at],
            block.in[at]);
    }
}

// The square: while the smoother runs (after its first step), its sums are taken one group behind the
// count's chain, so that the two chains overlap; then the averages and outputs four at a time. Until
// then, a local copy of the smoother, which no output store can alias, one sample at a time.
inline void ModulatedLoop(const SquareWave& wave, const Block& block, const ExactTables& tables, int32_t from,
                          int32_t count, Cycle& cycle) {
    SquareSmoother local = *wave.smoother;
    if (!local.Running() || !SquareFollower::StartsWithinLimit(local)) {
        RenderModulated(block, tables, from, count, cycle, SquareWave{&local});
        *wave.smoother = local;
        return;
    }
    Counted counted;
    alignas(16) double sums[kStretch];
    VEXLO_COUNT_PATH(SquareFollower);
    SquareFollower follower(counted, local, sums);
    MeasureAndCount(block, tables, from, count, cycle, counted, follower);
    follower.Finish(count);
    *wave.smoother = local;
    ByInactiveSamples(counted, [&](auto any_inactive) {
        SquareOutputs<any_inactive()>(block, from, counted, sums, local.window, count);
    });
}

}  // namespace

}  // namespace vexlo

#endif  // VEXLO_WAVES_SQUARE_H
