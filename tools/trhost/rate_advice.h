// A warning, before any instance opens, when the sample rate makes a module's tables large: VEXLO
// sizes its sine table for its lowest frequency, 30 × R floats, which is 23 MB at 192 kHz but 1.2 GB
// at 10 MHz, more than a 32-bit process may be able to find in one piece.
#ifndef TRHOST_RATE_ADVICE_H
#define TRHOST_RATE_ADVICE_H

#include <optional>
#include <string>
#include <vector>

namespace trhost {

// Rates above this are beyond any audio interface; the warning starts here.
constexpr double kHighestAudioRate = 192000.0;

// The warning for a run at `rate` of instances of the modules named, or nullopt.
std::optional<std::string> SampleRateAdvice(double rate, const std::vector<std::string>& module_names);

}  // namespace trhost

#endif  // TRHOST_RATE_ADVICE_H
