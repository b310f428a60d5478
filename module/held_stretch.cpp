// The process path for stretches whose cycle holds still: Freq and Phase keep their bits, so every sample
// has the first one's F and PF, hence its period and phase offset. When every sample is also active
// there is no rescale and no reset: the count and position move on by one per sample, mod P, and the
// wave at each position does not depend on In, Depth or Offset, which only the output step reads (and
// the activity test, checked first). One full step, then each wave's held loop (HeldLoop, in its file
// in waves/; held_loop.h has the shared parts), with the output step's gains held (In, Depth and Offset
// keep their bits too), In alone per sample (a tremolo), or all per sample (audio on Depth or Offset).
#include <emmintrin.h>

#include <algorithm>

#include "assume.h"
#include "engine_steps.h"
#include "held_loop.h"
#include "measure_lanes.h"
#include "path_counters.h"
#include "waves/wave_list.h"

namespace vexlo {

namespace {

// DepthEffOf and DepthActive for every sample of the stretch, as measuring takes them (measure_lanes.h):
// DepthEff into depth_eff[0, count), and whether each is a non-zero number; four at a time, then one.
bool AllDepthsActive(const Block& block, int32_t from, int32_t count, float* depth_eff) {
    VEXLO_COUNT_PATH(AllDepthsActive);
    SingleMask active{_mm_castsi128_ps(_mm_set1_epi32(-1))};
    int32_t k = 0;
    for (; k + 4 <= count; k += 4) {
        const PackedSingle d = DepthEffAt<FourLanes>(block, from + k);
        d.Store(depth_eff + k);
        active = And(active, DepthActiveOf(d));
    }
    bool all = LaneBits(active) == 0xF;
    for (; k < count; ++k) {
        depth_eff[k] = DepthEffAt<OneLane>(block, from + k);
        all = all && DepthActiveOf(depth_eff[k]);
    }
    return all;
}

// InactiveOutput for every sample of the stretch: each is inactive, its output Offset x In.
void WriteInactive(const Block& block, int32_t from, int32_t count) {
    VEXLO_COUNT_PATH(WriteInactive);
    for (int32_t k = 0; k < count; ++k) {
        block.out[from + k] = InactiveOutput(block.offset[from + k], block.in[from + k]);
    }
}

// The stretch's first sample into measured[0]: MeasureOne without Measure's four-lane constants, which
// cost more than measuring one sample; out of line, so that each wave's held loop compiles as alone.
__attribute__((noinline)) void MeasureFirst(const Block& block, int32_t from, int32_t rate, Measured& measured) {
    VEXLO_COUNT_PATH(Measure);
    MeasureOne(block, from, rate, measured, 0);
}

}  // namespace

template <class Wave>
bool RunHeldCycle(const Block& block, const ExactTables& tables, int32_t from, int32_t count, HeldInputs inputs,
                  Cycle& cycle, Wave wave) {
    VEXLO_ASSUME(1 <= count && count <= kStretch);
    VEXLO_ASSUME(inputs.cycle);
    float* const out = block.out + from;
    // Only the output step reads In; Depth and Offset enter it and the activity test. When those two
    // keep their bits (In moving or not), every sample has the first one's DepthEff and activity, so
    // the first sample's full step below decides for all of them.
    const bool gains_held = inputs.gains;
    const bool depth_held = inputs.depth;
    float depth_eff[kStretch];
    if (!depth_held) {
        // A frequency too low (or not a number) leaves every sample inactive, whatever its depth.
        if (!FrequencyActive(HertzOf(block.freq[from], block.kilohertz))) {
            VEXLO_COUNT_PATH(HeldInactive);
            WriteInactive(block, from, count);
            cycle = {-1, -1};
            return true;
        }
        if (!AllDepthsActive(block, from, count, depth_eff)) {
            VEXLO_COUNT_PATH(HeldDeclined);
            return false;
        }
    }

    // The first sample takes every step: it may start or rescale the cycle.
    Measured first;
    MeasureFirst(block, from, tables.rate(), first);
    CountChain chain = CountChain::From(cycle);
    const int32_t period = first.period[0];
    const int32_t position = chain.Step(first, 0);
    cycle = chain.ToCycle();

    // Inactive (Depth and Offset held, so every sample is), every sample is Offset x In.
    if (position < 0) {
        VEXLO_COUNT_PATH(HeldInactive);
        if (gains_held) {
            VEXLO_COUNT_PATH(FillInactive);
            std::fill(out, out + count, InactiveOutput(block.offset[from], block.in[from]));
        } else {
            WriteInactive(block, from, count);
        }
        return true;
    }

    // The loops start from the position before the first sample's.
    const HeldSamples held{position == 0 ? period - 1 : position - 1, period, first.inverse[0]};
    if (gains_held) {
        VEXLO_COUNT_PATH(HeldGains);
        HeldLoop(wave, held, HeldGains{first.depth_eff[0], block.offset[from], block.in[from]}, out, count);
    } else if (depth_held) {
        VEXLO_COUNT_PATH(InGains);
        HeldLoop(wave, held, InGains{first.depth_eff[0], block.offset[from], block.in + from}, out, count);
    } else {
        VEXLO_COUNT_PATH(SampleGains);
        HeldLoop(wave, held, SampleGains{depth_eff, block.offset + from, block.in + from}, out, count);
    }

    // The count moved on with the position: count + (n - 1) mod P.
    cycle.count = AddWrapped(cycle.count, (count - 1) % period, period);
    return true;
}

VEXLO_PATH_FOR_EVERY_WAVE(bool, RunHeldCycle, const Block&, const ExactTables&, int32_t, int32_t, HeldInputs, Cycle&)

}  // namespace vexlo
