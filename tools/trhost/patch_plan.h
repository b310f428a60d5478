// A patch as trhost runs it: named instances of module libraries, the values set on their pins, the
// wires from outputs to inputs, and the output pins that become the channels of the result. A single
// render is a patch of one instance whose outputs are all its output pins.
#ifndef TRHOST_PATCH_PLAN_H
#define TRHOST_PATCH_PLAN_H

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace trhost {

// How long and in which steps a patch runs.
struct RunSettings {
    static constexpr double kDefaultRate = 44100.0;
    static constexpr int32_t kDefaultBlock = 1024;
    static constexpr double kDefaultSeconds = 2.0;
    // Frames per channel a run may keep in memory: 2^25 floats (128 MiB) per channel, about 12.7
    // minutes at 44100 Hz, so that a mistyped --seconds fails at once instead of exhausting memory.
    static constexpr int64_t kMaxFrames = int64_t{1} << 25;

    double rate = kDefaultRate;     // hertz; whole, since a WAV header carries a whole number
    int32_t block = kDefaultBlock;  // samples per process call
    double seconds = kDefaultSeconds;

    // Samples per channel: seconds × rate, rounded to the nearest whole sample.
    int64_t Frames() const;
    // Throws CommandError with `exit_code` naming the first setting that cannot be run.
    void Check(int exit_code, const std::string& where) const;
};

// A reference to a pin of a named instance: "car.Freq" (the instance's name holds no '.').
struct PinRef {
    std::string module;
    std::string pin;
    std::string Text() const { return module + "." + pin; }
};

struct ModulePlan {
    std::string name;                                      // unique in the patch; holds no '.'
    std::string library;                                   // path as it is to be loaded
    std::vector<std::pair<std::string, std::string>> set;  // pin name, value text
    std::vector<std::pair<std::string, PinRef>> wires;     // input pin name, source output pin
};

// An audio file whose channels feed wired inputs as "NAME.1", "NAME.2", ... (audio_source.h).
struct FilePlan {
    std::string name;  // unique among the patch's modules and files; holds no '.'
    std::string path;  // as it is to be opened
};

struct PatchPlan {
    std::string title;   // names the module or the patch in the plot
    std::string origin;  // prefix of error messages: "" for a render, "FILE: " for a patch file
    std::vector<ModulePlan> modules;
    std::vector<FilePlan> files;
    std::vector<PinRef> outputs;  // empty: every output pin of every instance, in order
};

// "mod.Out" split at its first '.'; nullopt when either part would be empty.
std::optional<PinRef> ParsePinRef(const std::string& text);

}  // namespace trhost

#endif  // TRHOST_PATCH_PLAN_H
