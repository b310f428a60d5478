// Four singles side by side, for the packed forms of the engine's steps on single-precision values, in
// the style of packed_double.h: every operator and function here is one SSE instruction (a broadcast of
// a constant aside, which the compiler hoists out of the loops), and each has a scalar counterpart for
// float and bool, so that a step written once as a template over its number type takes the same
// operations in the same order for one sample and for four.
#ifndef VEXLO_PACKED_SINGLE_H
#define VEXLO_PACKED_SINGLE_H

#include <xmmintrin.h>

#include <cmath>

namespace vexlo {

// All ones in each lane where a comparison of PackedSingles holds.
struct SingleMask {
    __m128 bits;
};

struct PackedSingle {
    __m128 lanes;

    PackedSingle() = default;
    PackedSingle(__m128 value) : lanes(value) {}  // NOLINT: the lanes as they are
    // The same value in every lane (a constant of a template body).
    PackedSingle(float value) : lanes(_mm_set1_ps(value)) {}  // NOLINT

    static PackedSingle Load(const float* at) { return _mm_loadu_ps(at); }
    void Store(float* at) const { _mm_storeu_ps(at, lanes); }
};

inline PackedSingle operator*(PackedSingle a, PackedSingle b) { return _mm_mul_ps(a.lanes, b.lanes); }
inline SingleMask operator>(PackedSingle a, PackedSingle b) { return {_mm_cmpgt_ps(a.lanes, b.lanes)}; }
inline SingleMask operator>=(PackedSingle a, PackedSingle b) { return {_mm_cmpge_ps(a.lanes, b.lanes)}; }
inline SingleMask operator==(PackedSingle a, PackedSingle b) { return {_mm_cmpeq_ps(a.lanes, b.lanes)}; }

// a where a > b, else b: b also where either is not a number, and where both are zeros.
inline PackedSingle Max(PackedSingle a, PackedSingle b) { return _mm_max_ps(a.lanes, b.lanes); }
inline float Max(float a, float b) { return a > b ? a : b; }
// a where a < b, else b: b also where either is not a number.
inline PackedSingle Min(PackedSingle a, PackedSingle b) { return _mm_min_ps(a.lanes, b.lanes); }
inline float Min(float a, float b) { return a < b ? a : b; }

// |a|: the sign bit cleared.
inline PackedSingle Magnitude(PackedSingle a) {
    return _mm_and_ps(a.lanes, _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF)));
}
inline float Magnitude(float a) { return std::fabs(a); }

inline SingleMask And(SingleMask a, SingleMask b) { return {_mm_and_ps(a.bits, b.bits)}; }
inline bool And(bool a, bool b) { return a && b; }

// `value` where `mask` does not hold, +0 elsewhere.
inline PackedSingle WhereNot(SingleMask mask, PackedSingle value) { return _mm_andnot_ps(mask.bits, value.lanes); }

// Bit `lane` set where the mask holds.
inline int LaneBits(SingleMask mask) { return _mm_movemask_ps(mask.bits); }
inline int LaneBits(bool mask) { return mask ? 1 : 0; }

}  // namespace vexlo

#endif  // VEXLO_PACKED_SINGLE_H
