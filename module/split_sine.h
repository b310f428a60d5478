// The sine table's entries formed from two short tables, for reads that jump about the whole table.
//
// Entry i of a table of N is sin(angle(i)) rounded to single (shared_sine_table.h). Write i = h x M + l
// with M a power of two and 0 <= l < M, and let a = angle(h x M), b = angle(l), each by the table's own
// expression. Then sin(a + b) = sin a cos b + cos a sin b, and the split holds (sin a, cos a) for every h
// and (cos b, sin b) for every l, as doubles: about 2 sqrt(N) pairs in all, 44 KB at 48 kHz against the
// table's 5.8 MB. Under audio-rate phase modulation the indexes jump about the whole table, so nearly
// every entry read from the table is a miss in the second-level cache; the split stays within it.
//
// Why it gives the table's entries: by a check, not a proof. a + b is within a few double ulps of
// angle(i), and the products and the sum round once each, so the double result lies within about 1e-15
// of sin(angle(i)): far inside half an ulp of single, except where sin(angle(i)) lies that close to a
// point halfway between two singles, where the two can round apart. Whether any entry of a table is
// such a case is checked once, entry by entry, when the table is built (FirstEntryNotSplit), with At,
// the very operations the engine takes; a table is offered its split only when every entry agrees bit
// for bit, and the sine reads the table itself at any other. Every common rate agrees (the tests check
// several from 8 kHz to 192 kHz).
#ifndef VEXLO_SPLIT_SINE_H
#define VEXLO_SPLIT_SINE_H

#include <emmintrin.h>

#include <bit>
#include <cstdint>

#include "oscillator_definition.h"
#include "packed_int32.h"

namespace vexlo {

// The longest table a split is made for: below 2^27 entries, 16 x i fits 32 bits (the byte offsets
// below), and every table short enough for exact products (ExactProducts) is.
inline constexpr int32_t kLongestSplitTable = 1 << 27;

// log2 M for a table of `length` (1 .. kLongestSplitTable): the least M with M x M >= length, so that
// neither table is much longer than the other.
inline int32_t SplitFineBits(int32_t length) {
    int32_t bits = 0;
    while ((int64_t{1} << (2 * bits)) < length) ++bits;
    return bits;
}

// The number of coarse pairs for a table of `length`: one per h, ceil(length / M).
inline int32_t SplitCoarseCount(int32_t length, int32_t fine_bits) {
    return static_cast<int32_t>((int64_t{length} + (int64_t{1} << fine_bits) - 1) >> fine_bits);
}

struct SplitSine {
    const double* coarse = nullptr;  // (sin a, cos a) for h = 0, 1, ...; null when the table has no split
    const double* fine = nullptr;    // (cos b, sin b) for l = 0 .. M - 1
    int32_t fine_bits = 0;           // log2 M

    explicit operator bool() const { return coarse != nullptr; }

    // The byte offsets of index i's coarse and fine pairs (16 bytes each), for 0 <= i < kLongestSplitTable.
    // One body for an int32_t and for a PackedInt32 (four indexes).
    template <class Int>
    VEXLO_PER_SAMPLE Int CoarseOffset(Int i) const {
        return (i >> fine_bits) << 4;
    }
    template <class Int>
    VEXLO_PER_SAMPLE Int FineOffset(Int i) const {
        return (i << 4) & Int(((1 << fine_bits) - 1) << 4);
    }

    // The entry from its pairs' byte offsets: sin a x cos b + cos a x sin b in double, rounded to single.
    VEXLO_PER_SAMPLE float At(int32_t coarse_offset, int32_t fine_offset) const {
        const double* a = PairAt(coarse, coarse_offset);
        const double* b = PairAt(fine, fine_offset);
        return static_cast<float>(a[0] * b[0] + a[1] * b[1]);
    }
    float Entry(int32_t i) const { return At(CoarseOffset(i), FineOffset(i)); }

    // Two entries as a pair of doubles, each lane At's value widened (exactly) to double. Lane by lane
    // the same operations: one multiply gives both products of an entry, (sin a x cos b, cos a x sin b);
    // the two entries' first products and their second products are gathered into a pair each, and one
    // add sums them, then one rounding to single and one widening.
    VEXLO_PER_SAMPLE __m128d Pair(int32_t first_coarse, int32_t first_fine, int32_t second_coarse,
                                  int32_t second_fine) const {
        const __m128d first =
            _mm_mul_pd(_mm_load_pd(PairAt(coarse, first_coarse)), _mm_load_pd(PairAt(fine, first_fine)));
        const __m128d second =
            _mm_mul_pd(_mm_load_pd(PairAt(coarse, second_coarse)), _mm_load_pd(PairAt(fine, second_fine)));
        const __m128d sums = _mm_add_pd(_mm_unpacklo_pd(first, second), _mm_unpackhi_pd(first, second));
        return _mm_cvtps_pd(_mm_cvtpd_ps(sums));
    }

private:
    VEXLO_PER_SAMPLE static const double* PairAt(const double* pairs, int32_t offset) {
        return reinterpret_cast<const double*>(reinterpret_cast<const char*>(pairs) + offset);
    }
};

// The first entry of a table of `length` that `split` does not give bit for bit (-0 and +0 differ);
// -1 when it gives every one. In the default floating-point environment, as the engine runs.
inline int32_t FirstEntryNotSplit(const float* entries, int32_t length, const SplitSine& split) {
    for (int32_t i = 0; i < length; ++i) {
        if (std::bit_cast<uint32_t>(split.Entry(i)) != std::bit_cast<uint32_t>(entries[i])) return i;
    }
    return -1;
}

}  // namespace vexlo

#endif  // VEXLO_SPLIT_SINE_H
