#include "pin_values.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>

#include "command_error.h"
#include "exit_codes.h"
#include "pin_text.h"

namespace trhost {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

[[noreturn]] void Refuse(const std::string& message) { throw CommandError(kExitSettings, message); }

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string ChoiceList(const std::vector<ListChoice>& choices) {
    std::string list;
    for (const auto& choice : choices) {
        if (!list.empty()) list += ", ";
        list += choice.name + "=" + std::to_string(choice.value);
    }
    return list;
}

PinValue AudioValue(const PinDescription& pin, const std::string& text, std::vector<std::string>* warnings) {
    auto volts = ParseNumber(text);
    if (!volts) {
        Refuse("pin " + Quoted(pin.name) + ": value " + Quoted(text) + " is not a number of volts");
    }
    double sample = *volts / kVoltsPerUnit;
    if (std::fabs(sample) > FLT_MAX) {
        Refuse("pin " + Quoted(pin.name) + ": value " + Quoted(text) + " is beyond what a 32-bit sample can hold");
    }
    if (pin.extra_text && warnings) {
        if (auto range = ParseRangeText(*pin.extra_text)) {
            if (*volts < range->Low() || *volts > range->High()) {
                warnings->push_back("pin " + Quoted(pin.name) + ": " + VoltsText(*volts) + " is outside its range " +
                                    VoltsText(range->Low()) + " to " + VoltsText(range->High()) + "; using it anyway");
            }
        }
    }
    PinValue value;
    value.sample = static_cast<float>(sample);
    value.shown = VoltsText(*volts);
    return value;
}

PinValue ListValue(const PinDescription& pin, const std::string& text) {
    std::optional<std::vector<ListChoice>> choices;
    if (pin.extra_text) choices = ParseListText(*pin.extra_text);
    PinValue value;
    if (choices) {
        for (const auto& choice : *choices) {
            if (SameName(choice.name, text)) {
                value.list_value = choice.value;
                value.shown = choice.name;
                return value;
            }
        }
    }
    auto number = ParseListValue(text);
    if (number && choices) {
        for (const auto& choice : *choices) {
            if (choice.value == *number) {
                value.list_value = choice.value;
                value.shown = choice.name;
                return value;
            }
        }
    }
    if (choices) {
        Refuse("pin " + Quoted(pin.name) + ": value " + Quoted(text) + " is not a choice (" + ChoiceList(*choices) +
               ")");
    }
    // A list pin whose choices cannot be read takes any value its 16 bits can carry.
    if (!number) {
        Refuse("pin " + Quoted(pin.name) + ": value " + Quoted(text) +
               " is not a list value (a whole number from -32768 to 65535)");
    }
    value.list_value = *number;
    value.shown = text;
    return value;
}

std::string Trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t"), last = text.find_last_not_of(" \t");
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

// Edits that turn one name into the other, letter case aside (Levenshtein distance).
size_t NameDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (Lower(a[i - 1]) == Lower(b[j - 1]) ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

void SplitAssignment(const std::string& text, std::string* pin, std::string* value) {
    auto equals = text.find('=');
    if (equals == std::string::npos || Trimmed(text.substr(0, equals)).empty()) {
        Refuse("setting " + Quoted(text) + " is not of the form PIN=VALUE");
    }
    *pin = Trimmed(text.substr(0, equals));
    *value = Trimmed(text.substr(equals + 1));
}

const PinDescription& FindPin(const std::vector<PinDescription>& pins, const std::string& name) {
    for (const auto& pin : pins) {
        if (SameName(pin.name, name)) return pin;
    }
    std::string known;
    const PinDescription* nearest = nullptr;
    size_t nearest_distance = 0;
    for (const auto& pin : pins) {
        known += (known.empty() ? "" : ", ") + pin.name;
        size_t distance = NameDistance(name, pin.name);
        if (!nearest || distance < nearest_distance) {
            nearest = &pin;
            nearest_distance = distance;
        }
    }
    // A suggestion only when the name is plainly a slip: a third of its letters at most, and two or more.
    std::string suggestion;
    if (nearest && nearest_distance <= std::max<size_t>(2, nearest->name.size() / 3)) {
        suggestion = "did you mean " + Quoted(nearest->name) + "? ";
    }
    Refuse("unknown pin " + Quoted(name) + " (" + suggestion +
           "the module's pins: " + (known.empty() ? std::string("none") : known) + ")");
}

bool IsSettable(const PinDescription& pin) { return pin.direction != PIN_OUT && (pin.IsAudio() || pin.IsList()); }

PinValue ResolvePinValue(const PinDescription& pin, const std::string& text, std::vector<std::string>* warnings) {
    if (pin.direction == PIN_OUT) Refuse("pin " + Quoted(pin.name) + " is an output; it cannot be set");
    if (pin.IsAudio()) return AudioValue(pin, text, warnings);
    if (pin.IsList()) return ListValue(pin, text);
    Refuse("pin " + Quoted(pin.name) + " has data type " + DatatypeName(pin.datatype) + ", which this host cannot set");
}

PinValue DefaultPinValue(const PinDescription& pin, std::vector<std::string>* warnings) {
    PinValue value;
    value.shown = pin.IsAudio() ? VoltsText(0.0) : "0";
    if (!pin.default_text || !IsSettable(pin)) return value;
    try {
        // Only a malformed default is reported; a default outside the pin's own range is the module's
        // business.
        return ResolvePinValue(pin, *pin.default_text, nullptr);
    } catch (const CommandError& error) {
        if (warnings) warnings->push_back("default of " + std::string(error.what()) + "; using 0");
        return value;
    }
}

std::string VoltsText(double volts) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g V", volts);
    return text;
}

}  // namespace trhost
