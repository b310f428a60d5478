// The record of earlier runs that `trhost validate --only-failed` reads: for each library validated
// with it, which build of the library was run (its size and a hash of its bytes), the seed and level
// of its latest run, and the latest verdict of every check, with the seed and level it came at.
// It is a small JSON file, by default kDefaultRecordPath in the working folder (as a test runner
// keeps its cache beside the project). Libraries are told apart by their absolute paths, so that
// runs of several libraries, and runs from several folders, share one record.
#ifndef TRHOST_VALIDATE_RUN_RECORD_H
#define TRHOST_VALIDATE_RUN_RECORD_H

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "check.h"

namespace trhost::validate {

inline constexpr const char* kDefaultRecordPath = ".trhost-validate.json";

// One build of a library: a library rebuilt or replaced at the same path is another build, and one
// rebuilt to the same bytes (a reproducible build) is the same.
struct LibraryBuild {
    uint64_t size = 0;
    std::string hash;  // FNV-1a of the bytes, 64 bits, in hex
    bool operator==(const LibraryBuild&) const = default;
};

// The build of the library at `path`; none when it cannot be read.
std::optional<LibraryBuild> BuildOf(const std::string& path);

struct RecordedVerdict {
    Verdict verdict = Verdict::kPass;
    uint32_t seed = 0;
    int level = kDefaultLevel;
};

struct LibraryRecord {
    LibraryBuild build;
    uint32_t seed = 0;  // of the latest run
    int level = kDefaultLevel;
    std::map<std::string, RecordedVerdict> checks;  // by name: those that have run on this build
};

class RunRecord {
public:
    // The record kept at `path`. A file that is not there is an empty record. A file that is there
    // but is no record (or one this trhost cannot read) is an empty record too, which Save will not
    // write over; `problem` says so.
    static RunRecord Load(const std::string& path, std::string* problem);

    // The record of the library at `library_path`, if it has one.
    const LibraryRecord* Find(const std::string& library_path) const;

    // A run of `library_path`, of `build`, with `seed` at `level` starts, to run the checks named in
    // `to_run`: a record of another build of it is dropped, the run's seed and level become the
    // library's, and the verdicts of the checks about to run are forgotten until they come again, so
    // that a run killed inside a check (a hang a CI job's own timeout ends) leaves that check without
    // a verdict, to be run again, rather than with the verdict of an earlier run.
    void StartRun(const std::string& library_path, const LibraryBuild& build, uint32_t seed, int level,
                  const std::set<std::string>& to_run = {});
    // A check of that run came to `result`: its verdict replaces the one recorded.
    void Add(const std::string& library_path, const CheckResult& result);

    // Writes into the file what this run changed of the library's entry (its seed and level, and the
    // verdicts of the checks it started), keeping what other runs wrote there since Load, of this
    // library or of others (the file is read again just before), through a temporary file renamed
    // over it. Two runs of one library at once, each of some checks, so keep each other's verdicts;
    // only two saves in the same instant can still lose one. False, with `problem`, when it cannot.
    bool Save(const std::string& library_path, std::string* problem) const;

private:
    std::string m_path;
    bool m_writable = true;
    std::map<std::string, LibraryRecord> m_libraries;  // by absolute path
    // Of the library whose run this is: whether its build was new to the record (its entry is then
    // written whole), and the checks the run started (their verdicts, or their absence, are written).
    bool m_new_build = false;
    std::set<std::string> m_started;
};

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_RUN_RECORD_H
