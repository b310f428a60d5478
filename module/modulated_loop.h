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

// Four 64-bit-lane masks of two pairs as four 32-bit-lane masks.
VEXLO_PER_SAMPLE __m128i NarrowedMasks(__m128d low, __m128d high) {
    return _mm_castps_si128(_mm_shuffle_ps(_mm_castpd_ps(low), _mm_castpd_ps(high), _MM_SHUFFLE(2, 0, 2, 0)));
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

// The outputs of samples k and k + 1 of a stretch starting at block sample `from`, from their waves:
// OutputBeforeRounding, and InactiveBeforeRounding in the lanes whose count is 0 (inactive), each
// rounded to single once and stored, two lanes per instruction. Under modulation a pair with an
// inactive lane is rare, and only such a pair forms the inactive outputs.
template <bool kAnyInactive>
VEXLO_PER_SAMPLE void StoreRenderedPair(const Block& block, int32_t from, const Measured& measured,
                                        const double* counts, int32_t k, __m128d waves) {
    const int32_t at = from + k;
    const __m128d offset = SinglesPair(block.offset + at);
    const __m128d in = SinglesPair(block.in + at);
    PackedDouble out = OutputBeforeRounding<PackedDouble>(waves, SinglesPair(measured.depth_eff + k), offset, in);
    if constexpr (kAnyInactive) {
        const LaneMask inactive = PackedDouble(_mm_load_pd(counts + k)) == PackedDouble(0.0);
        if (LaneBits(inactive) != 0) out = Select(inactive, InactiveBeforeRounding<PackedDouble>(offset, in), out);
    }
    StorePair(block.out + at, out);
}

// A stretch measured and counted: the first pass of the paths that render four samples at a time.
struct Counted {
    Measured measured;
    alignas(16) double counts[kStretch];  // CountChain::Count's answers
    bool any_inactive;                    // whether any of them is 0
};

// The masks of four lanes' inactive samples, or none where the stretch has none.
template <bool kAnyInactive>
VEXLO_PER_SAMPLE __m128i InactiveLanesIf(const double* counts) {
    if constexpr (!kAnyInactive) return _mm_setzero_si128();
    const __m128d zero = _mm_setzero_pd();
    return NarrowedMasks(_mm_cmpeq_pd(_mm_load_pd(counts), zero), _mm_cmpeq_pd(_mm_load_pd(counts + 2), zero));
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

// Whether IsDecided holds for each of `count` products (a multiple of 2, 16-byte aligned): its body,
// two products at a time.
bool AllDecided(const double* products, int32_t count) {
    LaneMask decided{_mm_castsi128_pd(_mm_set1_epi32(-1))};
    for (int32_t k = 0; k < count; k += 2) decided = And(decided, DecidedOf(PackedDouble(_mm_load_pd(products + k))));
    return LaneBits(decided) == 0x3;
}

// What runs one group behind the count: nothing for the sine and triangle.
struct NoFollower {
    void Restart() {}
    void operator()(int32_t, int32_t) {}
};

// Measures and counts a stretch. `follow(k, n)` is called for samples k .. k + n - 1 in order, once
// their counts are known, one group of four behind the counting so that its own chain overlaps the
// count's; when the counting has to be taken again, follow.Restart() is called and every group followed
// again.
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
    int group_active = grouped > 0 ? MeasureFour(block, from, constants, measured, 0) : 0xF;
    for (int32_t k = 0; k < grouped; k += 4) {
        active &= group_active;
        const int next_active = k + 4 < grouped ? MeasureFour(block, from + k + 4, constants, measured, k + 4) : 0xF;
        if (group_active == 0xF) {
            for (int32_t lane = 0; lane < 4; ++lane) {
                counted.counts[k + lane] =
                    chain.CountActive(measured.whole[k + lane], measured.inverse[k + lane], products[k + lane]);
            }
            chain.previous_period = measured.period[k + 3];
        } else {
            for (int32_t lane = 0; lane < 4; ++lane) {
                count_one(k + lane);
                products[k + lane] = 0.0;
            }
        }
        if (k >= 4) follow(k - 4, 4);
        group_active = next_active;
    }
    if (grouped >= 4) follow(grouped - 4, 4);
    VEXLO_COUNT_PATH(AllDecided);
    if (!AllDecided(products, grouped)) {
        VEXLO_COUNT_PATH(CountedAgain);
        chain = start;
        for (int32_t k = 0; k < grouped; ++k) count_one(k);
        follow.Restart();
        for (int32_t k = 0; k < grouped; k += 4) follow(k, 4);
    }
    bool any_inactive = active != 0xF;
    for (int32_t k = grouped; k < count; ++k) {
        MeasureOne(block, from + k, tables.rate(), measured, k);
        any_inactive = any_inactive || measured.period[k] == 0;
        count_one(k);
    }
    if (grouped < count) follow(grouped, count - grouped);
    counted.any_inactive = any_inactive;
    cycle = chain.ToCycle();
}

}  // namespace

}  // namespace vexlo

#endif  // VEXLO_MODULATED_LOOP_H
