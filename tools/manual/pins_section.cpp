// The pin tables of VEXLO and its companions, as each module itself describes its pins to a host, in
// volts.
#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "host_instance.h"
#include "module_info.h"
#include "sections.h"

namespace manual {

namespace {

std::string KindOf(const trhost::PinDescription& pin) {
    const char* direction = pin.direction == PIN_OUT ? "output" : pin.direction == PIN_SETTING ? "setting" : "input";
    return std::string(direction) + (pin.IsList() ? ", choice" : pin.IsAudio() ? ", signal" : "");
}

// "sine=0,triangle=1" -> "sine, triangle"; "20,.0001,20,.0001" -> "up to 20 V"
std::string RangeOf(const trhost::PinDescription& pin) {
    if (!pin.extra_text) return "";
    const std::string& text = *pin.extra_text;
    if (pin.IsList()) {
        std::string names;
        size_t at = 0;
        while (at < text.size()) {
            size_t comma = text.find(',', at);
            if (comma == std::string::npos) comma = text.size();
            const std::string entry = text.substr(at, comma - at);
            names += (names.empty() ? "" : ", ") + entry.substr(0, entry.find('='));
            at = comma + 1;
        }
        return names;
    }
    // The host's four numbers: the first two give the top and bottom of the control's travel.
    const size_t comma = text.find(',');
    const size_t second = text.find(',', comma + 1);
    return text.substr(comma + 1, second - comma - 1) + " V to " + text.substr(0, comma) + " V";
}

// One table row per pin, as `library` describes its pins to the host.
std::string PinRows(const trhost::ModuleLibrary& library) {
    trhost::HostInstance host(library);
    if (!host.Create()) throw std::runtime_error(library.Path() + ": makeModule answered null");
    std::string rows;
    for (const auto& pin : host.DescribePins()) {
        std::string shown_default = pin.default_text.value_or("");
        if (!shown_default.empty() && pin.IsAudio()) shown_default += " V";
        if (!shown_default.empty() && pin.IsList()) {
            // The default choice by name.
            const std::string choices = pin.extra_text.value_or("");
            const size_t at = choices.find("=" + shown_default);
            if (at != std::string::npos) {
                const size_t start = choices.rfind(',', at);
                shown_default = choices.substr(start == std::string::npos ? 0 : start + 1,
                                               at - (start == std::string::npos ? 0 : start + 1));
            }
        }
        rows += "<tr><td>" + EscapeHtml(pin.name) + "</td><td>" + KindOf(pin) + "</td><td>" +
                EscapeHtml(shown_default) + "</td><td>" + EscapeHtml(RangeOf(pin)) + "</td></tr>\n";
    }
    host.Close();
    return rows;
}

}  // namespace

void AddPins(Manual& manual) { manual.fields["pin_rows"] = PinRows(manual.vexlo); }

void AddCompanionPins(Manual& manual, const trhost::ModuleLibrary& companion) {
    std::string name = trhost::ReadModuleInfo(companion).name;
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    manual.fields["pin_rows_" + name] = PinRows(companion);
}

}  // namespace manual
