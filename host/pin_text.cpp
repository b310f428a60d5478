#include "pin_text.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace trhost {

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (true) {
        auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

}  // namespace

std::optional<double> ParseNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    // Decimal notation only: strtod would also take hexadecimal, "inf" and "nan".
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != 'e' && c != 'E' && c != '+' && c != '-') {
            return std::nullopt;
        }
    }
    errno = 0;
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<int32_t> ParseListValue(const std::string& text) {
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (end != text.c_str() + text.size() || errno == ERANGE) return std::nullopt;
    if (std::isspace(static_cast<unsigned char>(text.front()))) return std::nullopt;
    if (value < -32768 || value > 65535) return std::nullopt;
    return static_cast<int32_t>(value);
}

std::optional<PinRange> ParseRangeText(const std::string& text) {
    auto parts = Split(text, ',');
    if (parts.size() != 4) return std::nullopt;
    double values[4];
    for (int i = 0; i < 4; ++i) {
        auto number = ParseNumber(parts[i]);
        if (!number) return std::nullopt;
        values[i] = *number;
    }
    return PinRange{values[0], values[1], values[2], values[3]};
}

std::optional<std::vector<ListChoice>> ParseListText(const std::string& text) {
    std::vector<ListChoice> choices;
    for (const auto& part : Split(text, ',')) {
        auto equals = part.find('=');
        if (equals == std::string::npos || equals == 0) return std::nullopt;
        auto value = ParseListValue(part.substr(equals + 1));
        if (!value) return std::nullopt;
        choices.push_back({part.substr(0, equals), *value});
    }
    return choices;
}

}  // namespace trhost
