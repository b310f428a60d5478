// The texts a module gives in its pin descriptions, read the way this host reads them.
//   range text (DT_FSAMPLE): "top,bottom,display top,display bottom", volts, e.g. "20,.0001,20,.0001"
//   list text (DT_LIST):     "name=value,name=value,...", e.g. "sine=0,triangle=1,square=2"
#ifndef TRHOST_PIN_TEXT_H
#define TRHOST_PIN_TEXT_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace trhost {

struct PinRange {
    double top = 0;             // volts
    double bottom = 0;          // volts
    double display_top = 0;     // volts, for the host's controls
    double display_bottom = 0;  // volts, for the host's controls

    double Low() const { return bottom < top ? bottom : top; }
    double High() const { return bottom < top ? top : bottom; }
};

struct ListChoice {
    std::string name;
    int32_t value = 0;
};

// A whole text as one finite number ("10", "-0.5", ".0001", "1e3"); no blanks, nothing after it.
std::optional<double> ParseNumber(const std::string& text);

// A whole text as one integer in the 16-bit range a list value travels in.
std::optional<int32_t> ParseListValue(const std::string& text);

// Four comma-separated numbers; nullopt when the text has another form.
std::optional<PinRange> ParseRangeText(const std::string& text);

// Comma-separated name=value pairs, each name non-empty and each value a 16-bit integer; nullopt when
// the text has another form.
std::optional<std::vector<ListChoice>> ParseListText(const std::string& text);

}  // namespace trhost

#endif  // TRHOST_PIN_TEXT_H
