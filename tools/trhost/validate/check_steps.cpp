#include "check_steps.h"

#include "stream_run.h"

namespace trhost::validate {

std::optional<std::vector<DrivenPin>> ReadPins(CheckContext& context) {
    context.Stage("makeModule to read the pins");
    auto pins = ProbePins(context.Library(), context.Rng());
    if (!pins) context.Fail("makeModule(0, 1) answered null");
    return pins;
}

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

BlockJudgement JudgeBlock(const BlockFindings& findings, const std::string& when, OutputRule rule) {
    BlockJudgement judgement;
    auto judge = [&](const std::vector<std::string>& lines, const char* what, bool fails) {
        for (const auto& line : lines) {
            (fails ? judgement.failures : judgement.warnings)
                .push_back(std::string(what) + ": " + line + " (" + when + ")");
        }
    };
    judge(findings.outside_writes, "write outside the block", true);
    judge(findings.changed_inputs, "input buffer changed", true);
    judge(findings.stale_writes, "kept a buffer address across process calls", true);
    if (rule == OutputRule::kInRange) {
        judge(findings.nonfinite_outputs, "non-finite output for in-range input", true);
        judge(findings.denormal_outputs, "denormal output", false);
        judge(findings.unwritten_outputs, "output left unwritten", false);
    }
    return judgement;
}

bool ReportBlock(CheckContext& context, const BlockFindings& findings, const std::string& when, OutputRule rule) {
    BlockJudgement judgement = JudgeBlock(findings, when, rule);
    for (const auto& line : judgement.failures) context.Fail(line);
    for (const auto& line : judgement.warnings) context.Warn(line);
    return judgement.failures.empty();
}

void ReportProcessEntryFaults(CheckContext& context, const ModuleSession& session) {
    for (const auto& fault : session.ProcessEntryFaults()) context.Fail(fault);
}

}  // namespace trhost::validate
