// Steps the checks share: reading the pins, bringing a session up, and reporting what a block left in the buffers. A
// write outside the block, a changed input and a write into a buffer the host has taken back are
// memory faults and always fail; what counts against the output depends on what was fed.
#ifndef TRHOST_VALIDATE_CHECK_STEPS_H
#define TRHOST_VALIDATE_CHECK_STEPS_H

#include <optional>
#include <string>
#include <vector>

#include "check.h"
#include "module_session.h"

namespace trhost::validate {

// The pins the module describes, from an instance made and closed for the purpose, with a stage; a
// refusal of makeModule fails the check. None then.
std::optional<std::vector<DrivenPin>> ReadPins(CheckContext& context);

// makeModule and DISP_OPEN at `sample_rate`, with stages; a refusal fails the check. False then.
bool CreateAndOpen(CheckContext& context, ModuleSession& session, float sample_rate);

enum class OutputRule {
    kInRange,   // finite in-range input: non-finite output fails; denormal or unwritten output warns
    kAnything,  // input that may be anything: only the memory faults count
};

// The findings as lines, each followed by " (when)": what fails and what warns under `rule`.
struct BlockJudgement {
    std::vector<std::string> failures;
    std::vector<std::string> warnings;
};
BlockJudgement JudgeBlock(const BlockFindings& findings, const std::string& when, OutputRule rule);

// Reports the findings, each followed by " (when)". Answers true when nothing failed.
bool ReportBlock(CheckContext& context, const BlockFindings& findings, const std::string& when, OutputRule rule);

// Reports the faults a session's watches saw (changes of the process entry) as failures.
void ReportProcessEntryFaults(CheckContext& context, const ModuleSession& session);

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_CHECK_STEPS_H
