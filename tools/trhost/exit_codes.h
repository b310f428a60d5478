// trhost's exit codes, one per stage at which a run can fail, and what each means to a user.
#ifndef TRHOST_EXIT_CODES_H
#define TRHOST_EXIT_CODES_H

namespace trhost {

constexpr int kExitOk = 0;
constexpr int kExitChecksFailed = 1;  // validate: a check failed or crashed
constexpr int kExitUsage = 2;         // the command line cannot be parsed, or holds a value out of range
constexpr int kExitLoad = 3;          // the library cannot be loaded or lacks its exports
constexpr int kExitModule = 4;        // the library holds no module, or makeModule answered null
constexpr int kExitSettings = 5;      // an unknown pin, or a value that is no number or choice
constexpr int kExitPatch = 6;         // the patch file is unreadable, malformed, or its wires are wrong
constexpr int kExitOutput = 7;        // an output file cannot be written
constexpr int kExitUnavailable = 8;   // the command is not part of this build (render, patch, analyze on Windows)
constexpr int kExitSource = 9;        // an audio file to play or to analyze cannot be read
constexpr int kExitRange = 10;        // patch --strict-ranges: a value or a wire's signal outside its pin's range

struct ExitCodeMeaning {
    int code;
    const char* meaning;
    // True for the codes only render, patch and analyze give: the help of a build without them
    // (Windows) leaves these out.
    bool media_only = false;
};

// The words `trhost --help` and the README give for each code.
inline constexpr ExitCodeMeaning kExitCodeMeanings[] = {
    {kExitOk, "success"},
    {kExitChecksFailed, "validate: a check failed or crashed"},
    {kExitUsage, "usage: the command line cannot be parsed, or holds a value out of range"},
    {kExitLoad, "the library cannot be loaded or lacks its exports"},
    {kExitModule, "the library holds no module, or makeModule answered null"},
    {kExitSettings, "an unknown pin, or a value that is no number or choice", true},
    {kExitPatch, "the patch file is unreadable, malformed, or its wires are wrong", true},
    {kExitOutput, "an output file cannot be written"},
    {kExitUnavailable, "the command is not part of this build (render, patch and analyze on Windows)", true},
    {kExitSource,
     "an audio file to play or to analyze is missing, not audio, empty, of more than 8 channels or in an "
     "encoding libsndfile cannot decode",
     true},
    {kExitRange,
     "patch with --strict-ranges: a value set, or the signal on a wire, leaves the range its pin states", true},
};

}  // namespace trhost

#endif  // TRHOST_EXIT_CODES_H
