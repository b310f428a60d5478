// What a pin's volts mean to a musician, for pins whose meaning the host knows by name: a Freq pin
// reads 1 V as 1 Hz or 1 kHz as its module's "Freq scale" choice says, a Phase pin 1 V as one degree
// (360 V a whole period). Other pins are read as volts alone.
#ifndef TRHOST_PIN_UNITS_H
#define TRHOST_PIN_UNITS_H

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "module_info.h"

namespace trhost {

// The name of the scale a Freq pin is read on ("Hz", "kHz"): the "Freq scale" pin's choice as
// `settings` (pin name, value text) set it, else its default; nullopt when the module has no such pin
// or the choice cannot be read.
std::optional<std::string> FrequencyScale(const std::vector<PinDescription>& pins,
                                          const std::vector<std::pair<std::string, std::string>>& settings);

// " (4 Hz)", " (90°)", or "" for a pin the host knows no reading of. Without a known scale a Freq pin
// reads " (4 Hz or 4 kHz)".
std::string MusicalReading(const std::string& pin_name, double volts, const std::optional<std::string>& scale);

}  // namespace trhost

#endif  // TRHOST_PIN_UNITS_H
