#include "report_output.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace trhost::validate {

namespace {

const Check* Find(const std::string& name) {
    for (const auto& check : AllChecks()) {
        if (name == check.name) return &check;
    }
    return nullptr;
}

// A wall time as the summary gives it: tenths of a second.
std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

bool Failed(const CheckResult& result) { return result.verdict == Verdict::kFail || result.verdict == Verdict::kCrash; }

}  // namespace

std::string ReproduceCommand(const RunDescription& run, const std::string& check) {
    std::string level = run.level == kDefaultLevel ? "" : " --level " + std::to_string(run.level);
    return "trhost validate " + run.library + " --seed " + std::to_string(run.seed) + level + " --only " + check;
}

bool RunPassed(const std::vector<CheckResult>& results) {
    for (const auto& result : results) {
        if (Failed(result)) return false;
    }
    return true;
}

void PrintRunHeader(std::ostream& out, const RunDescription& run) {
    out << "trhost validate " << run.library << "  seed " << run.seed << "  level " << run.level
        << (run.isolated ? "  (each check in its own process)" : "  (checks in this process: a crash ends the run)")
        << "\n";
}

void PrintCheckResult(std::ostream& out, const RunDescription& run, const CheckResult& result) {
    char head[96];
    std::snprintf(head, sizeof head, "%-5s  %-18s %6.2f s", VerdictName(result.verdict), result.name.c_str(),
                  result.seconds);
    out << head << "\n";
    const char* indent = "       ";
    if (!result.crash.empty()) out << indent << "crash: " << result.crash << "\n";
    for (const auto& line : result.failures) out << indent << "fail: " << line << "\n";
    for (const auto& line : result.warnings) out << indent << "warn: " << line << "\n";
    if (!result.skipped.empty()) out << indent << "skipped: " << result.skipped << "\n";
    for (const auto& line : result.infos) out << indent << "info: " << line << "\n";
    if (Failed(result)) out << indent << "reproduce: " << ReproduceCommand(run, result.name) << "\n";
    out.flush();
}

void PrintSummary(std::ostream& out, const std::vector<CheckResult>& results, double seconds) {
    int counts[5] = {0, 0, 0, 0, 0};
    for (const auto& result : results) ++counts[static_cast<int>(result.verdict)];
    out << results.size() << " checks: " << counts[static_cast<int>(Verdict::kPass)] << " passed, "
        << counts[static_cast<int>(Verdict::kWarn)] << " warned, " << counts[static_cast<int>(Verdict::kFail)]
        << " failed, " << counts[static_cast<int>(Verdict::kCrash)] << " crashed, "
        << counts[static_cast<int>(Verdict::kSkip)] << " skipped, in " << Seconds(seconds) << " s\n";
}

void PrintJson(std::ostream& out, const RunDescription& run, const std::vector<CheckResult>& results, double seconds) {
    nlohmann::json checks = nlohmann::json::array();
    for (const auto& result : results) {
        const Check* check = Find(result.name);
        nlohmann::json entry = {
            {"name", result.name},
            {"description", check ? check->description : ""},
            {"verdict", VerdictName(result.verdict)},
            {"seconds", result.seconds},
            {"failures", result.failures},
            {"warnings", result.warnings},
            {"infos", result.infos},
        };
        if (!result.crash.empty()) entry["crash"] = result.crash;
        if (!result.skipped.empty()) entry["skipped"] = result.skipped;
        if (Failed(result)) entry["reproduce"] = ReproduceCommand(run, result.name);
        checks.push_back(entry);
    }
    nlohmann::json document = {
        {"library", run.library},       {"seed", run.seed},   {"level", run.level}, {"isolated", run.isolated},
        {"passed", RunPassed(results)}, {"seconds", seconds}, {"checks", checks},
    };
    out << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

void PrintJsonLoadFailure(std::ostream& out, const std::string& library, const std::string& error) {
    nlohmann::json document = {
        {"library", library}, {"passed", false}, {"error", error}, {"checks", nlohmann::json::array()}};
    out << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

void PrintCheckList(std::ostream& out, const std::vector<const Check*>& checks, bool json) {
    if (json) {
        nlohmann::json list = nlohmann::json::array();
        for (const Check* check : checks) {
            list.push_back({{"name", check->name}, {"description", check->description}, {"level", check->level}});
        }
        out << list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
        return;
    }
    for (const Check* check : checks) {
        char line[256];
        std::snprintf(line, sizeof line, "%-18s %s", check->name, check->description);
        out << line << "\n";
    }
}

}  // namespace trhost::validate
