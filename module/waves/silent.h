// The silent wave, for every Wave list value no other wave claims: a wave of 0 while the cycle keeps
// running: OutputOf at w = 0 for every active sample.
#ifndef VEXLO_WAVES_SILENT_H
#define VEXLO_WAVES_SILENT_H

#include <cstdint>

#include "oscillator_definition.h"
#include "waves/wave_sources.h"

namespace vexlo {

struct SilentWave {
    static SilentWave Made(const WaveSources&) { return {}; }

    VEXLO_PER_SAMPLE double Value(int32_t, int32_t) const { return 0.0; }
    VEXLO_PER_SAMPLE double At(int32_t, int32_t, double) const { return 0.0; }
};

}  // namespace vexlo

#endif  // VEXLO_WAVES_SILENT_H
