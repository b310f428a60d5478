// The sine wave: the table's entry at the position's index. Value takes the index as defined
// (SineIndexOf's division); At the multiplied index, the same while products are exact (sine_index.h).
#ifndef VEXLO_WAVES_SINE_H
#define VEXLO_WAVES_SINE_H

#include <cstdint>

#include "oscillator_definition.h"
#include "sine_index.h"
#include "waves/wave_sources.h"

namespace vexlo {

struct SineWave {
    static constexpr int16_t kSelector = 0;
    static constexpr const char* kName = "sine";  // in the Wave pin's list
    static SineWave Made(const WaveSources& sources) { return {sources.sine_table, sources.table_length}; }

    const float* table;
    int32_t length;

    VEXLO_PER_SAMPLE double Value(int32_t position, int32_t period) const {
        return SineValue(table, length, position, period);
    }
    VEXLO_PER_SAMPLE double At(int32_t position, int32_t period, double inverse) const {
        return table[SineIndexMultiplied(length, position, period, inverse)];
    }
};

}  // namespace vexlo

#endif  // VEXLO_WAVES_SINE_H
