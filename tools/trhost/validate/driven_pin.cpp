#include "driven_pin.h"

#include <algorithm>

namespace trhost::validate {

std::string DrivenPin::Label() const {
    std::string label = "pin " + std::to_string(index);
    if (!description.name.empty()) label += " (" + description.name + ")";
    return label;
}

std::string DrivenPin::ChoiceName(int32_t value) const {
    for (const auto& choice : choices) {
        if (choice.value == value) return choice.name;
    }
    return std::to_string(value);
}

namespace {

DrivenPin Drive(int32_t index, const PinDescription& description, bool repeated) {
    DrivenPin pin;
    pin.index = index;
    pin.description = description;
    pin.repeated = repeated;
    if (pin.IsAudio()) {
        if (description.extra_text) {
            if (auto range = ParseRangeText(*description.extra_text)) {
                pin.low = range->Low() / kVoltsPerSample;
                pin.high = range->High() / kVoltsPerSample;
            }
        }
        double fallback = std::clamp(0.0, pin.low, pin.high);
        pin.default_sample = fallback;
        if (description.default_text) {
            if (auto volts = ParseNumber(*description.default_text)) {
                double sample = *volts / kVoltsPerSample;
                if (sample >= pin.low && sample <= pin.high) pin.default_sample = sample;
            }
        }
    } else if (pin.IsList()) {
        if (description.default_text) {
            if (auto value = ParseListValue(*description.default_text)) pin.default_choice = *value;
        }
        if (description.extra_text) {
            if (auto choices = ParseListText(*description.extra_text)) pin.choices = *choices;
        }
        if (pin.choices.empty()) pin.choices.push_back({std::to_string(pin.default_choice), pin.default_choice});
    }
    return pin;
}

}  // namespace

std::vector<DrivenPin> DrivenPins(const std::vector<PinDescription>& descriptions, int32_t extra_repeats) {
    std::vector<DrivenPin> pins;
    for (const auto& description : descriptions) {
        pins.push_back(Drive(description.index, description, false));
    }
    if (!descriptions.empty() && (descriptions.back().flags & PIN_FLAG_REPEAT)) {
        int32_t next = static_cast<int32_t>(descriptions.size());
        for (int32_t i = 0; i < extra_repeats; ++i) {
            pins.push_back(Drive(next + i, descriptions.back(), true));
        }
    }
    return pins;
}

}  // namespace trhost::validate
