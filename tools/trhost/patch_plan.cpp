#include "patch_plan.h"

#include <cmath>
#include <cstdio>

#include "command_error.h"

namespace trhost {

int64_t RunSettings::Frames() const { return static_cast<int64_t>(seconds * rate + 0.5); }

void RunSettings::Check(int exit_code, const std::string& where) const {
    auto refuse = [&](const std::string& what) { throw CommandError(exit_code, where + what); };
    if (!std::isfinite(rate) || rate < 1.0 || rate > 1.0e7 || rate != std::floor(rate)) {
        refuse("sample rate must be a whole number of hertz from 1 to 10000000");
    }
    if (block < 1 || block > (1 << 20)) refuse("block size must be from 1 to 1048576 samples");
    if (!std::isfinite(seconds) || seconds <= 0.0) refuse("seconds must be a positive number");
    // The length is checked before it is counted: a huge run has no whole number of frames.
    if (seconds * rate > static_cast<double>(kMaxFrames)) {
        char length[32];
        std::snprintf(length, sizeof length, "%g", seconds);
        refuse("a run of " + std::string(length) + " s at " + std::to_string(int64_t(rate)) +
               " Hz is longer than the " + std::to_string(kMaxFrames) + " samples trhost keeps");
    }
    if (Frames() < 1) refuse("the run is shorter than one sample");
}

std::optional<PinRef> ParsePinRef(const std::string& text) {
    auto dot = text.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == text.size()) return std::nullopt;
    return PinRef{text.substr(0, dot), text.substr(dot + 1)};
}

}  // namespace trhost
