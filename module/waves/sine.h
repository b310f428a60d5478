// The sine wave: the table's entry at the position's index. Value takes the index as defined
// (SineIndexOf's division); At the multiplied index, the same while products are exact (sine_index.h).
#ifndef VEXLO_WAVES_SINE_H
#define VEXLO_WAVES_SINE_H

#include <emmintrin.h>
#include <xmmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "assume.h"
#include "held_loop.h"
#include "lane_widths.h"
#include "modulated_loop.h"
#include "oscillator_definition.h"
#include "path_counters.h"
#include "shared_sine_table.h"
#include "sine_index.h"
#include "split_sine.h"
#include "waves/wave_sources.h"

namespace vexlo {

struct SineWave {
    static constexpr int16_t kSelector = 0;
    static constexpr const char* kName = "sine";  // in the Wave pin's list
    static SineWave Made(const WaveSources& sources) {
        const SplitSine split = paths::SineTableReadsForced() ? SplitSine{} : SplitSineOf(sources.sine_table);
        return {sources.sine_table, sources.table_length, split};
    }

    const float* table;
    int32_t length;
    SplitSine split;  // the table's split, where it gives every entry (empty otherwise)

    VEXLO_PER_SAMPLE double Value(int32_t position, int32_t period) const {
        return SineValue(table, length, position, period);
    }
    VEXLO_PER_SAMPLE double At(int32_t position, int32_t period, double inverse) const {
        return table[SineIndexMultiplied(length, position, period, inverse)];
    }
};

// Held: Freq and Phase keep their bits (held_stretch.cpp).

namespace {

// One class of the residue order per second of the table's cycle, so that each holds R entries.
static_assert(kResidueClasses == kTableSecondsPerCycle);

// The sine-table indexes of the n positions after held.position into index[0, n), for P >= 8, or with
// kByResidue their addresses in the residue order (N a multiple of 30); up to seven entries beyond n
// are written too (index has room for n + 7). Each run of positions without a wrap steps eight
// positions on at once, in two sets of four lanes: the run's first eight indexes one by one, then
// quotient and remainder eight positions on per step. The two sets do not depend on each other, so
// their steps overlap (one set's chain of add, compare, mask and subtract would bound the loop). In the
// residue order the address of index i = 30c + r is r x N / 30 + c; it follows the index's steps
// exactly: adding 30 dc + dr to the index adds dr x N / 30 + dc to the address, and when r + dr
// reaches 30 (it stays below 60), r loses 30 and c gains one, which adds 1 - N.
template <bool kByResidue>
void SteppedIndexes(int32_t length, const HeldSamples& held, int32_t* index, int32_t n) {
    if constexpr (kByResidue) {
        VEXLO_COUNT_PATH(SteppedIndexesByResidue);
    } else {
        VEXLO_COUNT_PATH(SteppedIndexes);
    }
    VEXLO_ASSUME(8 <= held.period && held.period <= length && ExactProducts(length));
    VEXLO_ASSUME(0 <= n && n <= kStretch);
    constexpr int32_t kLanes = 8;
    const int32_t period = held.period;
    // N = Q x P + S, and 8S = A x P + B. Here P <= N < 2^27, so 8S, 8Q + A and r + B stay well inside
    // 32 bits.
    const int32_t quotient = length / period;
    const int32_t rest = length % period;
    const int32_t eight_on = kLanes * quotient + kLanes * rest / period;
    const PackedInt32 eight_on_index(eight_on);
    const PackedInt32 eight_on_rest(kLanes * rest % period);
    const PackedInt32 whole(period);
    const int32_t class_length = length / kResidueClasses;
    const __m128i eight_on_residue = _mm_set1_epi32(eight_on % kResidueClasses);
    const __m128i eight_on_address =
        _mm_set1_epi32(eight_on % kResidueClasses * class_length + eight_on / kResidueClasses);
    const __m128i next_class = _mm_set1_epi32(class_length);
    const __m128i last_residue = _mm_set1_epi32(kResidueClasses - 1);
    const __m128i classes = _mm_set1_epi32(kResidueClasses);
    const __m128i class_wrap = _mm_set1_epi32(1 - length);

    // Four lanes' index (or address), remainder and residue class, stepped eight positions on.
    struct Lanes {
        PackedInt32 index, remainder, residue;
    };
    const auto eight_on_of = [&](Lanes& lanes) {
        if constexpr (kByResidue) {
            const __m128i carry = StepRemainderOn(lanes.remainder, eight_on_rest, whole).bits;
            lanes.index =
                _mm_add_epi32(_mm_add_epi32(lanes.index.lanes, eight_on_address), _mm_and_si128(carry, next_class));
            lanes.residue = _mm_sub_epi32(_mm_add_epi32(lanes.residue.lanes, eight_on_residue), carry);
            const __m128i wrap = _mm_cmpgt_epi32(lanes.residue.lanes, last_residue);
            lanes.residue = _mm_sub_epi32(lanes.residue.lanes, _mm_and_si128(wrap, classes));
            lanes.index = _mm_add_epi32(lanes.index.lanes, _mm_and_si128(wrap, class_wrap));
        } else {
            StepIndexOn(lanes.index, lanes.remainder, eight_on_index, eight_on_rest, whole);
        }
    };

    int32_t position = held.position;
    for (int32_t done = 0; done < n;) {
        // A run of positions from the next one up to the end of the period (or of the stretch).
        position = NextPosition(position, period);
        const int32_t run = std::min(n - done, period - position);

        // The indexes of the run's first eight positions, one by one (with P >= 8 they are in the
        // period, but lanes beyond the run are overwritten by the next run or lie past n).
        alignas(16) int32_t lane_index[kLanes];
        alignas(16) int32_t lane_rest[kLanes];
        alignas(16) int32_t lane_residue[kLanes];
        SineStep step = SineStep::At(length, position, period, held.inverse);
        for (int32_t lane = 0; lane < kLanes; ++lane) {
            lane_index[lane] = kByResidue ? ResidueAddress(length, step.index) : step.index;
            lane_rest[lane] = step.rest;
            lane_residue[lane] = kByResidue ? step.index % kResidueClasses : 0;
            StepIndexOn(step.index, step.rest, quotient, rest, period);
        }
        const auto load = [](const int32_t* at) { return PackedInt32::Load(at); };
        Lanes low{load(lane_index), load(lane_rest), load(lane_residue)};
        Lanes high{load(lane_index + 4), load(lane_rest + 4), load(lane_residue + 4)};
        for (int32_t k = 0; k < run; k += kLanes) {
            low.index.Store(index + done + k);
            high.index.Store(index + done + k + 4);
            eight_on_of(low);
            eight_on_of(high);
        }
        done += run;
        position += run - 1;
    }
}

// OutputOf for In = 1, an Offset of zero (of either sign) and a finite DepthEff, four samples per
// single-precision multiply. Why it equals OutputOf: w and DepthEff are singles, so their
// product p (48 significant bits) is exact in double, and multiplying by In = 1 changes nothing.
// Adding Offset = -0 changes no value, so the literal output is p rounded once to single, which is
// what the single multiply gives. Adding +0 changes only an exact zero: p is +-0 exactly when w is 0
// (DepthEff is not 0 in an active sample, and finite), and then the literal output is +0; every other
// p is unchanged, and rounded once as before (a p that rounds to -0 in single stays -0 in double too).
inline void UnitGainOutputs(const float* table, const int32_t* index, const HeldGains& gains, float* out, int32_t n) {
    VEXLO_COUNT_PATH(UnitGainOutputs);
    VEXLO_ASSUME(gains.in == 1.0 && gains.offset == 0.0 && std::isfinite(gains.depth_eff) && gains.depth_eff != 0.0);
    const float depth_eff = static_cast<float>(gains.depth_eff);  // a single's value, as HeldGains holds it
    const float offset = static_cast<float>(gains.offset);
    const PackedSingle depth(depth_eff);
    // All ones when a zero wave gives +0 (Offset +0), none when it keeps the product's sign (Offset -0).
    const SingleMask plus_zero{std::signbit(offset) ? _mm_setzero_ps() : _mm_castsi128_ps(_mm_set1_epi32(-1))};
    int32_t k = 0;
    for (; k + 4 <= n; k += 4) {
        const PackedSingle waves =
            _mm_setr_ps(table[index[k]], table[index[k + 1]], table[index[k + 2]], table[index[k + 3]]);
        WhereNot(And(waves == PackedSingle(0.0f), plus_zero), waves * depth).Store(out + k);
    }
    for (; k < n; ++k) out[k] = gains.Output(k, table[index[k]]);
}

// The sine, in two passes: first the table indexes of all n positions, eight at a time (see "Stepping"
// in sine_index.h), then the reads and outputs, a pair of doubles at a time. Kept apart, each loop
// holds its constants in registers, and the reads, which mostly miss the first-level cache, depend on
// nothing but the index array, so many of them are in flight at once.
// Short periods, whose runs are too short to gain from it, take the stepwise loop.
template <class Gains>
void HeldLoop(const SineWave& wave, const HeldSamples& held, const Gains& gains, float* out, int32_t n) {
    constexpr int32_t kShortestStepped = 16;
    if (held.period < kShortestStepped) {
        HeldLoopStepwise(wave, held, gains, out, n);
        return;
    }
    alignas(16) int32_t index[kStretch + 8];
    const bool by_residue = DenserByResidue(wave.length, held.period);
    if (by_residue) {
        SteppedIndexes<true>(wave.length, held, index, n);
    } else {
        SteppedIndexes<false>(wave.length, held, index, n);
    }

    const float* const table = by_residue ? ResidueOrder(wave.table, wave.length) : wave.table;
    if constexpr (std::is_same_v<Gains, HeldGains>) {
        if (gains.in == 1.0 && gains.offset == 0.0 && std::isfinite(gains.depth_eff)) {
            UnitGainOutputs(table, index, gains, out, n);
            return;
        }
    }
    VEXLO_COUNT_PATH(HeldSineOutputs);
    int32_t k = 0;
    for (; k + 4 <= n; k += 4) {
        StorePair(out + k, gains.Pair(k, SinglesPair(table[index[k]], table[index[k + 1]])));
        StorePair(out + k + 2, gains.Pair(k + 2, SinglesPair(table[index[k + 2]], table[index[k + 3]])));
    }
    for (; k < n; ++k) out[k] = gains.Output(k, table[index[k]]);
}

// Modulated: Freq or Phase moves (ModulatedLoop, below; modulated_stretch.cpp runs it).

// Where the modulated sine takes its entries from, in two passes: first what it keeps of each sample's
// table index (Keep, four at a time, or KeepOne), then the entries of two samples from what was kept
// (Pair, as doubles) or of one (One).

// The table itself: the indexes are kept, and each entry is asked for from memory as soon as its index
// is known, so that the reads, mostly misses under modulation, are all in flight before the first is
// needed.
struct TableEntries {
    const float* table;

    VEXLO_PER_SAMPLE void Keep(int32_t* kept, int32_t k, __m128i indexes) const {
        _mm_store_si128(reinterpret_cast<__m128i*>(kept + k), indexes);
        for (int32_t lane = 0; lane < 4; ++lane) Fetch(kept[k + lane]);
    }
    VEXLO_PER_SAMPLE void KeepOne(int32_t* kept, int32_t k, int32_t index) const {
        kept[k] = index;
        Fetch(index);
    }
    VEXLO_PER_SAMPLE __m128d Pair(const int32_t* kept, int32_t k) const {
        return SinglesPair(table[kept[k]], table[kept[k + 1]]);
    }
    VEXLO_PER_SAMPLE float One(const int32_t* kept, int32_t k) const { return table[kept[k]]; }

private:
    VEXLO_PER_SAMPLE void Fetch(int32_t index) const {
        _mm_prefetch(reinterpret_cast<const char*>(table + index), _MM_HINT_T0);
    }
};

// The table's split (split_sine.h), which gives every entry where it is offered: the byte offsets of each
// index's coarse pair are kept at kept[k] and those of its fine pair at kept[kStretch + k]. Its pairs stay
// in the cache where the table's entries would be read from further out.
struct SplitEntries {
    SplitSine split;

    VEXLO_PER_SAMPLE void Keep(int32_t* kept, int32_t k, __m128i indexes) const {
        split.CoarseOffset(PackedInt32(indexes)).Store(kept + k);
        split.FineOffset(PackedInt32(indexes)).Store(kept + kStretch + k);
    }
    VEXLO_PER_SAMPLE void KeepOne(int32_t* kept, int32_t k, int32_t index) const {
        kept[k] = split.CoarseOffset(index);
        kept[kStretch + k] = split.FineOffset(index);
    }
    VEXLO_PER_SAMPLE __m128d Pair(const int32_t* kept, int32_t k) const {
        return split.Pair(kept[k], kept[kStretch + k], kept[k + 1], kept[kStretch + k + 1]);
    }
    VEXLO_PER_SAMPLE float One(const int32_t* kept, int32_t k) const { return split.At(kept[k], kept[kStretch + k]); }
};

// The table indexes of a stretch's samples from their counts (CountChain::Count's answers), four at a
// time (a last one to three as PositionOf and SineIndexMultiplied do it), each kept by `entries` as soon
// as it is known. An inactive sample gets index 0, whose entry is read and ignored.
template <bool kAnyInactive, class Entries>
void SineIndexesAhead(const Counted& counted, const SineWave& wave, int32_t count, const Entries& entries,
                      int32_t* kept) {
    VEXLO_COUNT_PATH_BY_INACTIVE(SineIndexesAhead, kAnyInactive);
    const Measured& measured = counted.measured;
    const double* const counts = counted.counts;
    const PackedDouble length(static_cast<double>(wave.length));
    const auto pair = [&](int32_t at) {
        __m128d whole;
        const __m128d position = PositionPairAt(counted, at, whole);
        return SineIndexNearest<PackedDouble>(length, position, whole, _mm_loadu_pd(measured.inverse + at));
    };
    int32_t k = 0;
    for (; k + 4 <= count; k += 4) {
        // The packed truncation of a whole-number index is the scalar one.
        const PackedInt32 indexes = Truncated(FourDoubles(pair(k), pair(k + 2)));
        entries.Keep(kept, k, WhereNot(InactiveLanesIf<kAnyInactive>(counts + k), indexes).lanes);
    }
    for (; k < count; ++k) {
        const int32_t position = PositionOfCount(counts[k], measured, k);
        entries.KeepOne(
            kept, k,
            position < 0 ? 0 : SineIndexMultiplied(wave.length, position, measured.period[k], measured.inverse[k]));
    }
}

// The outputs of a stretch's samples from what SineIndexesAhead kept, four at a time.
template <bool kAnyInactive, class Entries>
void SineOutputs(const Block& block, int32_t from, const Counted& counted, const Entries& entries, const int32_t* kept,
                 int32_t count) {
    VEXLO_COUNT_PATH_BY_INACTIVE(SineOutputs, kAnyInactive);
    const Measured& measured = counted.measured;
    const double* const counts = counted.counts;
    const RenderedPairs<kAnyInactive> rendered(block, from, counted);
    int32_t k = 0;
    // Inactive lanes read entry 0, and their output ignores it.
    for (; k + 4 <= count; k += 4) {
        rendered.Store(k, entries.Pair(kept, k));
        rendered.Store(k + 2, entries.Pair(kept, k + 2));
    }
    for (; k < count; ++k) {
        const int32_t at = from + k;
        block.out[at] = Rendered(
            counts[k] != 0.0, [&] { return entries.One(kept, k); }, measured.depth_eff[k], block.offset[at],
            block.in[at]);
    }
}

// The sine's passes after measuring and counting, from one source of entries.
template <bool kAnyInactive, class Entries>
void SineFromCounts(const Block& block, int32_t from, const Counted& counted, const SineWave& wave, int32_t count,
                    const Entries& entries) {
    alignas(16) int32_t kept[2 * kStretch];
    SineIndexesAhead<kAnyInactive>(counted, wave, count, entries, kept);
    SineOutputs<kAnyInactive>(block, from, counted, entries, kept, count);
}

// The sine: measuring and the count's chain first, then the table indexes four at a time, then the
// entries and outputs four at a time. Kept out of the chain's loop, the indexes' long conversions do not
// hold it up. The entries come from the table's split where it gives every entry, and from the table
// itself elsewhere.
inline void ModulatedLoop(const SineWave& wave, const Block& block, const ExactTables& tables, int32_t from,
                          int32_t count, Cycle& cycle) {
    Counted counted;
    MeasureAndCount(block, tables, from, count, cycle, counted);
    ByInactiveSamples(counted, [&](auto any_inactive) {
        if (wave.split) {
            VEXLO_COUNT_PATH(SplitSineEntries);
            SineFromCounts<any_inactive()>(block, from, counted, wave, count, SplitEntries{wave.split});
        } else {
            VEXLO_COUNT_PATH(SineTableEntries);
            SineFromCounts<any_inactive()>(block, from, counted, wave, count, TableEntries{wave.table});
        }
    });
}

}  // namespace

}  // namespace vexlo

#endif  // VEXLO_WAVES_SINE_H
