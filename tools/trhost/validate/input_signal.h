// What the validator feeds one audio input for one block.
#ifndef TRHOST_VALIDATE_INPUT_SIGNAL_H
#define TRHOST_VALIDATE_INPUT_SIGNAL_H

#include <cstdint>
#include <string>

#include "driven_pin.h"
#include "random.h"

namespace trhost::validate {

struct InputSignal {
    enum class Kind {
        kConstant,     // a
        kAlternating,  // a, b, a, b, ...
        kRandom,       // uniform in [a, b] at every sample
        kRamp,         // a to b over the block
        kStream,       // the next samples of a stream, from `stream` on
    };
    Kind kind = Kind::kConstant;
    float a = 0.0f;
    float b = 0.0f;
    const float* stream = nullptr;  // not owned; holds at least the block's samples

    static InputSignal Constant(float value) { return {Kind::kConstant, value, value}; }
    static InputSignal Alternating(float first, float second) { return {Kind::kAlternating, first, second}; }
    static InputSignal Stream(const float* samples) { return {Kind::kStream, 0.0f, 0.0f, samples}; }

    void Fill(float* block, int32_t count, Random& random) const;
    // "const 0.5", "alternating nan/0", "random -1..1", "ramp 0..1"
    std::string Describe() const;
};

// One in-range signal for an audio input, chosen at random: the default, either end of the range, the
// middle, random values, a ramp across the range or a jump between its ends.
InputSignal RandomInRangeSignal(const DrivenPin& pin, Random& random);

// The float nearest `value` that lies within the pin's range (range ends are given in volts and
// divided down, so the float nearest an end may lie just past it).
float InRangeSample(const DrivenPin& pin, double value);

// Text for a sample value: "0.5", "nan", "-inf", "1e-45".
std::string SampleText(float value);

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_INPUT_SIGNAL_H
