// The square wave: +1 for the first half of the period, -1 for the second (SquareValue), through the leaky
// running-average smoother (SmoothedSquare), one smoother step per active sample. Value takes the steps as
// defined; At the level by SquareLevel::At and the smoother's proved shortcuts (square_smoother.h), on the
// block's local copy of the smoother.
#ifndef VEXLO_WAVES_SQUARE_H
#define VEXLO_WAVES_SQUARE_H

#include <cstdint>

#include "cycle_arithmetic.h"
#include "oscillator_definition.h"
#include "square_smoother.h"
#include "waves/wave_sources.h"

namespace vexlo {

struct SquareWave {
    static constexpr int16_t kSelector = 2;
    static constexpr const char* kName = "square";  // in the Wave pin's list
    static SquareWave Made(const WaveSources& sources) { return {sources.smoother}; }

    SquareSmoother* smoother;  // the block's local copy

    VEXLO_PER_SAMPLE double Value(int32_t position, int32_t period) const {
        SquareSmoother& s = *smoother;
        return SmoothedSquare(SquareValue(position, period), s.window, s.ring_length, s.ring, s.index, s.last_window,
                              s.sum);
    }
    VEXLO_PER_SAMPLE double At(int32_t position, int32_t period, double) const {
        return smoother->Step(SquareLevel::At(position, period));
    }
};

}  // namespace vexlo

#endif  // VEXLO_WAVES_SQUARE_H
