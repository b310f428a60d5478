// What a wave is made from for one block: the engine's tables and the block's local copy of the square
// smoother. Each wave of the list (wave_list.h) takes what it reads of them.
#ifndef VEXLO_WAVES_WAVE_SOURCES_H
#define VEXLO_WAVES_WAVE_SOURCES_H

#include <cstdint>

#include "square_smoother.h"

namespace vexlo {

struct WaveSources {
    const float* sine_table;   // N entries
    int32_t table_length;      // N
    SquareSmoother* smoother;  // the block's local copy
};

}  // namespace vexlo

#endif  // VEXLO_WAVES_WAVE_SOURCES_H
