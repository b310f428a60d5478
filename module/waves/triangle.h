// The triangle wave: 0 at the start, +1 at a quarter, 0 at half, -1 at three quarters (TriangleValue,
// whose body TriangleOf takes two positions at once too).
#ifndef VEXLO_WAVES_TRIANGLE_H
#define VEXLO_WAVES_TRIANGLE_H

#include <emmintrin.h>

#include <cstdint>

#include "held_loop.h"
#include "modulated_loop.h"
#include "oscillator_definition.h"
#include "path_counters.h"
#include "single_pairs.h"
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

// Held: two samples per step, TriangleOf's packed form on consecutive positions (each lane is the
// scalar body's result for its position, packed_double.h), so that one packed division serves two
// samples; a last odd sample takes the scalar form.
namespace {

template <class Gains>
void HeldLoop(const TriangleWave&, const HeldSamples& held, const Gains& gains, float* out, int32_t n) {
    VEXLO_COUNT_PATH(HeldTrianglePairs);
    const int32_t period = held.period;
    const PackedDouble whole(static_cast<double>(period));
    int32_t position = held.position;
    int32_t k = 0;
    for (; k + 2 <= n; k += 2) {
        const int32_t first = NextPosition(position, period);
        position = NextPosition(first, period);
        const PackedDouble positions = _mm_set_pd(static_cast<double>(position), static_cast<double>(first));
        StorePair(out + k, gains.Pair(k, TriangleOf<PackedDouble>(positions, whole)));
    }
    for (; k < n; ++k) {
        position = NextPosition(position, period);
        out[k] = gains.Output(k, TriangleValue(position, period));
    }
}

}  // namespace

// Modulated: Freq or Phase moves (ModulatedLoop, below; modulated_stretch.cpp runs it).

namespace {

// The triangle's outputs from a stretch measured and counted, four at a time.
template <bool kAnyInactive>
void TriangleOutputs(const Block& block, int32_t from, const Counted& counted, int32_t count,
                     const TriangleWave& wave) {
    VEXLO_COUNT_PATH_BY_INACTIVE(TriangleOutputs, kAnyInactive);
    const Measured& measured = counted.measured;
    const double* const counts = counted.counts;
    const auto pair = [&](int32_t at) {
        __m128d whole;
        const __m128d position = PositionPairAt(counted, at, whole);
        return TriangleOf<PackedDouble>(position, whole);
    };
    const RenderedPairs<kAnyInactive> rendered(block, from, counted);
    int32_t k = 0;
    // Inactive lanes' waves are meaningless; their output ignores them.
    for (; k + 4 <= count; k += 4) {
        rendered.Store(k, pair(k));
        rendered.Store(k + 2, pair(k + 2));
    }
    for (; k < count; ++k) {
        const int32_t at = from + k;
        const int32_t position = PositionOfCount(counts[k], measured, k);
        block.out[at] = Rendered(wave, position, measured.period[k], measured.inverse[k], measured.depth_eff[k],
                                 block.offset[at], block.in[at]);
    }
}

// The triangle: measuring and the count's chain first, then positions, waves and outputs four at a time, so
// that the waves' divisions overlap one another instead of waiting on the chain, and the choice of
// piece, a coin toss under phase modulation, is made by masks rather than branches.
inline void ModulatedLoop(const TriangleWave& wave, const Block& block, const ExactTables& tables, int32_t from,
                          int32_t count, Cycle& cycle) {
    Counted counted;
    MeasureAndCount(block, tables, from, count, cycle, counted);
    ByInactiveSamples(counted,
                      [&](auto any_inactive) { TriangleOutputs<any_inactive()>(block, from, counted, count, wave); });
}

}  // namespace

}  // namespace vexlo

#endif  // VEXLO_WAVES_TRIANGLE_H
