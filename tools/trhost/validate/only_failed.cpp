#include "only_failed.h"

#include <set>

namespace trhost::validate {

namespace {

bool Passed(const LibraryRecord& recorded, const Check& check, int level) {
    auto found = recorded.checks.find(check.name);
    if (found == recorded.checks.end()) return false;
    const RecordedVerdict& kept = found->second;
    return (kept.verdict == Verdict::kPass || kept.verdict == Verdict::kSkip) && kept.level >= level;
}

std::string Names(const std::vector<const Check*>& checks) {
    std::string names;
    for (const Check* check : checks) names += (names.empty() ? "" : ", ") + std::string(check->name);
    return names;
}

}  // namespace

Rerun PlanRerun(const std::vector<const Check*>& selected, std::optional<int> level, std::optional<uint32_t> seed,
                const LibraryRecord* recorded, const LibraryBuild& build) {
    Rerun rerun;
    rerun.seed = seed;
    if (!recorded || !(recorded->build == build)) {
        rerun.checks = selected;
        rerun.level = level.value_or(kDefaultLevel);
        rerun.note = recorded ? "the library has changed since its last recorded run: running every check"
                              : "no earlier run of the library is recorded: running every check";
        return rerun;
    }
    rerun.level = level.value_or(recorded->level);
    std::set<uint32_t> seeds;
    for (const Check* check : selected) {
        if (Passed(*recorded, *check, rerun.level)) continue;
        rerun.checks.push_back(check);
        auto found = recorded->checks.find(check->name);
        if (found != recorded->checks.end()) seeds.insert(found->second.seed);
    }
    if (!rerun.seed) rerun.seed = seeds.size() == 1 ? *seeds.begin() : recorded->seed;
    const std::string at = " at level " + std::to_string(rerun.level);
    rerun.note = rerun.checks.empty()
                     ? "every check passed" + at + " or deeper in earlier runs of this build: nothing to run"
                     : std::to_string(rerun.checks.size()) + " of " + std::to_string(selected.size()) +
                           " checks have not passed" + at + " on this build: " + Names(rerun.checks);
    return rerun;
}

}  // namespace trhost::validate
