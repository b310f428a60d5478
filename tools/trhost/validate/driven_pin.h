// A pin as the validator drives it: its description, and what the description says about the values
// a host may give it (the in-range span of an audio input, the choices of a list).
#ifndef TRHOST_VALIDATE_DRIVEN_PIN_H
#define TRHOST_VALIDATE_DRIVEN_PIN_H

#include <cstdint>
#include <string>
#include <vector>

#include "module_info.h"
#include "pin_text.h"

namespace trhost::validate {

// A sample value of 1.0 stands for 10 volts; pin texts are in volts.
constexpr double kVoltsPerSample = 10.0;

struct DrivenPin {
    int32_t index = 0;
    PinDescription description;  // for a repeated pin, the last description, which it repeats
    bool repeated = false;

    // Audio inputs: the in-range span and the default, as sample values. A pin without a range text
    // spans the nominal full scale, -1 to 1.
    double low = -1.0;
    double high = 1.0;
    double default_sample = 0.0;
    // List pins: the choices, or the default alone when the list text does not parse.
    std::vector<ListChoice> choices;
    int32_t default_choice = 0;

    bool IsAudio() const { return description.datatype == DT_FSAMPLE; }
    bool IsList() const { return description.datatype == DT_LIST; }
    bool IsInput() const { return description.direction != PIN_OUT; }
    bool IsOutput() const { return description.direction == PIN_OUT; }
    // "pin 3 (Freq)"
    std::string Label() const;
    // The name of a list value: "square", or the number when it is no choice.
    std::string ChoiceName(int32_t value) const;
};

// The pins a host keeps for these descriptions: one per description, and when the last description
// asks for repetition, `extra_repeats` more like it.
std::vector<DrivenPin> DrivenPins(const std::vector<PinDescription>& descriptions, int32_t extra_repeats);

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_DRIVEN_PIN_H
