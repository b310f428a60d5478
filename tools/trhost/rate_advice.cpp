#include "rate_advice.h"

#include <algorithm>
#include <cstdio>

namespace trhost {

namespace {

// VEXLO's lowest frequency is 1/30 Hz: its sine table holds one cycle of it.
constexpr double kSineTableSecondsOfSamples = 30.0;

}  // namespace

std::optional<std::string> SampleRateAdvice(double rate, const std::vector<std::string>& module_names) {
    if (rate <= kHighestAudioRate) return std::nullopt;
    if (std::find(module_names.begin(), module_names.end(), "VEXLO") == module_names.end()) return std::nullopt;
    double megabytes = kSineTableSecondsOfSamples * rate * sizeof(float) / 1.0e6;
    char text[200];
    std::snprintf(text, sizeof text,
                  "at %.0f Hz each VEXLO builds a sine table of 30 x %.0f floats (%.0f MB) when it opens; "
                  "instances at one rate share it",
                  rate, rate, megabytes);
    return std::string(text);
}

}  // namespace trhost
