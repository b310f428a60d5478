// The measuring that every path starts from, and the process paths for stretches whose inputs move
// (frequency and phase modulated at audio rate): the exact one, and the stepwise one for tables too
// long for exact products.
#include <emmintrin.h>
#include <xmmintrin.h>

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

// 13 and 14 for one counted sample, or 7's output when it is inactive (position -1).
template <class Wave>
VEXLO_PER_SAMPLE float Rendered(const Wave& wave, int32_t position, int32_t period, double inverse, float depth_eff,
                                float offset, float in) {
    if (position < 0) return InactiveOutput(offset, in);
    return OutputOf(wave.At(position, period, inverse), depth_eff, offset, in);
}

}  // namespace

void Measure(const Block& block, int32_t from, int32_t count, int32_t rate, Measured& measured) {
    // Two loops, each short: a sample's divisions wait on one another (the period on F, its inverse on
    // the period), and shorter loops keep more samples' divisions in flight at once.
    const double whole_rate = static_cast<double>(rate);
    const float hertz_per_unit = block.kilohertz ? kHertzPerUnitKilo : kHertzPerUnit;
    float phase_fraction[kStretch];
    for (int32_t k = 0; k < count; ++k) {
        // 1. Inputs.
        const int32_t at = from + k;

        // 2. Effective depth: absolute, or relative to the offset.
        const float depth_factor = block.relative ? block.offset[at] : kAbsoluteDepth;
        const float depth_eff =
            static_cast<float>(static_cast<double>(depth_factor) * static_cast<double>(block.depth[at]));

        // 3. Frequency in hertz.
        const float hertz =
            static_cast<float>(static_cast<double>(hertz_per_unit) * static_cast<double>(block.freq[at]));

        // 5. Phase as a fraction of a period; a phase that is not a finite number counts as 0.
        const float fraction =
            static_cast<float>(static_cast<double>(block.phase[at]) * static_cast<double>(kPeriodsPerUnit));

        // 6. Active above 1/30 Hz with a depth that is a non-zero number (NaN fails both tests).
        const bool active = static_cast<double>(hertz) > kLowestHertz && (depth_eff > 0.0f || depth_eff < 0.0f);

        // 8. Period in whole samples, at least 1; 0 marks an inactive sample. An inactive sample divides
        //    by 1 Hz instead, so that the conversion is always defined: above 1/30 Hz,
        //    R / F + 0.5 <= 30 x R + 0.5, which truncates into 32 bits; at 1 Hz it is R + 0.5.
        const int32_t period = static_cast<int32_t>(whole_rate / static_cast<double>(active ? hertz : 1.0f) + 0.5);
        measured.period[k] = active ? (period < 1 ? 1 : period) : 0;
        measured.depth_eff[k] = depth_eff;
        phase_fraction[k] = std::isfinite(fraction) ? fraction : 0.0f;
    }
    for (int32_t k = 0; k < count; ++k) {
        // 1 / P, off the count's chain (an inactive sample's P counts as 1 here).
        const int32_t period = measured.period[k] < 1 ? 1 : measured.period[k];
        const double whole = static_cast<double>(period);
        measured.inverse[k] = 1.0 / whole;

        // 11. Phase offset in whole samples, reduced into 0 .. P - 1: P x PF + 0.5 truncated, plus P when
        //     negative; anything else (a phase of more than a period, or a truncation beyond 32 bits) is
        //     reduced the long way.
        const double samples = whole * static_cast<double>(phase_fraction[k]) + 0.5;
        const bool fits = TruncFitsInt32(samples);
        int32_t phase_offset = fits ? static_cast<int32_t>(samples) : 0;
        phase_offset = phase_offset < 0 ? phase_offset + period : phase_offset;
        if (!fits || static_cast<uint32_t>(phase_offset) >= static_cast<uint32_t>(period)) {
            phase_offset = ReducedPhaseOffset(samples, period);
        }
        measured.phase_offset[k] = phase_offset;
    }
}

// Measuring has no chain from sample to sample, so its divisions overlap freely; the count's short
// chain then runs beside the rendering (whose square smoother has a chain of its own). Under
// modulation nearly every sample has a new period and phase offset, so nothing is remembered from one
// sample to the next.
template <class Wave>
void RenderModulated(const Block& block, const Tables& tables, int32_t from, int32_t count, Cycle& cycle, Wave wave) {
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

template <class Wave>
void RunModulated(const Block& block, const Tables& tables, int32_t from, int32_t count, Cycle& cycle, Wave wave) {
    RenderModulated(block, tables, from, count, cycle, wave);
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
    RenderModulated(block, tables, from, count, cycle, SquareWave{&local});
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
