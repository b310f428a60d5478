// A named validator check: what it is called, what it tests in one line, and the routine that runs
// it against a loaded module library, reporting what it sees through a CheckContext.
#ifndef TRHOST_VALIDATE_CHECK_H
#define TRHOST_VALIDATE_CHECK_H

#include <cstdint>
#include <string>
#include <vector>

#include "module_library.h"
#include "random.h"

namespace trhost::validate {

enum class Verdict { kPass, kWarn, kFail, kCrash, kSkip };

// Depths of a run. 1 is a quick look (a few seconds), 2 what a run does unless told otherwise, 3 a
// long soak before a release: more rates, settings, partitions, threads and cycles.
constexpr int kQuickestLevel = 1;
constexpr int kDefaultLevel = 2;
constexpr int kDeepestLevel = 3;
const char* VerdictName(Verdict verdict);

// Where a check reports. Messages travel as they are written, so that what a check saw before it
// crashed is still known. Stage names what the check is about to do: a crash is reported with it.
class CheckContext {
public:
    virtual ~CheckContext() = default;
    virtual const ModuleLibrary& Library() const = 0;
    // Random choices of this check; the same run seed gives the same choices.
    virtual Random& Rng() = 0;
    // Whether allocations of the whole process are counted (see allocation_counter.h).
    virtual bool CountsAllocations() const = 0;
    // How deep the run goes, kQuickestLevel to kDeepestLevel: checks scale their work by it.
    virtual int Level() const = 0;

    virtual void Stage(const std::string& what) = 0;
    virtual void Fail(const std::string& what) = 0;
    virtual void Warn(const std::string& what) = 0;
    virtual void Info(const std::string& what) = 0;
    // The check does not apply here; says why.
    virtual void Skip(const std::string& why) = 0;
};

struct Check {
    const char* name;
    const char* description;
    void (*run)(CheckContext& context);
    // The lowest --level that runs it; the levels above it do more of it (see CheckContext::Level).
    int level = kQuickestLevel;
};

// Every check, in the order a run takes them.
const std::vector<Check>& AllChecks();

// What one check came to.
struct CheckResult {
    std::string name;
    Verdict verdict = Verdict::kPass;
    std::vector<std::string> failures;  // at most a few, then a count of the rest
    std::vector<std::string> warnings;
    std::vector<std::string> infos;
    std::string skipped;  // why the check did not run here
    std::string crash;    // the signal or exception, and the stage it came in
    double seconds = 0.0;
};

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_CHECK_H
