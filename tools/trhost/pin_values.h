// What the user may write for a pin, and what it means to the module: pins are named as the module
// names them (any letter case), audio values are in volts, list values are a choice name or number.
#ifndef TRHOST_PIN_VALUES_H
#define TRHOST_PIN_VALUES_H

#include <cstdint>
#include <string>
#include <vector>

#include "module_info.h"

namespace trhost {

// A value ready for the pin: a constant sample for an audio pin, a 16-bit value for a list pin.
struct PinValue {
    float sample = 0.0f;     // audio pins: 1.0 is 10 volts
    int32_t list_value = 0;  // list pins
    std::string shown;       // as the plot and messages show it: "4 V", "triangle"
};

// Volts per unit sample value: the convention of the pin texts.
constexpr double kVoltsPerUnit = 10.0;

// "PIN=VALUE", split at the first '=', blanks around either part dropped; the pin part must not be
// empty. Throws CommandError (settings).
void SplitAssignment(const std::string& text, std::string* pin, std::string* value);

// The pin of that name, compared without regard to letter case. Throws CommandError (settings)
// naming the pin, suggesting the nearest name and listing the module's pins when there is none.
const PinDescription& FindPin(const std::vector<PinDescription>& pins, const std::string& name);

// The pins a user may give a value: described inputs and settings of audio or list type.
bool IsSettable(const PinDescription& pin);

// Reads `text` for `pin`. Throws CommandError (settings) naming the pin and the value when the text is
// no number (audio) or no choice (list). A number outside the pin's range text is taken, and a
// warning naming the range is appended to `warnings`.
PinValue ResolvePinValue(const PinDescription& pin, const std::string& text, std::vector<std::string>* warnings);

// The value a pin takes when nobody sets it: its default text, or 0 when it has none or the text
// cannot be read (then with a warning).
PinValue DefaultPinValue(const PinDescription& pin, std::vector<std::string>* warnings);

// How a sample value is shown in volts ("4 V", "0.25 V").
std::string VoltsText(double volts);

}  // namespace trhost

#endif  // TRHOST_PIN_VALUES_H
