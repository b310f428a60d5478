// One sample or four, as a step written once over its number types sees them: the single, double and
// whole-number type of each width, with loads and stores, and four doubles as two PackedDoubles. A
// body templated on the width (OneLane or FourLanes) takes the same operations in the same order for
// each lane; each operation of FourLanes is one instruction per pair of lanes, and each conversion
// between the types is the scalar one lane by lane.
#ifndef VEXLO_LANE_WIDTHS_H
#define VEXLO_LANE_WIDTHS_H

#include <emmintrin.h>
#include <xmmintrin.h>

#include <cstdint>

#include "packed_double.h"
#include "packed_int32.h"
#include "packed_single.h"

namespace vexlo {

// Four doubles: lanes 0 and 1 in `low`, 2 and 3 in `high`.
struct FourDoubles {
    PackedDouble low;
    PackedDouble high;

    FourDoubles(PackedDouble low_pair, PackedDouble high_pair) : low(low_pair), high(high_pair) {}
    // The same value in every lane (a constant of a template body).
    FourDoubles(double value) : low(value), high(value) {}  // NOLINT
};

inline FourDoubles operator+(FourDoubles a, FourDoubles b) { return {a.low + b.low, a.high + b.high}; }
inline FourDoubles operator-(FourDoubles a, FourDoubles b) { return {a.low - b.low, a.high - b.high}; }
inline FourDoubles operator*(FourDoubles a, FourDoubles b) { return {a.low * b.low, a.high * b.high}; }
inline FourDoubles operator/(FourDoubles a, FourDoubles b) { return {a.low / b.low, a.high / b.high}; }

// Singles and whole numbers as doubles (exact), lane by lane.
inline FourDoubles Widened(PackedSingle a) {
    return {_mm_cvtps_pd(a.lanes), _mm_cvtps_pd(_mm_movehl_ps(a.lanes, a.lanes))};
}
inline FourDoubles Widened(PackedInt32 a) {
    return {_mm_cvtepi32_pd(a.lanes), _mm_cvtepi32_pd(_mm_shuffle_epi32(a.lanes, _MM_SHUFFLE(3, 2, 3, 2)))};
}
inline double Widened(float a) { return static_cast<double>(a); }
inline double Widened(int32_t a) { return static_cast<double>(a); }

// Four masks of double lanes (two pairs) as masks of 32-bit lanes: one shuffle.
inline Int32Mask Narrowed(LaneMask low, LaneMask high) {
    return {_mm_castps_si128(_mm_shuffle_ps(_mm_castpd_ps(low.bits), _mm_castpd_ps(high.bits), _MM_SHUFFLE(2, 0, 2, 0)))};
}

// Doubles truncated toward zero, lane by lane: the scalar conversion wherever it fits 32 bits, and
// -2^31 for a lane that does not fit (or is not a number), for one lane as for four.
inline PackedInt32 Truncated(FourDoubles a) {
    return _mm_unpacklo_epi64(_mm_cvttpd_epi32(a.low.lanes), _mm_cvttpd_epi32(a.high.lanes));
}
inline int32_t Truncated(double a) { return _mm_cvttsd_si32(_mm_set_sd(a)); }

// One sample.
struct OneLane {
    using Single = float;
    using Double = double;
    using Int = int32_t;
    static constexpr int32_t kCount = 1;

    static float Load(const float* at) { return *at; }
    static int32_t Load(const int32_t* at) { return *at; }
    static void Store(float* at, float value) { *at = value; }
    static void Store(int32_t* at, int32_t value) { *at = value; }
    static void Store(double* at, double value) { *at = value; }
};

// Four samples.
struct FourLanes {
    using Single = PackedSingle;
    using Double = FourDoubles;
    using Int = PackedInt32;
    static constexpr int32_t kCount = 4;

    static PackedSingle Load(const float* at) { return PackedSingle::Load(at); }
    static PackedInt32 Load(const int32_t* at) { return PackedInt32::Load(at); }
    static void Store(float* at, PackedSingle value) { value.Store(at); }
    static void Store(int32_t* at, PackedInt32 value) { value.Store(at); }
    static void Store(double* at, FourDoubles value) {
        value.low.Store(at);
        value.high.Store(at + 2);
    }
};

}  // namespace vexlo

#endif  // VEXLO_LANE_WIDTHS_H
