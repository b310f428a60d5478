#include "check_steps.h"

namespace trhost::validate {

bool CreateAndOpen(CheckContext& context, ModuleSession& session, float sample_rate) {
    context.Stage("makeModule");
    if (!session.Create()) {
        context.Fail("makeModule(0, 1) answered null");
        return false;
    }
    context.Stage("DISP_OPEN at " + std::to_string(static_cast<int>(sample_rate)) + " Hz");
    session.Open(sample_rate);
    return true;
}

bool ReportBlock(CheckContext& context, const BlockFindings& findings, const std::string& when, OutputRule rule) {
    bool clean = true;
    auto report = [&](const std::vector<std::string>& lines, const char* what, bool fails) {
        for (const auto& line : lines) {
            std::string text = std::string(what) + ": " + line + " (" + when + ")";
            if (fails) {
                context.Fail(text);
                clean = false;
            } else {
                context.Warn(text);
            }
        }
    };
    report(findings.outside_writes, "write outside the block", true);
    report(findings.changed_inputs, "input buffer changed", true);
    if (rule == OutputRule::kInRange) {
        report(findings.nonfinite_outputs, "non-finite output for in-range input", true);
        report(findings.denormal_outputs, "denormal output", false);
        report(findings.unwritten_outputs, "output left unwritten", false);
    }
    return clean;
}

void ReportProcessEntryFaults(CheckContext& context, const ModuleSession& session) {
    for (const auto& fault : session.ProcessEntryFaults()) context.Fail(fault);
}

}  // namespace trhost::validate
