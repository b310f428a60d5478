// The silent wave, for every Wave list value no other wave claims: a wave of 0 while the cycle keeps
// running: OutputOf at w = 0 for every active sample.
#ifndef VEXLO_WAVES_SILENT_H
#define VEXLO_WAVES_SILENT_H

#include <emmintrin.h>

#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "held_loop.h"
#include "oscillator_definition.h"
#include "path_counters.h"
#include "waves/wave_sources.h"

namespace vexlo {

struct SilentWave {
    static SilentWave Made(const WaveSources&) { return {}; }

    VEXLO_PER_SAMPLE double Value(int32_t, int32_t) const { return 0.0; }
    VEXLO_PER_SAMPLE double At(int32_t, int32_t, double) const { return 0.0; }
};

// Held: Freq and Phase keep their bits (held_stretch.cpp).

namespace {

// Any other selector: a wave of 0 throughout; with held gains every sample has the same output.
template <class Gains>
void HeldLoop(const SilentWave& wave, const HeldSamples& held, const Gains& gains, float* out, int32_t n) {
    VEXLO_COUNT_PATH(HeldSilent);
    if constexpr (std::is_same_v<Gains, HeldGains>) {
        std::fill(out, out + n, gains.Output(0, 0.0));
    } else {
        int32_t k = 0;
        for (; k + 2 <= n; k += 2) StorePair(out + k, gains.Pair(k, _mm_setzero_pd()));
        for (; k < n; ++k) out[k] = gains.Output(k, 0.0);
        static_cast<void>(wave);
        static_cast<void>(held);
    }
}

}  // namespace

}  // namespace vexlo

#endif  // VEXLO_WAVES_SILENT_H
