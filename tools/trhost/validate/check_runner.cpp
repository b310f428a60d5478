#include "check_runner.h"

namespace trhost::validate {

namespace {

bool Matches(const char* pattern, const char* text) {
    if (*pattern == '\0') return *text == '\0';
    if (*pattern == '*') return Matches(pattern + 1, text) || (*text && Matches(pattern, text + 1));
    if (*text == '\0') return false;
    return (*pattern == '?' || *pattern == *text) && Matches(pattern + 1, text + 1);
}

bool Selects(const std::string& part, const std::string& name) {
    if (part.find_first_of("*?") != std::string::npos) return Matches(part.c_str(), name.c_str());
    return name.find(part) != std::string::npos;
}

}  // namespace

std::vector<const Check*> SelectChecks(const std::string& pattern) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (start <= pattern.size()) {
        auto end = pattern.find(',', start);
        if (end == std::string::npos) end = pattern.size();
        if (end > start) parts.push_back(pattern.substr(start, end - start));
        start = end + 1;
    }
    std::vector<const Check*> selected;
    for (const auto& check : AllChecks()) {
        bool chosen = parts.empty();
        for (const auto& part : parts) chosen = chosen || Selects(part, check.name);
        if (chosen) selected.push_back(&check);
    }
    return selected;
}

std::vector<CheckResult> RunChecks(const std::vector<const Check*>& checks, const ModuleLibrary& library,
                                   const RunOptions& options, const std::function<void(const CheckResult&)>& done) {
    std::vector<CheckResult> results;
    for (const Check* check : checks) {
        results.push_back(RunCheck(*check, library, options));
        if (done) done(results.back());
    }
    return results;
}

}  // namespace trhost::validate
