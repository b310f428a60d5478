// trhost's exit codes, one per stage at which a run can fail.
#ifndef TRHOST_EXIT_CODES_H
#define TRHOST_EXIT_CODES_H

namespace trhost {

constexpr int kExitOk = 0;
constexpr int kExitChecksFailed = 1;  // validate: a check failed or crashed
constexpr int kExitUsage = 2;         // the command line could not be parsed
constexpr int kExitLoad = 3;          // the library cannot be loaded or lacks its exports
constexpr int kExitModule = 4;        // the library holds no module, or makeModule answered null
constexpr int kExitSettings = 5;      // an unknown pin, or a value that is no number or choice
constexpr int kExitPatch = 6;         // the patch file is unreadable, malformed, or its wires are wrong
constexpr int kExitOutput = 7;        // an output file cannot be written
constexpr int kExitUnavailable = 8;   // the command is not part of this build (render and patch on Windows)
constexpr int kExitSource = 9;        // an audio file given as a source cannot be read

}  // namespace trhost

#endif  // TRHOST_EXIT_CODES_H
