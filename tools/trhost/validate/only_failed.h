// What `trhost validate --only-failed` runs: the checks the library's latest build has not passed.
//
// A check has passed when the record holds PASS or SKIP for it from a run of this very build at the
// level asked for or a deeper one (a deeper level does all a shallower one does, and more). WARN,
// FAIL and CRASH (a hang fails) have not passed, nor has a check that never ran on this build, nor
// one that passed only at a shallower level. With no record of the library, or a record of another
// build of it, every check runs. --only narrows the choice as it narrows any run.
//
// Without --level the run takes the level of the library's latest run; without --seed, the seed the
// checks it runs again came to their verdicts with (the latest run's, when they came with several),
// so that a check that failed meets the same inputs and cuts again rather than a fresh draw that may
// miss its fault.
#ifndef TRHOST_VALIDATE_ONLY_FAILED_H
#define TRHOST_VALIDATE_ONLY_FAILED_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "check.h"
#include "run_record.h"

namespace trhost::validate {

struct Rerun {
    std::vector<const Check*> checks;
    int level = kDefaultLevel;
    std::optional<uint32_t> seed;  // none: draw a fresh one
    std::string note;              // one line that says what runs, and why
};

// `selected`: the checks --only chose (every check without it); `level` and `seed` as the command line
// gives them; `recorded`: the library's record, if it has one; `build`: the library as it is now.
Rerun PlanRerun(const std::vector<const Check*>& selected, std::optional<int> level, std::optional<uint32_t> seed,
                const LibraryRecord* recorded, const LibraryBuild& build);

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_ONLY_FAILED_H
