// Whole input streams for the checks that compare one run's output with another's: every audio
// input moving at audio rate within its range, so that a module that reads an input once per block,
// or from the wrong place, gives output that shows it.
#ifndef TRHOST_VALIDATE_INPUT_STREAMS_H
#define TRHOST_VALIDATE_INPUT_STREAMS_H

#include <cstdint>
#include <map>
#include <vector>

#include "driven_pin.h"
#include "random.h"

namespace trhost::validate {

// The samples of each audio input for a whole run, by pin index.
using InputStreams = std::map<int32_t, std::vector<float>>;

// `length` samples for every audio input of `pins`: stretches of 8 to 400 samples, each a sine of up
// to a fifth of the sample rate, noise, a ramp, steps held for 1 to 16 samples, or a held value, all
// within the pin's range.
InputStreams MovingStreams(const std::vector<DrivenPin>& pins, int32_t length, Random& random);

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_INPUT_STREAMS_H
