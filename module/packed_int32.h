// Four 32-bit whole numbers side by side, for the packed forms of the engine's steps on periods and
// phase offsets, in the style of packed_double.h: every operator and function here is one SSE2
// instruction (a broadcast of a constant aside), and each has a scalar counterpart for int32_t and bool.
#ifndef VEXLO_PACKED_INT32_H
#define VEXLO_PACKED_INT32_H

#include <emmintrin.h>

#include <cstdint>

#include "packed_single.h"

namespace vexlo {

// All ones in each lane where a comparison of PackedInt32s holds.
struct Int32Mask {
    __m128i bits;
};

struct PackedInt32 {
    __m128i lanes;

    PackedInt32() = default;
    PackedInt32(__m128i value) : lanes(value) {}  // NOLINT: the lanes as they are
    // The same value in every lane (a constant of a template body).
    PackedInt32(int32_t value) : lanes(_mm_set1_epi32(value)) {}  // NOLINT

    static PackedInt32 Load(const int32_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }
    void Store(int32_t* at) const { _mm_storeu_si128(reinterpret_cast<__m128i*>(at), lanes); }
};

// Lane by lane, wrapping as two's complement (the callers' values never leave 32 bits).
inline PackedInt32 operator+(PackedInt32 a, PackedInt32 b) { return _mm_add_epi32(a.lanes, b.lanes); }
inline PackedInt32 operator-(PackedInt32 a, PackedInt32 b) { return _mm_sub_epi32(a.lanes, b.lanes); }
inline PackedInt32 operator&(PackedInt32 a, PackedInt32 b) { return _mm_and_si128(a.lanes, b.lanes); }
// Shifts of every lane by one count (0 .. 31), as int32_t's: the right shift keeps the sign. Besides the
// shift, the count's move into a register, like a broadcast hoisted out of loops where it is fixed.
inline PackedInt32 operator<<(PackedInt32 a, int32_t bits) { return _mm_sll_epi32(a.lanes, _mm_cvtsi32_si128(bits)); }
inline PackedInt32 operator>>(PackedInt32 a, int32_t bits) { return _mm_sra_epi32(a.lanes, _mm_cvtsi32_si128(bits)); }
inline Int32Mask operator==(PackedInt32 a, PackedInt32 b) { return {_mm_cmpeq_epi32(a.lanes, b.lanes)}; }
inline Int32Mask operator<(PackedInt32 a, PackedInt32 b) { return {_mm_cmplt_epi32(a.lanes, b.lanes)}; }
inline Int32Mask operator>(PackedInt32 a, PackedInt32 b) { return {_mm_cmpgt_epi32(a.lanes, b.lanes)}; }

// a < b with both taken as unsigned 32-bit numbers: the signed comparison with each sign bit flipped
// (three instructions, the flip of a constant b hoisted out of loops).
inline Int32Mask UnsignedLess(PackedInt32 a, PackedInt32 b) {
    const __m128i sign = _mm_set1_epi32(INT32_MIN);
    return {_mm_cmplt_epi32(_mm_xor_si128(a.lanes, sign), _mm_xor_si128(b.lanes, sign))};
}
inline bool UnsignedLess(int32_t a, int32_t b) { return static_cast<uint32_t>(a) < static_cast<uint32_t>(b); }
inline Int32Mask And(Int32Mask a, Int32Mask b) { return {_mm_and_si128(a.bits, b.bits)}; }

// `value` where `mask` holds, 0 elsewhere; the mask of a comparison of singles serves lane for lane.
inline PackedInt32 Where(Int32Mask mask, PackedInt32 value) { return _mm_and_si128(mask.bits, value.lanes); }
inline PackedInt32 Where(SingleMask mask, PackedInt32 value) {
    return _mm_and_si128(_mm_castps_si128(mask.bits), value.lanes);
}
inline int32_t Where(bool mask, int32_t value) { return mask ? value : 0; }
// `value` where `mask` does not hold, 0 elsewhere.
inline PackedInt32 WhereNot(Int32Mask mask, PackedInt32 value) { return _mm_andnot_si128(mask.bits, value.lanes); }

// -1 where `mask` holds, 0 elsewhere: the mask itself.
inline PackedInt32 MinusOneWhere(Int32Mask mask) { return mask.bits; }
inline int32_t MinusOneWhere(bool mask) { return mask ? -1 : 0; }

// Bit `lane` set where the mask holds.
inline int LaneBits(Int32Mask mask) { return _mm_movemask_ps(_mm_castsi128_ps(mask.bits)); }

}  // namespace vexlo

#endif  // VEXLO_PACKED_INT32_H
