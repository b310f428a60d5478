// Checks of numeric options that answer in words a user reads: "is not a whole number", "must be
// from 1 to 1048576", never the digits of the largest double.
#ifndef TRHOST_NUMBER_OPTIONS_H
#define TRHOST_NUMBER_OPTIONS_H

#include <CLI/CLI.hpp>

#include <optional>
#include <sstream>
#include <string>

#include "pin_text.h"

namespace trhost {

// A finite decimal number above zero ("44100", "0.5", "1e3"; not "0x10", "inf" or "-1"), and at most
// `highest` when that is given.
inline CLI::Validator PositiveDecimal(std::optional<double> highest = std::nullopt) {
    return CLI::Validator(
        [highest](std::string& text) -> std::string {
            auto number = ParseNumber(text);
            if (!number) return "\"" + text + "\" is not a decimal number";
            if (*number <= 0) return "\"" + text + "\" must be above zero";
            if (highest && *number > *highest) {
                std::ostringstream most;
                most << *highest;
                return "\"" + text + "\" must be above zero and at most " + most.str();
            }
            return "";
        },
        "POSITIVE");
}

// A whole decimal number from 1 to `highest`.
inline CLI::Validator WholeNumberFrom1To(long highest) {
    return CLI::Validator(
        [highest](std::string& text) -> std::string {
            bool digits =
                !text.empty() && text.size() <= 18 && text.find_first_not_of("0123456789") == std::string::npos;
            if (!digits) return "\"" + text + "\" is not a whole number";
            long long value = std::stoll(text);
            if (value < 1 || value > highest) {
                return "\"" + text + "\" must be from 1 to " + std::to_string(highest);
            }
            return "";
        },
        "1.." + std::to_string(highest));
}

}  // namespace trhost

#endif  // TRHOST_NUMBER_OPTIONS_H
