// What `trhost validate` prints: a line per check as it finishes with what it saw, and a summary; or
// the whole run as one JSON document.
#ifndef TRHOST_VALIDATE_REPORT_OUTPUT_H
#define TRHOST_VALIDATE_REPORT_OUTPUT_H

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "check.h"

namespace trhost::validate {

struct RunDescription {
    std::string library;
    uint32_t seed = 0;
    bool isolated = false;
    int level = kDefaultLevel;
};

// "trhost validate LIB --seed N --level L --only CHECK": the command that runs one check again alike.
std::string ReproduceCommand(const RunDescription& run, const std::string& check);

// True when no check failed or crashed.
bool RunPassed(const std::vector<CheckResult>& results);

void PrintRunHeader(std::ostream& out, const RunDescription& run);
void PrintCheckResult(std::ostream& out, const RunDescription& run, const CheckResult& result);
// "22 checks: 20 passed, ... in 19.8 s": the count of each verdict and the wall time of the whole run.
void PrintSummary(std::ostream& out, const std::vector<CheckResult>& results, double seconds);
// The run as one document; "seconds" is the wall time of the whole run.
void PrintJson(std::ostream& out, const RunDescription& run, const std::vector<CheckResult>& results, double seconds);
// The JSON answer when the library could not be loaded: the library, the error, and passed false.
void PrintJsonLoadFailure(std::ostream& out, const std::string& library, const std::string& error);

// A line per check, its name and what it tests; or, as JSON, an array of objects with each check's
// name, description and level (the lowest --level that runs it).
void PrintCheckList(std::ostream& out, const std::vector<const Check*>& checks, bool json);

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_REPORT_OUTPUT_H
