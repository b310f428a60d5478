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
};

// True when no check failed or crashed.
bool RunPassed(const std::vector<CheckResult>& results);

void PrintRunHeader(std::ostream& out, const RunDescription& run);
void PrintCheckResult(std::ostream& out, const RunDescription& run, const CheckResult& result);
void PrintSummary(std::ostream& out, const std::vector<CheckResult>& results);
void PrintJson(std::ostream& out, const RunDescription& run, const std::vector<CheckResult>& results);

void PrintCheckList(std::ostream& out, const std::vector<const Check*>& checks, bool json);

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_REPORT_OUTPUT_H
