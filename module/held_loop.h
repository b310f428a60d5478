// The held path's loops, shared by the waves' held loops (waves/): the held cycle of a stretch, the
// output step's gains over it, and the loop that takes one sample at a time, which every wave without a
// held loop of its own runs. Internal to the module: held_stretch.cpp runs them, and each wave file
// holds its own held loop and its proof.
//
// A held loop writes out[0, n) for the n positions after held.position, one period of P samples
// repeating, with the output step's gains as `gains` gives them.
//
// The loops here and in the wave files have internal linkage, as they had in the one file that runs
// them: the compiler then inlines each into the held path it serves, as it does not for a function
// that other files might call, and a call per stretch with its arguments on the 32-bit stack, and the
// constants it no longer sees, cost the held loops several percent.
#ifndef VEXLO_HELD_LOOP_H
#define VEXLO_HELD_LOOP_H

#include <emmintrin.h>

#include <cstdint>

#include "engine_steps.h"
#include "oscillator_definition.h"
#include "packed_double.h"
#include "path_counters.h"
#include "single_pairs.h"

namespace vexlo {

namespace {

// The held cycle of a stretch.
struct HeldSamples {
    int32_t position;  // of the sample before the first: the first sample's position is the next one
    int32_t period;    // P
    double inverse;    // 1.0 / P
};

VEXLO_PER_SAMPLE int32_t NextPosition(int32_t position, int32_t period) { return WrapOnce(position + 1, period); }

// The output step's gains over the stretch, sample k counted from its first sample: Output for one
// sample, Pair for samples k and k + 1 (before rounding to single), each lane as OutputOf.
//   Held: In, Depth and Offset keep their bits, so every sample has the first one's.
struct HeldGains {
    double depth_eff;
    double offset;
    double in;
    VEXLO_PER_SAMPLE float Output(int32_t, double wave) const { return OutputOf(wave, depth_eff, offset, in); }
    VEXLO_PER_SAMPLE __m128d Pair(int32_t, __m128d waves) const {
        return OutputBeforeRounding<PackedDouble>(waves, _mm_set1_pd(depth_eff), _mm_set1_pd(offset), _mm_set1_pd(in));
    }
};

//   Per sample: each sample's own DepthEff (measured first) and its Offset and In.
struct SampleGains {
    const float* depth_eff;
    const float* offset;
    const float* in;
    VEXLO_PER_SAMPLE float Output(int32_t k, double wave) const {
        return OutputOf(wave, depth_eff[k], offset[k], in[k]);
    }
    VEXLO_PER_SAMPLE __m128d Pair(int32_t k, __m128d waves) const {
        return OutputBeforeRounding<PackedDouble>(waves, SinglesPair(depth_eff + k), SinglesPair(offset + k),
                                                  SinglesPair(in + k));
    }
};

//   In alone per sample: Depth and Offset keep their bits (a tremolo), so DepthEff and Offset are the
//   first sample's.
struct InGains {
    double depth_eff;
    double offset;
    const float* in;
    VEXLO_PER_SAMPLE float Output(int32_t k, double wave) const { return OutputOf(wave, depth_eff, offset, in[k]); }
    VEXLO_PER_SAMPLE __m128d Pair(int32_t k, __m128d waves) const {
        return OutputBeforeRounding<PackedDouble>(waves, _mm_set1_pd(depth_eff), _mm_set1_pd(offset),
                                                  SinglesPair(in + k));
    }
};

// The stretch's samples, out[0, n) for the n positions after held.position, one at a time: any wave
// without a held loop of its own, and short sine periods.
template <class Wave, class Gains>
void HeldLoopStepwise(const Wave& wave, const HeldSamples& held, const Gains& gains, float* out, int32_t n) {
    VEXLO_COUNT_PATH(HeldLoopStepwise);
    int32_t position = held.position;
    for (int32_t k = 0; k < n; ++k) {
        position = NextPosition(position, held.period);
        out[k] = gains.Output(k, wave.At(position, held.period, held.inverse));
    }
}

// Every wave without a held loop of its own: one sample at a time.
template <class Wave, class Gains>
void HeldLoop(const Wave& wave, const HeldSamples& held, const Gains& gains, float* out, int32_t n) {
    HeldLoopStepwise(wave, held, gains, out, n);
}

}  // namespace

}  // namespace vexlo

#endif  // VEXLO_HELD_LOOP_H
