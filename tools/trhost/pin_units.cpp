#include "pin_units.h"

#include <cstdio>

#include "command_error.h"
#include "pin_values.h"

namespace trhost {

namespace {

constexpr const char* kFrequencyPin = "Freq";
constexpr const char* kScalePin = "Freq scale";
constexpr const char* kPhasePin = "Phase";

bool Named(const std::vector<PinDescription>& pins, const std::string& name, const char* wanted) {
    try {
        return FindPin(pins, name).name == FindPin(pins, wanted).name;
    } catch (const CommandError&) {
        return false;
    }
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

}  // namespace

std::optional<std::string> FrequencyScale(const std::vector<PinDescription>& pins,
                                          const std::vector<std::pair<std::string, std::string>>& settings) {
    for (const auto& pin : pins) {
        if (!pin.IsList() || !Named(pins, pin.name, kScalePin)) continue;
        try {
            for (const auto& [name, text] : settings) {
                if (Named(pins, name, kScalePin)) return ResolvePinValue(pin, text, nullptr).shown;
            }
            return DefaultPinValue(pin, nullptr).shown;
        } catch (const CommandError&) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::string MusicalReading(const std::string& pin_name, double volts, const std::optional<std::string>& scale) {
    std::vector<PinDescription> known(3);
    known[0].name = kFrequencyPin;
    known[1].name = kPhasePin;
    known[2].name = kScalePin;
    if (Named(known, pin_name, kPhasePin)) return " (" + Number(volts) + "\u00b0)";
    if (!Named(known, pin_name, kFrequencyPin)) return "";
    if (scale) return " (" + Number(volts) + " " + *scale + ")";
    return " (" + Number(volts) + " Hz or " + Number(volts) + " kHz)";
}

}  // namespace trhost
