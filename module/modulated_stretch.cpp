// The measuring that every path starts from, and the process paths for stretches whose inputs move
// (frequency and phase modulated at audio rate): the exact one, and the stepwise one for tables too
// long for exact products.
#include <emmintrin.h>
#include <xmmintrin.h>

#include <cfloat>
#include <cmath>

#include "engine_steps.h"

namespace vexlo {

namespace {

// Step 11's phase offset for a lane the two-at-a-time measure could not finish: P x PF + 0.5 (already
// formed, `samples`) truncated, reduced into 0 .. P - 1. When the truncation leaves 32 bits it is
// reduced modulo P first, which leaves the position unchanged.
int32_t ReducedPhaseOffset(double samples, int32_t period) {
    const int32_t phase_offset =
        TruncFitsInt32(samples) ? static_cast<int32_t>(samples)
                                : static_cast<int32_t>(std::fmod(std::trunc(samples), static_cast<double>(period)));
    return WrapAround(phase_offset, period);
}

// Samples `a` and `b` of the block into measured[k] and, when `both`, measured[k + 1] (with `both`
// false, b is a). Two lanes of double precision run the literal steps side by side: each lane's
// operations, and their order, are those of one sample.
VEXLO_PER_SAMPLE void MeasurePair(const Block& block, int32_t a, int32_t b, __m128d rate, Measured& measured, int32_t k,
                                  bool both) {
    const __m128d zero = _mm_setzero_pd();
    const __m128d one = _mm_set1_pd(1.0);
    const __m128d half = _mm_set1_pd(0.5);

    // 2. Effective depth: absolute, or relative to the offset; rounded to single.
    const __m128d depth_factor = block.relative ? _mm_setr_pd(block.offset[a], block.offset[b])
                                                : _mm_set1_pd(static_cast<double>(kAbsoluteDepth));
    const __m128 depth_eff = _mm_cvtpd_ps(_mm_mul_pd(depth_factor, _mm_setr_pd(block.depth[a], block.depth[b])));

    // 3. Frequency in hertz, rounded to single.
    const double hertz_per_unit = block.kilohertz ? kHertzPerUnitKilo : kHertzPerUnit;
    const __m128d hertz =
        _mm_cvtps_pd(_mm_cvtpd_ps(_mm_mul_pd(_mm_set1_pd(hertz_per_unit), _mm_setr_pd(block.freq[a], block.freq[b]))));

    // 5. Phase as a fraction of a period, rounded to single; a phase that is not a finite number counts
    //    as +0 (the mask clears it).
    __m128d fraction = _mm_cvtps_pd(_mm_cvtpd_ps(
        _mm_mul_pd(_mm_setr_pd(block.phase[a], block.phase[b]), _mm_set1_pd(static_cast<double>(kPeriodsPerUnit)))));
    const __m128d size = _mm_andnot_pd(_mm_set1_pd(-0.0), fraction);
    fraction = _mm_and_pd(fraction, _mm_cmple_pd(size, _mm_set1_pd(FLT_MAX)));

    // 6. Active above 1/30 Hz with a depth that is a non-zero number (NaN fails both tests).
    const __m128d depth = _mm_cvtps_pd(depth_eff);
    const __m128d active = _mm_and_pd(_mm_cmpgt_pd(hertz, _mm_set1_pd(kLowestHertz)),
                                      _mm_or_pd(_mm_cmpgt_pd(depth, zero), _mm_cmplt_pd(depth, zero)));

    // 8. Period in whole samples, at least 1. An inactive sample divides by 1 Hz instead, so that the
    //    conversion is always defined: above 1/30 Hz, R / F + 0.5 <= 30 x R + 0.5, which truncates into
    //    32 bits; at 1 Hz it is R + 0.5.
    const __m128d divisor = _mm_or_pd(_mm_and_pd(active, hertz), _mm_andnot_pd(active, one));
    __m128i period = _mm_cvttpd_epi32(_mm_add_pd(_mm_div_pd(rate, divisor), half));
    const __m128i whole_one = _mm_set1_epi32(1);
    const __m128i below_one = _mm_cmpgt_epi32(whole_one, period);
    period = _mm_or_si128(_mm_and_si128(below_one, whole_one), _mm_andnot_si128(below_one, period));

    // 1 / P, off the count's chain (any finite value serves an inactive sample).
    const __m128d whole = _mm_cvtepi32_pd(period);
    const __m128d inverse = _mm_div_pd(one, whole);

    // 11. Phase offset in whole samples: P x PF + 0.5 truncated, and a negative one plus P. A lane that
    //     is then still outside 0 .. P - 1 (a phase of more than a period, or a truncation that left 32
    //     bits and came back as INT_MIN) is finished one by one.
    const __m128d samples = _mm_add_pd(_mm_mul_pd(whole, fraction), half);
    __m128i phase_offset = _mm_cvttpd_epi32(samples);
    const __m128i no_whole = _mm_setzero_si128();
    phase_offset = _mm_add_epi32(phase_offset, _mm_and_si128(_mm_cmpgt_epi32(no_whole, phase_offset), period));
    const __m128i outside = _mm_or_si128(_mm_cmpgt_epi32(no_whole, phase_offset),
                                         _mm_cmpgt_epi32(phase_offset, _mm_sub_epi32(period, whole_one)));

    // Inactive samples have period 0.
    const __m128i active_lanes = _mm_shuffle_epi32(_mm_castpd_si128(active), _MM_SHUFFLE(3, 3, 2, 0));
    const __m128i stored_period = _mm_and_si128(active_lanes, period);

    alignas(16) int32_t periods[4], whole_periods[4], phase_offsets[4], outsides[4];
    alignas(16) double inverses[2], sample_values[2];
    alignas(16) float depths[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(periods), stored_period);
    _mm_store_si128(reinterpret_cast<__m128i*>(whole_periods), period);
    _mm_store_si128(reinterpret_cast<__m128i*>(phase_offsets), phase_offset);
    _mm_store_si128(reinterpret_cast<__m128i*>(outsides), outside);
    _mm_store_pd(inverses, inverse);
    _mm_store_pd(sample_values, samples);
    _mm_store_ps(depths, depth_eff);
    const int32_t lanes = both ? 2 : 1;
    for (int32_t lane = 0; lane < lanes; ++lane) {
        measured.period[k + lane] = periods[lane];
        measured.inverse[k + lane] = inverses[lane];
        measured.depth_eff[k + lane] = depths[lane];
        measured.phase_offset[k + lane] =
            outsides[lane] == 0 ? phase_offsets[lane] : ReducedPhaseOffset(sample_values[lane], whole_periods[lane]);
    }
}

// 13 and 14 for one counted sample, or 7's output when it is inactive (position -1).
template <class Wave>
VEXLO_PER_SAMPLE float Rendered(const Wave& wave, int32_t position, int32_t period, double inverse, float depth_eff,
                                float offset, float in) {
    if (position < 0) return InactiveOutput(offset, in);
    return OutputOf(wave.At(position, period, inverse), depth_eff, offset, in);
}

}  // namespace

void Measure(const Block& block, int32_t from, int32_t count, int32_t rate, Measured& measured) {
    const __m128d whole_rate = _mm_set1_pd(static_cast<double>(rate));
    int32_t k = 0;
    for (; k + 1 < count; k += 2) MeasurePair(block, from + k, from + k + 1, whole_rate, measured, k, true);
    if (k < count) MeasurePair(block, from + k, from + k, whole_rate, measured, k, false);
}

// Measuring has no chain from sample to sample, so its divisions overlap freely; the count's short
// chain then runs beside the rendering (whose square smoother has a chain of its own). Under
// modulation nearly every sample has a new period and phase offset, so nothing is remembered from one
// sample to the next.
template <class Wave>
void RunModulated(const Block& block, const Tables& tables, int32_t from, int32_t count, Cycle& cycle, Wave wave) {
    Measured measured;
    Measure(block, from, count, tables.rate, measured);
    CountChain chain = CountChain::From(cycle);
    for (int32_t k = 0; k < count; ++k) {
        const int32_t at = from + k;
        const int32_t period = measured.period[k];
        const int32_t position = chain.Step(period, measured.inverse[k], measured.phase_offset[k]);
        block.out[at] = Rendered(wave, position, period, measured.inverse[k], measured.depth_eff[k], block.offset[at],
                                 block.in[at]);
    }
    cycle = chain.ToCycle();
}

// The sine: the table indexes first, then the reads. Under modulation the reads are mostly cache
// misses: each entry is asked for as soon as its index is known, so that the misses overlap the count's
// chain, and the loop of reads that follows mostly finds them in the cache.
template <>
void RunModulated<SineWave>(const Block& block, const Tables& tables, int32_t from, int32_t count, Cycle& cycle,
                            SineWave wave) {
    Measured measured;
    Measure(block, from, count, tables.rate, measured);
    CountChain chain = CountChain::From(cycle);
    int32_t index[kStretch];
    for (int32_t k = 0; k < count; ++k) {
        const int32_t period = measured.period[k];
        const int32_t position = chain.Step(period, measured.inverse[k], measured.phase_offset[k]);
        index[k] = position < 0 ? -1 : SineIndexMultiplied(wave.length, position, period, measured.inverse[k]);
        // The entry is fetched now, while the count's chain keeps this loop waiting anyway.
        _mm_prefetch(reinterpret_cast<const char*>(wave.table + (index[k] < 0 ? 0 : index[k])), _MM_HINT_T0);
    }
    cycle = chain.ToCycle();
    const float* const table = wave.table;
    for (int32_t k = 0; k < count; ++k) {
        const int32_t at = from + k;
        block.out[at] = index[k] < 0 ? InactiveOutput(block.offset[at], block.in[at])
                                     : OutputOf(table[index[k]], measured.depth_eff[k], block.offset[at], block.in[at]);
    }
}

// The square: a local copy of the smoother, which no output store can alias.
template <>
void RunModulated<SquareWave>(const Block& block, const Tables& tables, int32_t from, int32_t count, Cycle& cycle,
                              SquareWave wave) {
    SquareSmoother local = *wave.smoother;
    const SquareWave local_wave{&local};
    Measured measured;
    Measure(block, from, count, tables.rate, measured);
    CountChain chain = CountChain::From(cycle);
    for (int32_t k = 0; k < count; ++k) {
        const int32_t at = from + k;
        const int32_t period = measured.period[k];
        const int32_t position = chain.Step(period, measured.inverse[k], measured.phase_offset[k]);
        block.out[at] = Rendered(local_wave, position, period, measured.inverse[k], measured.depth_eff[k],
                                 block.offset[at], block.in[at]);
    }
    cycle = chain.ToCycle();
    *wave.smoother = local;
}

template void RunModulated<TriangleWave>(const Block&, const Tables&, int32_t, int32_t, Cycle&, TriangleWave);
template void RunModulated<SilentWave>(const Block&, const Tables&, int32_t, int32_t, Cycle&, SilentWave);

// The stepwise path: the same measuring and waves, and the count as written.
template <class Wave>
void RunStepwise(const Block& block, const Tables& tables, int32_t from, int32_t count, Cycle& cycle, Wave wave) {
    Measured measured;
    Measure(block, from, count, tables.rate, measured);
    for (int32_t k = 0; k < count; ++k) {
        const int32_t at = from + k;
        const int32_t period = measured.period[k];
        const int32_t position = CountLiterally(period, measured.phase_offset[k], cycle);
        block.out[at] = Rendered(wave, position, period, measured.inverse[k], measured.depth_eff[k], block.offset[at],
                                 block.in[at]);
    }
}

template void RunStepwise<SineWave>(const Block&, const Tables&, int32_t, int32_t, Cycle&, SineWave);
template void RunStepwise<TriangleWave>(const Block&, const Tables&, int32_t, int32_t, Cycle&, TriangleWave);
template void RunStepwise<SquareWave>(const Block&, const Tables&, int32_t, int32_t, Cycle&, SquareWave);
template void RunStepwise<SilentWave>(const Block&, const Tables&, int32_t, int32_t, Cycle&, SilentWave);

}  // namespace vexlo
