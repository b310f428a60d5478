// trhost validate LIB: the conformance and stress checks of validate/ against one module library.
#include <CLI/CLI.hpp>

#include <chrono>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "commands.h"
#include "exit_codes.h"
#include "module_library.h"
#include "number_options.h"
#include "validate/check_runner.h"
#include "validate/junit_report.h"
#include "validate/only_failed.h"
#include "validate/report_output.h"
#include "validate/run_record.h"

namespace trhost {

namespace {

// A day: longer than any soak, and well inside the watchdogs' millisecond counts (32 bits).
constexpr double kLongestTimeoutSeconds = 86400;

struct ValidateOptions {
    std::string library;
    std::optional<uint32_t> seed;
    std::string only;
    bool only_failed = false;
    std::string record = validate::kDefaultRecordPath;
    bool list = false;
    bool json = false;
    std::string junit;
    int level = validate::kDefaultLevel;
    bool level_given = false;
    double timeout_seconds = validate::kDefaultTimeoutSeconds;
    bool timeout_given = false;
};

uint32_t FreshSeed() {
    std::random_device device;
    auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return device() ^ static_cast<uint32_t>(ticks) ^ static_cast<uint32_t>(static_cast<uint64_t>(ticks) >> 32);
}

// The record of this run for --only-failed, written as the run starts and after every check, so that a
// run that ends early (stopped, or killed by a CI job's timeout) keeps the verdicts it came to, and
// leaves the check it was inside without one. A record that
// cannot be kept is said once and changes nothing else: the checks' verdicts decide the exit code.
class RunKeeper {
public:
    RunKeeper(const std::string& path, const std::string& library) : m_library(library) {
        std::string problem;
        m_record = validate::RunRecord::Load(path, &problem);
        Warn(problem);
        m_failed = !problem.empty();  // a file that is no record is never written over
        m_build = validate::BuildOf(library);
        if (!m_build) Warn(library + " cannot be read to tell its build apart: its run is not recorded");
    }
    const validate::LibraryRecord* Recorded() const { return m_build ? m_record.Find(m_library) : nullptr; }
    // The library as it is now (an empty build when it cannot be read, which matches no record).
    validate::LibraryBuild Build() const { return m_build.value_or(validate::LibraryBuild{}); }

    // The run starts `checks`: their earlier verdicts are forgotten at once (and saved), so that a run
    // killed inside one of them leaves it to be run again.
    void Start(uint32_t seed, int level, const std::vector<const validate::Check*>& checks) {
        if (!m_build) return;
        std::set<std::string> names;
        for (const validate::Check* check : checks) names.insert(check->name);
        m_record.StartRun(m_library, *m_build, seed, level, names);
        Save();
    }
    void Keep(const validate::CheckResult& result) {
        if (!m_build) return;
        m_record.Add(m_library, result);
        Save();
    }
    void Save() {
        if (m_failed) return;
        std::string problem;
        if (!m_record.Save(m_library, &problem)) {
            Warn(problem + ": this run is not recorded for --only-failed");
            m_failed = true;
        }
    }

private:
    static void Warn(const std::string& problem) {
        if (!problem.empty()) std::cerr << "trhost validate: warning: " << problem << "\n";
    }
    std::string m_library;
    validate::RunRecord m_record;
    std::optional<validate::LibraryBuild> m_build;
    bool m_failed = false;
};

int RunValidate(ValidateOptions options) {
    auto checks = validate::SelectChecks(options.only);
    if (checks.empty()) {
        std::cerr << "trhost validate: no check matches \"" << options.only << "\" (see --list)\n";
        return kExitUsage;
    }
    if (options.list) {
        // Every check with the lowest level that runs it, whatever --level says.
        validate::PrintCheckList(std::cout, checks, options.json);
        return kExitOk;
    }
    if (options.library.empty()) {
        std::cerr << "trhost validate: a module library is required\n";
        return kExitUsage;
    }
    std::string error;
    auto library = ModuleLibrary::Load(options.library, &error);
    if (!library) {
        std::cerr << "trhost validate: " << error << "\n";
        if (options.json) validate::PrintJsonLoadFailure(std::cout, options.library, error);
        return kExitLoad;
    }
    // Opened before the run, so that a path that cannot be written stops it before it starts.
    std::ofstream junit;
    if (!options.junit.empty()) {
        junit.open(options.junit, std::ios::binary | std::ios::trunc);
        if (!junit) {
            std::cerr << "trhost validate: cannot write the JUnit report " << options.junit << "\n";
            return kExitOutput;
        }
    }

    RunKeeper keeper(options.record, options.library);
    if (options.only_failed) {
        validate::Rerun rerun =
            validate::PlanRerun(checks, options.level_given ? std::optional<int>(options.level) : std::nullopt,
                                options.seed, keeper.Recorded(), keeper.Build());
        std::cerr << "trhost validate: --only-failed: " << rerun.note << "\n";
        checks = rerun.checks;
        options.level = rerun.level;
        options.seed = rerun.seed;
    }
    // A check that starts at a deeper level than this run's does not run.
    std::erase_if(checks, [&](const validate::Check* check) { return check->level > options.level; });

    validate::RunDescription run{options.library, options.seed.value_or(FreshSeed()), validate::ChecksRunIsolated(),
                                 options.level};
    double timeout = options.timeout_given ? options.timeout_seconds : validate::DefaultTimeoutSeconds(options.level);
    validate::RunOptions run_options{run.seed, timeout, options.level};
    keeper.Start(run.seed, run.level, checks);
    if (!options.json) validate::PrintRunHeader(std::cout, run);
    const auto start = std::chrono::steady_clock::now();
    auto results = validate::RunChecks(checks, *library, run_options, [&](const validate::CheckResult& result) {
        keeper.Keep(result);
        if (!options.json) validate::PrintCheckResult(std::cout, run, result);
    });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (options.json) {
        validate::PrintJson(std::cout, run, results, seconds);
    } else {
        validate::PrintSummary(std::cout, results, seconds);
    }
    if (junit.is_open()) {
        validate::WriteJUnitReport(junit, run, results);
        junit.close();
        if (!junit) {
            std::cerr << "trhost validate: cannot write the JUnit report " << options.junit << "\n";
            return kExitOutput;
        }
    }
    return validate::RunPassed(results) ? kExitOk : kExitChecksFailed;
}

}  // namespace

CommandAction AddValidateCommand(CLI::App& app) {
    auto options = std::make_shared<ValidateOptions>();
    auto* command = app.add_subcommand(
        "validate", "Check a module library against the interface: lifecycle, pins, processing, safety");
    command->add_option("LIB", options->library, "the module library (.so or .dll)");
    command->add_option("--seed", options->seed, "seed of every random choice; a failure prints the one it used");
    command->add_option("--only", options->only,
                        "run only checks matching these names, parts of names or * ? patterns (comma-separated)");
    command->add_flag("--only-failed", options->only_failed,
                      "run only the checks this build of LIB has not passed (WARN, FAIL, CRASH, or not run) at this "
                      "level or deeper, as --record FILE keeps them; every check when LIB has changed. Without "
                      "--seed and --level, with the seed they failed with and the last run's level");
    command
        ->add_option("--record", options->record,
                     "the record of each library's runs that every run writes and --only-failed reads (JSON)")
        ->type_name("FILE")
        ->capture_default_str();
    command->add_flag("--list", options->list, "list the checks with a line on each, and exit (as `validate list`)");
    command->add_flag("--json", options->json,
                      "print the results as one JSON document (also when LIB cannot be loaded)");
    command->add_option("--junit", options->junit, "also write the results to FILE as a JUnit XML report")
        ->type_name("FILE");
    auto* level =
        command
            ->add_option("--level", options->level,
                         "depth: 1 a quick look (seconds), 2 the usual run, 3 a long soak (more rates, settings, "
                         "partitions, threads)")
            ->check(CLI::Range(validate::kQuickestLevel, validate::kDeepestLevel))
            ->capture_default_str();
    auto* timeout = command
                        ->add_option("--timeout", options->timeout_seconds,
                                     "seconds a check may run before it fails as hung (600 at level 3)")
                        ->check(PositiveDecimal(kLongestTimeoutSeconds))
                        ->capture_default_str();
    auto* list = command->add_subcommand(
        "list",
        "List the checks and exit: a line on each, or with --json an array of each check's name, "
        "description and level (the lowest --level that runs it)");
    list->add_flag("--json", options->json, "print the list as a JSON array");
    // --only, given before or after `list`, narrows the list.
    list->fallthrough();
    return [options, timeout, level, list] {
        options->timeout_given = timeout->count() > 0;
        options->level_given = level->count() > 0;
        options->list = options->list || list->parsed();
        return RunValidate(*options);
    };
}

}  // namespace trhost
