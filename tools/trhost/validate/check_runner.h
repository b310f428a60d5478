// Running checks: each one isolated where the platform allows, in a child process (POSIX) whose crash
// or hang ends only that child and is reported as the check's result; elsewhere in this process.
#ifndef TRHOST_VALIDATE_CHECK_RUNNER_H
#define TRHOST_VALIDATE_CHECK_RUNNER_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "check.h"

namespace trhost::validate {

// Long enough for the slowest check of levels 1 and 2 on a loaded machine, under wine too; the
// deepest level's soak gets ten times as long.
constexpr double kDefaultTimeoutSeconds = 60.0;
inline double DefaultTimeoutSeconds(int level) {
    return level >= kDeepestLevel ? 10 * kDefaultTimeoutSeconds : kDefaultTimeoutSeconds;
}

struct RunOptions {
    uint32_t seed = 0;
    // A check still running after this long is stopped and fails (a hang).
    double timeout_seconds = kDefaultTimeoutSeconds;
    int level = kDefaultLevel;
};

// True where each check runs in a child process.
bool ChecksRunIsolated();

CheckResult RunCheck(const Check& check, const ModuleLibrary& library, const RunOptions& options);

// The checks whose names match `pattern`: comma-separated parts, each a name, a part of one, or a
// wildcard pattern with * and ?. An empty pattern selects every check.
std::vector<const Check*> SelectChecks(const std::string& pattern);

// Runs the checks in order, handing each result to `done` as it comes.
std::vector<CheckResult> RunChecks(const std::vector<const Check*>& checks, const ModuleLibrary& library,
                                   const RunOptions& options, const std::function<void(const CheckResult&)>& done = {});

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_CHECK_RUNNER_H
