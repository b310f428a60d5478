// One instance of a module library driven as the host drives it, with inputs that may change on every
// sample: what the manual's figures and measurements are made from.
#ifndef VEXLO_MANUAL_MODULE_RUN_H
#define VEXLO_MANUAL_MODULE_RUN_H

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "module_library.h"

namespace manual {

// An input's value in volts at a frame (sample index from the start of the run).
using VoltsAt = std::function<double(int64_t frame)>;

struct ModuleRun {
    double rate = 44100.0;  // hertz
    double seconds = 1.0;
    int32_t block = 256;
    std::map<std::string, std::string> choices;  // list pins: "Wave" -> "square"
    std::map<std::string, VoltsAt> inputs;       // audio inputs; the others keep their defaults

    int64_t Frames() const;
};

// The first output pin's samples over the run, in the module's units (1.0 is 10 volts). Throws
// std::runtime_error naming the module and the pin when a pin or choice does not exist.
std::vector<float> RenderOut(const trhost::ModuleLibrary& library, const ModuleRun& run);

// A held value, as an input.
VoltsAt Held(double volts);

}  // namespace manual

#endif  // VEXLO_MANUAL_MODULE_RUN_H
