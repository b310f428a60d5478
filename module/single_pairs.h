// Pairs of singles in and out of double lanes, for the output step's packed forms. Each pair loads and
// converts, or rounds and stores, on its own: packing four singles into one register and taking its
// halves apart would cost a shuffle per pair, and the shuffles and the conversions share the execution
// port that bounds the output loops. Each lane's value is the scalar conversion's (single to double is
// exact; double to single rounds once, as a scalar conversion does).
#ifndef VEXLO_SINGLE_PAIRS_H
#define VEXLO_SINGLE_PAIRS_H

#include <emmintrin.h>

#include <cstdint>

#include "oscillator_definition.h"

namespace vexlo {

// Singles at[0] and at[1] as a pair of doubles: one load and one conversion.
VEXLO_PER_SAMPLE __m128d SinglesPair(const float* at) {
    return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at))));
}

// Two singles from anywhere (such as table entries) as a pair of doubles.
VEXLO_PER_SAMPLE __m128d SinglesPair(float first, float second) {
    return _mm_cvtps_pd(_mm_unpacklo_ps(_mm_set_ss(first), _mm_set_ss(second)));
}

// A pair of doubles rounded to single and stored at out[0] and out[1].
VEXLO_PER_SAMPLE void StorePair(float* out, __m128d pair) {
    _mm_storel_pi(reinterpret_cast<__m64*>(out), _mm_cvtpd_ps(pair));
}

// `count` singles from `from` as doubles at `to`, two per load and conversion.
VEXLO_PER_SAMPLE void WidenSingles(const float* from, double* to, int32_t count) {
    int32_t j = 0;
    for (; j + 2 <= count; j += 2) _mm_storeu_pd(to + j, SinglesPair(from + j));
    if (j < count) to[j] = static_cast<double>(from[j]);
}

// `count` doubles from `from`, each rounded to single, at `to`, two per conversion and store.
VEXLO_PER_SAMPLE void NarrowDoubles(const double* from, float* to, int32_t count) {
    int32_t j = 0;
    for (; j + 2 <= count; j += 2) StorePair(to + j, _mm_loadu_pd(from + j));
    if (j < count) to[j] = static_cast<float>(from[j]);
}

}  // namespace vexlo

#endif  // VEXLO_SINGLE_PAIRS_H
