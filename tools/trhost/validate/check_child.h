// A check in a process of its own on Windows, where there is no fork: the runner starts the running
// executable again with a command line of its own (CheckChildArguments), and that executable's main
// hands such a command line to RunCheckChild before anything else. trhost's main does, and so must
// that of any other program that runs checks (the validator's tests).
#ifndef TRHOST_VALIDATE_CHECK_CHILD_H
#define TRHOST_VALIDATE_CHECK_CHILD_H

#include <cstdint>
#include <string>

#include "check_runner.h"

namespace trhost::validate {

// The first argument of a child's command line; no command or option of trhost looks like it.
constexpr const char* kCheckChildFlag = "--trhost-check-child";

// What a child is told: the check, the library, the run's seed and level, and the pipe (an inherited
// handle, as a number) that its messages go down.
struct CheckChildTask {
    std::string check;
    std::string library;
    uint32_t seed = 0;
    int level = kDefaultLevel;
    uintptr_t pipe = 0;
};

// The arguments after the executable's name, each one a separate string.
std::vector<std::string> CheckChildArguments(const CheckChildTask& task);

// True when argv is a child's command line.
bool IsCheckChild(int argc, char** argv);

// Runs the check the command line names and answers the process's exit status. Messages go down the
// pipe as they come (result_builder.h's lines); an unhandled exception is sent as its code before the
// process ends with it.
int RunCheckChild(int argc, char** argv);

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_CHECK_CHILD_H
