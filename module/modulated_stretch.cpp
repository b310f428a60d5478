// The measuring that every path starts from, and the process paths for stretches whose inputs move
// (frequency and phase modulated at audio rate): the exact one, and the stepwise one for tables too
// long for exact products.
#include "assume.h"
#include "engine_steps.h"
#include "modulated_loop.h"
#include "path_counters.h"
#include "waves/wave_list.h"

namespace vexlo {

void Measure(const Block& block, int32_t from, int32_t count, int32_t rate, Measured& measured) {
    VEXLO_COUNT_PATH(Measure);
    VEXLO_ASSUME(1 <= count && count <= kStretch);
    const MeasureConstants<FourLanes> constants(block, rate);
    int32_t k = 0;
    for (; k + 4 <= count; k += 4) MeasureFour(block, from + k, constants, measured, k);
    for (; k < count; ++k) MeasureOne(block, from + k, rate, measured, k);
}

// The modulated path: each wave's modulated loop (ModulatedLoop, in its file in waves/; modulated_loop.h
// has the shared parts and the loop of every wave without one of its own).
template <class Wave>
void RunModulated(const Block& block, const ExactTables& tables, int32_t from, int32_t count, Cycle& cycle, Wave wave) {
    VEXLO_ASSUME(1 <= count && count <= kStretch);
    ModulatedLoop(wave, block, tables, from, count, cycle);
}

// The stepwise path: DefinedOutput, sample by sample, with each wave's defined value.
template <class Wave>
void RunStepwise(const Block& block, const Tables& tables, int32_t from, int32_t count, Cycle& cycle, Wave wave) {
    const auto value = [&wave](int32_t position, int32_t period) { return wave.Value(position, period); };
    for (int32_t at = from; at < from + count; ++at) {
        const SampleInputs inputs{block.in[at], block.depth[at], block.offset[at], block.freq[at], block.phase[at]};
        block.out[at] = DefinedOutput(inputs, block.kilohertz, block.relative, tables.rate, cycle, value);
    }
}

VEXLO_PATH_FOR_EVERY_WAVE(void, RunModulated, const Block&, const ExactTables&, int32_t, int32_t, Cycle&)
VEXLO_PATH_FOR_EVERY_WAVE(void, RunStepwise, const Block&, const Tables&, int32_t, int32_t, Cycle&)

}  // namespace vexlo
