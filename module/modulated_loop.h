// The modulated path's shared pieces, for the waves' modulated loops (waves/): measuring one sample and
// four, the generic loop that renders one counted sample at a time, and the first pass of the loops
// that render four samples at a time (a stretch measured and counted, with a follower one group
// behind the count) with the output pairs they store. Internal to the module: modulated_stretch.cpp
// runs the modulated path, and each wave file holds its own modulated loop and its proof.
//
// Internal linkage, as held_loop.h has and for its reason: each piece is inlined into the one
// modulated loop it serves.
#ifndef VEXLO_MODULATED_LOOP_H
#define VEXLO_MODULATED_LOOP_H

#include <emmintrin.h>
#include <xmmintrin.h>

#include <cstdint>
#include <type_traits>

#include "engine_steps.h"
#include "measure_lanes.h"
#include "oscillator_definition.h"
#include "packed_double.h"
#include "packed_int32.h"
#include "path_counters.h"
#include "single_pairs.h"

namespace vexlo {

namespace {

// The output of one counted sample: OutputOf at the wave's value, which value() answers and is asked
// only for an active sample, or InactiveOutput when the sample is inactive.
template <class Value>
VEXLO_PER_SAMPLE float Rendered(bool active, Value&& value, float depth_eff, float offset, float in) {
    if (!active) return InactiveOutput(offset, in);
    return OutputOf(value(), depth_eff, offset, in);
}

// RenderModulated's output for one counted sample, at its position (-1 when it is inactive).
template <class Wave>
VEXLO_PER_SAMPLE float Rendered(const Wave& wave, int32_t position, int32_t period, double inverse, float depth_eff,
                                float offset, float in) {
    return Rendered(
        position >= 0, [&] { return wave.At(position, period, inverse); }, depth_eff, offset, in);
}

// Measuring has no chain from sample to sample, so its divisions overlap freely; the count's short
// chain then runs beside the rendering (whose square smoother has a chain of its own). Under
// modulation nearly every sample has a new period and phase offset, so nothing is remembered from one
// sample to the next.
template <class Wave>
void RenderModulated(const Block& block, const ExactTables& tables, int32_t from, int32_t count, Cycle& cycle,
                     Wave wave) {
    VEXLO_COUNT_PATH(RenderModulated);
    Measured measured;
    Measure(block, from, count, tables.rate(), measured);
    CountChain chain = CountChain::From(cycle);
    for (int32_t k = 0; k < count; ++k) {
        const int32_t at = from + k;
        const int32_t period = measured.period[k];
        const int32_t position = chain.Step(measured, k);
        block.out[at] = Rendered(wave, position, period, measured.inverse[k], measured.depth_eff[k], block.offset[at],
                                 block.in[at]);
    }
    cycle = chain.ToCycle();
}

// Every wave without a modulated loop of its own: one counted sample at a time.
template <class Wave>
void ModulatedLoop(const Wave& wave, const Block& block, const ExactTables& tables, int32_t from, int32_t count,
                   Cycle& cycle) {
    RenderModulated(block, tables, from, count, cycle, wave);
}

// A stretch measured and counted: the first pass of the paths that render four samples at a time.
struct Counted {
    Measured measured;
    alignas(16) double counts[kStretch];  // CountChain::Count's answers
    bool any_inactive;                    // whether any of them is 0
};

// The output step for a counted stretch's samples, two at a time: OutputBeforeRounding of their waves,
// and InactiveBeforeRounding in the lanes whose count is 0 (inactive), each rounded to single once and
// stored, two lanes per instruction. Under modulation a pair with an inactive lane is rare, and only
// such a pair forms the inactive outputs. Made once per pass, so that its loop keeps the buffers'
// addresses (from the stretch's first sample) in registers rather than reloading them from the block.
template <bool kAnyInactive>
class RenderedPairs {
public:
    RenderedPairs(const Block& block, int32_t from, const Counted& counted)
        : m_offset(block.offset + from),
          m_in(block.in + from),
          m_out(block.out + from),
          m_depth_eff(counted.measured.depth_eff),
          m_counts(counted.counts) {}

    // Samples k and k + 1, whose waves are `waves`.
    VEXLO_PER_SAMPLE void Store(int32_t k, __m128d waves) const {
        const __m128d offset = SinglesPair(m_offset + k);
        const __m128d in = SinglesPair(m_in + k);
        PackedDouble out = OutputBeforeRounding<PackedDouble>(waves, SinglesPair(m_depth_eff + k), offset, in);
        if constexpr (kAnyInactive) {
            const LaneMask inactive = PackedDouble(_mm_load_pd(m_counts + k)) == PackedDouble(0.0);
            if (LaneBits(inactive) != 0) out = Select(inactive, InactiveBeforeRounding<PackedDouble>(offset, in), out);
        }
        StorePair(m_out + k, out);
    }

private:
    const float* m_offset;
    const float* m_in;
    float* m_out;
    const float* m_depth_eff;
    const double* m_counts;  // CountChain::Count's answers
};

// The masks of four lanes' inactive samples (a count of 0), or none where the stretch has none.
template <bool kAnyInactive>
VEXLO_PER_SAMPLE Int32Mask InactiveLanesIf(const double* counts) {
    if constexpr (!kAnyInactive) return {_mm_setzero_si128()};
    return Narrowed(PackedDouble::Load(counts) == PackedDouble(0.0), PackedDouble::Load(counts + 2) == PackedDouble(0.0));
}

// Calls render with std::true_type where the stretch has an inactive sample and std::false_type where
// it has none, so that each rendering pass is compiled for both.
template <class Render>
void ByInactiveSamples(const Counted& counted, Render render) {
    if (counted.any_inactive) {
        render(std::true_type{});
    } else {
        render(std::false_type{});
    }
}

// The positions of samples at and at + 1 of a counted stretch, and their P as doubles in `whole`.
VEXLO_PER_SAMPLE __m128d PositionPairAt(const Counted& counted, int32_t at, __m128d& whole) {
    whole = _mm_loadu_pd(counted.measured.whole + at);
    return PositionOfCounted<PackedDouble>(_mm_load_pd(counted.counts + at),
                                           _mm_loadu_pd(counted.measured.offset_less_one + at), whole);
}

// Whether IsDecided holds for each of `count` products (a multiple of 4, 16-byte aligned): its body,
// two products at a time, four per pass.
VEXLO_PER_SAMPLE bool AllDecided(const double* products, int32_t count) {
    LaneMask decided{_mm_castsi128_pd(_mm_set1_epi32(-1))};
    for (int32_t k = 0; k < count; k += 4) {
        decided = And(decided, And(DecidedOf(PackedDouble(_mm_load_pd(products + k))),
                                   DecidedOf(PackedDouble(_mm_load_pd(products + k + 2)))));
    }
    return LaneBits(decided) == 0x3;
}

// Whether measured samples k .. k + 3 are all active: no period of 0.
VEXLO_PER_SAMPLE bool AllActiveAt(const Measured& measured, int32_t k) {
    return LaneBits(PackedInt32::Load(measured.period + k) == PackedInt32(0)) == 0;
}

// What runs one group behind the count: nothing for the sine and triangle.
struct NoFollower {
    void Restart() {}
    void operator()(int32_t, int32_t, bool) {}
};

// Measures and counts a stretch. `follow(k, n, all_active)` is called for samples k .. k + n - 1 in
// order, once their counts are known, one group of four behind the counting so that its own chain
// overlaps the count's; `all_active` is true when n is 4 and all four samples are active. When the
// counting has to be taken again, follow.Restart() is called and every group followed again.
template <class Follower = NoFollower>
void MeasureAndCount(const Block& block, const ExactTables& tables, int32_t from, int32_t count, Cycle& cycle,
                     Counted& counted, Follower&& follow = NoFollower{}) {
    VEXLO_COUNT_PATH(MeasureAndCount);
    Measured& measured = counted.measured;
    const MeasureConstants<FourLanes> constants(block, tables.rate());
    const CountChain start = CountChain::From(cycle);
    CountChain chain = start;
    const auto count_one = [&](int32_t k) {
        counted.counts[k] = chain.Count(measured.period[k], measured.whole[k], measured.inverse[k]);
    };
    // Each group of four is counted while the next is measured: the chain's latency and the measuring's
    // divisions overlap instead of following one another. A group whose samples are all active carries
    // the chain alone and leaves its products to be tested afterwards (0, always decided, for the
    // others); if any fails, those groups are all counted again with every test in place. The last one to
    // three samples are counted with every test from the start.
    const int32_t grouped = count / 4 * 4;
    alignas(16) double products[kStretch];
    int active = 0xF;
    // Group k, measured earlier, whose samples are active as `group_active`'s bits.
    const auto count_group = [&](int32_t k, int group_active) {
        active &= group_active;
        if (group_active == 0xF) {
            double counts[4];
#pragma GCC unroll 4
            for (int32_t lane = 0; lane < 4; ++lane) {
                counts[lane] = chain.CountActive(measured.whole[k + lane], measured.inverse[k + lane], products[k + lane]);
            }
            Pair(counts[0], counts[1]).Store(counted.counts + k);
            Pair(counts[2], counts[3]).Store(counted.counts + k + 2);
            chain.previous_period = measured.period[k + 3];
        } else {
            for (int32_t lane = 0; lane < 4; ++lane) {
                count_one(k + lane);
                products[k + lane] = 0.0;
            }
        }
    };
    // The first group, then in each pass the next measured, one counted and the one before followed,
    // then the last group and the last two followed; written out so that the passes test nothing but
    // their end.
    if (grouped > 0) {
        int group_active = MeasureFour(block, from, constants, measured, 0);
        int previous_active = 0;
        int32_t k = 0;
        if (grouped > 4) {
            const int next_active = MeasureFour(block, from + 4, constants, measured, 4);
            count_group(0, group_active);
            previous_active = group_active;
            group_active = next_active;
            for (k = 4; k + 4 < grouped; k += 4) {
                const int next = MeasureFour(block, from + k + 4, constants, measured, k + 4);
                count_group(k, group_active);
                follow(k - 4, 4, previous_active == 0xF);
                previous_active = group_active;
                group_active = next;
            }
        }
        count_group(k, group_active);
        if (k >= 4) follow(k - 4, 4, previous_active == 0xF);
        follow(k, 4, group_active == 0xF);
    }
    VEXLO_COUNT_PATH(AllDecided);
    if (!AllDecided(products, grouped)) {
        VEXLO_COUNT_PATH(CountedAgain);
        chain = start;
        for (int32_t k = 0; k < grouped; ++k) count_one(k);
        follow.Restart();
        for (int32_t k = 0; k < grouped; k += 4) follow(k, 4, AllActiveAt(measured, k));
    }
    bool any_inactive = active != 0xF;
    for (int32_t k = grouped; k < count; ++k) {
        MeasureOne(block, from + k, tables.rate(), measured, k);
        any_inactive = any_inactive || measured.period[k] == 0;
        count_one(k);
    }
    if (grouped < count) follow(grouped, count - grouped, false);
    counted.any_inactive = any_inactive;
    cycle = chain.ToCycle();
}

}  // namespace

}  // namespace vexlo

#endif  // VEXLO_MODULATED_LOOP_H
