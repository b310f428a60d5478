// Two doubles side by side, for the packed forms of the engine's steps. Every operator and function
// here is one SSE2 instruction (a broadcast of a constant aside, which the compiler hoists out of the
// loops), so that a step written once as a template over its number type reads the same, and takes
// the same operations in the same order, for one double and for two: each lane of a PackedDouble
// result is bit for bit what the double code gives for that lane's operands.
//
// Comparisons answer a LaneMask, all ones in each lane where they hold; Where keeps a value in those
// lanes and gives +0 in the others, and Select chooses between two values by lane. Their scalar
// counterparts for double and bool are below too, so a template body can use them on either.
#ifndef VEXLO_PACKED_DOUBLE_H
#define VEXLO_PACKED_DOUBLE_H

#include <emmintrin.h>

#include <cmath>

namespace vexlo {

struct LaneMask {
    __m128d bits;
};

struct PackedDouble {
    __m128d lanes;

    PackedDouble() = default;
    PackedDouble(__m128d value) : lanes(value) {}  // NOLINT: the lanes as they are
    // The same value in both lanes (a constant of a template body).
    PackedDouble(double value) : lanes(_mm_set1_pd(value)) {}  // NOLINT

    static PackedDouble Load(const double* at) { return _mm_loadu_pd(at); }
    void Store(double* at) const { _mm_storeu_pd(at, lanes); }
    operator __m128d() const { return lanes; }  // NOLINT
};

inline PackedDouble operator+(PackedDouble a, PackedDouble b) { return _mm_add_pd(a.lanes, b.lanes); }
inline PackedDouble operator-(PackedDouble a, PackedDouble b) { return _mm_sub_pd(a.lanes, b.lanes); }
inline PackedDouble operator*(PackedDouble a, PackedDouble b) { return _mm_mul_pd(a.lanes, b.lanes); }
inline PackedDouble operator/(PackedDouble a, PackedDouble b) { return _mm_div_pd(a.lanes, b.lanes); }
inline LaneMask operator<(PackedDouble a, PackedDouble b) { return {_mm_cmplt_pd(a.lanes, b.lanes)}; }
inline LaneMask operator>=(PackedDouble a, PackedDouble b) { return {_mm_cmpge_pd(a.lanes, b.lanes)}; }
inline LaneMask operator==(PackedDouble a, PackedDouble b) { return {_mm_cmpeq_pd(a.lanes, b.lanes)}; }

// `value` where `mask` holds, +0 elsewhere.
inline PackedDouble Where(LaneMask mask, PackedDouble value) { return _mm_and_pd(mask.bits, value.lanes); }
inline double Where(bool mask, double value) { return mask ? value : 0.0; }

// `value` where `mask` does not hold, +0 elsewhere.
inline PackedDouble WhereNot(LaneMask mask, PackedDouble value) { return _mm_andnot_pd(mask.bits, value.lanes); }
inline double WhereNot(bool mask, double value) { return mask ? 0.0 : value; }

// The lanes of two values of which, lane by lane, at least one is +0 (as Where and WhereNot give):
// the other one.
inline PackedDouble Either(PackedDouble a, PackedDouble b) { return _mm_or_pd(a.lanes, b.lanes); }

// `chosen` where `mask` holds, `other` elsewhere (Either of Where and WhereNot: three instructions).
inline PackedDouble Select(LaneMask mask, PackedDouble chosen, PackedDouble other) {
    return Either(Where(mask, chosen), WhereNot(mask, other));
}
inline double Select(bool mask, double chosen, double other) { return mask ? chosen : other; }

inline LaneMask And(LaneMask a, LaneMask b) { return {_mm_and_pd(a.bits, b.bits)}; }

// Each lane on its own: the low one is the register's scalar (no instruction), the high one moved there.
inline double Low(PackedDouble a) { return _mm_cvtsd_f64(a.lanes); }
inline double High(PackedDouble a) { return _mm_cvtsd_f64(_mm_unpackhi_pd(a.lanes, a.lanes)); }

// Bit `lane` set where the mask holds.
inline int LaneBits(LaneMask mask) { return _mm_movemask_pd(mask.bits); }

// |a|: the sign bit cleared.
inline PackedDouble Magnitude(PackedDouble a) {
    return _mm_and_pd(a.lanes, _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF)));
}
inline double Magnitude(double a) { return std::fabs(a); }

// Two doubles side by side, `low` in lane 0 (one shuffle).
inline PackedDouble Pair(double low, double high) { return _mm_unpacklo_pd(_mm_set_sd(low), _mm_set_sd(high)); }

}  // namespace vexlo

#endif  // VEXLO_PACKED_DOUBLE_H
