// The triangle wave: 0 at the start, +1 at a quarter, 0 at half, -1 at three quarters (TriangleValue), and
// its packed form for two positions.
#ifndef VEXLO_WAVES_TRIANGLE_H
#define VEXLO_WAVES_TRIANGLE_H

#include <emmintrin.h>

#include <cstdint>

#include "oscillator_definition.h"
#include "waves/wave_sources.h"

namespace vexlo {

struct TriangleWave {
    static constexpr int16_t kSelector = 1;
    static constexpr const char* kName = "triangle";  // in the Wave pin's list
    static TriangleWave Made(const WaveSources&) { return {}; }

    VEXLO_PER_SAMPLE double Value(int32_t position, int32_t period) const { return TriangleValue(position, period); }
    VEXLO_PER_SAMPLE double At(int32_t position, int32_t period, double) const {
        return TriangleValue(position, period);
    }
};

// Held: the loop that takes one sample at a time (HeldLoopStepwise, held_loop.h); the division per
// sample bounds it, and a packed form runs no faster.

// TriangleValue at two positions, lane by lane: the same double product and division, and the same choice
// of piece, made by masks.
VEXLO_PER_SAMPLE __m128d TrianglePair(__m128d position, __m128d whole) {
    const __m128d x = _mm_div_pd(_mm_mul_pd(position, _mm_set1_pd(4.0)), whole);
    const __m128d rising = _mm_cmplt_pd(x, _mm_set1_pd(1.0));
    const __m128d falling = _mm_andnot_pd(rising, _mm_cmplt_pd(x, _mm_set1_pd(3.0)));
    const __m128d last = _mm_andnot_pd(_mm_or_pd(rising, falling), _mm_sub_pd(x, _mm_set1_pd(4.0)));
    return _mm_or_pd(_mm_or_pd(_mm_and_pd(rising, x), _mm_and_pd(falling, _mm_sub_pd(_mm_set1_pd(2.0), x))), last);
}

}  // namespace vexlo

#endif  // VEXLO_WAVES_TRIANGLE_H
