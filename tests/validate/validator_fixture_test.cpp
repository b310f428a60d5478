// The validator's checks against the gain fixture: built correctly it passes every check; built with
// one deliberate fault, the check meant to catch that fault rejects it, saying what it saw. For the
// faults that only comparisons of runs, the host-call audit, timing or the stack's alignment can see,
// that check alone rejects it: every other check passes (or skips, where it compares runs of a module
// that does not repeat itself). On Windows the fault kinds whose checks work differently there run:
// each check in a child process, allocations seen through the module's import table, the stack.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <string>

#include "check_runner.h"
#include "module_library.h"

using namespace trhost;
using namespace trhost::validate;

namespace {

constexpr uint32_t kSeed = 20240521u;

#if defined(_WIN32)
constexpr const char* kLibrarySuffix = ".dll";
// What a crash by a null pointer is called.
constexpr const char* kNullPointerCrash = "exception 0xc0000005 (access violation)";
#else
constexpr const char* kLibrarySuffix = ".so";
constexpr const char* kNullPointerCrash = "SIGSEGV";
#endif

std::unique_ptr<ModuleLibrary> LoadFixture(const std::string& name) {
    std::string error;
    auto library =
        ModuleLibrary::Load(std::string(VALIDATOR_FIXTURE_DIR) + "/gain_fixture_" + name + kLibrarySuffix, &error);
    EXPECT_TRUE(library) << error;
    return library;
}

std::string Describe(const CheckResult& result) {
    std::string text = result.name + ": " + VerdictName(result.verdict);
    if (!result.crash.empty()) text += "\n  crash: " + result.crash;
    for (const auto& line : result.failures) text += "\n  fail: " + line;
    for (const auto& line : result.warnings) text += "\n  warn: " + line;
    if (!result.skipped.empty()) text += "\n  skipped: " + result.skipped;
    return text;
}

std::vector<CheckResult> RunOn(const ModuleLibrary& library, const std::string& only, double timeout_seconds = 60,
                               uint32_t seed = kSeed) {
    RunOptions options;
    options.seed = seed;
    options.timeout_seconds = timeout_seconds;
    return RunChecks(SelectChecks(only), library, options);
}

// Every check but the report, which only informs, and those named.
std::string AllBut(std::initializer_list<std::string> left_out) {
    std::string names;
    for (const auto& check : AllChecks()) {
        bool wanted = std::string(check.name) != "report" &&
                      std::find(left_out.begin(), left_out.end(), check.name) == left_out.end();
        if (!wanted) continue;
        names += (names.empty() ? "" : ",") + std::string(check.name);
    }
    return names;
}

bool Rejects(const CheckResult& result) { return result.verdict != Verdict::kPass && result.verdict != Verdict::kSkip; }

}  // namespace

TEST(ValidatorOnFixtures, CorrectModulePassesEveryCheck) {
    auto library = LoadFixture("good");
    ASSERT_TRUE(library);
    auto results = RunOn(*library, "");
    ASSERT_EQ(results.size(), AllChecks().size());
    for (const auto& result : results) {
        // Nothing skipped either, but for the stack's alignment on Linux, where the ABI has every host
        // keep 16 bytes.
#if defined(_WIN32)
        EXPECT_EQ(result.verdict, Verdict::kPass) << Describe(result);
#else
        Verdict expected = result.name == "stack-alignment" ? Verdict::kSkip : Verdict::kPass;
        EXPECT_EQ(result.verdict, expected) << Describe(result);
#endif
    }
}

TEST(ValidatorOnFixtures, CrashEndsOnlyItsOwnCheck) {
    auto library = LoadFixture("crashes_on_nan");
    ASSERT_TRUE(library);
    auto results = RunOn(*library, "");
    ASSERT_EQ(results.size(), AllChecks().size());
    for (const auto& result : results) {
        // The three checks that feed NaN crash; every other check, those after them too, still runs in
        // a process of its own and passes.
        if (result.name == "bad-input" || result.name == "recovery" || result.name == "fp-state") {
            EXPECT_EQ(result.verdict, Verdict::kCrash) << Describe(result);
        } else {
            EXPECT_FALSE(Rejects(result)) << Describe(result);
        }
    }
}

// A module that reads a table after freeing it reads the pattern the validator leaves there, which
// changes from one free to the next: the comparing checks reject it on every seed, not by chance.
TEST(ValidatorOnFixtures, ReadingFreedMemoryFailsEveryTime) {
    auto library = LoadFixture("reads_after_free");
    ASSERT_TRUE(library);
    for (uint32_t seed : {1u, 2u, 3u}) {
        auto results = RunOn(*library, "isolation,determinism", 60.0, seed);
        bool rejected = false;
        std::string all;
        for (const auto& result : results) {
            rejected = rejected || result.verdict == Verdict::kFail;
            all += Describe(result) + "\n";
        }
        EXPECT_TRUE(rejected) << "seed " << seed << ":\n" << all;
    }
}

struct FaultCase {
    const char* fixture;
    const char* check;      // the check that must reject it
    Verdict verdict;        // how
    const char* seen;       // a part of what it must say it saw
    const char* only = "";  // checks to run; when empty all but the report and, unless with_long_run, the
                            // long run (an hour of audio per setting: seconds more for each fault's test)
    bool alone = false;     // no other check rejects it
    // Long enough for the timing checks, which count the thread's own working time, on a busy
    // machine; short for a fault that hangs.
    double timeout_seconds = 60.0;
    bool with_long_run = false;
};

void PrintTo(const FaultCase& fault, std::ostream* out) { *out << fault.fixture << " -> " << fault.check; }

class ValidatorRejects : public testing::TestWithParam<FaultCase> {};

TEST_P(ValidatorRejects, FaultWithTheRightCheck) {
    const FaultCase& fault = GetParam();
    auto library = LoadFixture(fault.fixture);
    ASSERT_TRUE(library);
    std::string only = *fault.only ? fault.only : fault.with_long_run ? AllBut({}) : AllBut({"long-run"});
    auto results = RunOn(*library, only, fault.timeout_seconds);
    const CheckResult* found = nullptr;
    std::string all;
    for (const auto& result : results) {
        if (result.name == fault.check) found = &result;
        all += Describe(result) + "\n";
    }
    ASSERT_TRUE(found) << all;
    EXPECT_EQ(found->verdict, fault.verdict) << all;
    std::string said = found->crash;
    for (const auto& line : found->failures) said += "\n" + line;
    for (const auto& line : found->warnings) said += "\n" + line;
    EXPECT_NE(said.find(fault.seen), std::string::npos) << "expected \"" << fault.seen << "\" in:\n" << all;
    if (fault.alone) {
        for (const auto& result : results) {
            if (result.name != fault.check) {
                EXPECT_FALSE(Rejects(result)) << "also rejected by " << result.name << ":\n" << all;
            }
        }
    }
}

// On both platforms: the faults whose checks see them through the child processes (a crash, a hang)
// and the allocators, which work differently on each, and the faults a host meets in the field
// whatever its platform: buffers that move or are shared, input that is no number, hours of running.
INSTANTIATE_TEST_SUITE_P(
    EachPlatform, ValidatorRejects,
    testing::Values(FaultCase{"crashes_on_nan", "bad-input", Verdict::kCrash, kNullPointerCrash},
                    FaultCase{"leaks_on_close", "open-close-cycles", Verdict::kFail, "memory grew over 100"},
                    FaultCase{"allocates_in_process", "realtime", Verdict::kFail, "inside the process routine"},
                    FaultCase{"hangs_on_huge_gain", "bad-input", Verdict::kFail, "did not finish within", "bad-input",
                              false, 5.0},
                    FaultCase{"keeps_first_buffers", "moving-buffers", Verdict::kFail,
                              "kept a buffer address across process calls: pin 3 (Out)", "", true},
                    FaultCase{"borrows_input_buffer", "shared-inputs", Verdict::kFail,
                              "with pin 0 (In), pin 1 (Gain) on one buffer", "", true},
                    FaultCase{"stays_nonfinite", "recovery", Verdict::kFail, "after pin 1 (Gain) nan for one sample",
                              "", true},
                    FaultCase{"stalling_tremolo", "long-run", Verdict::kFail, "in the window from 59.0 min", "", true,
                              60.0, true}),
    [](const testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.fixture); });

#if defined(_WIN32)
INSTANTIATE_TEST_SUITE_P(
    Windows, ValidatorRejects,
    testing::Values(FaultCase{"assumes_aligned_stack", "stack-alignment", Verdict::kCrash,
                              "a crash here is a stack-alignment fault", "", true}),
    [](const testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.fixture); });
#else
INSTANTIATE_TEST_SUITE_P(
    EachFaultKind, ValidatorRejects,
    testing::Values(
        FaultCase{"writes_past_block", "processing", Verdict::kFail, "write outside the block: pin 3 (Out)"},
        FaultCase{"crashes_at_rate", "processing", Verdict::kCrash, "during: 48000 Hz"},
        FaultCase{"broken_range_text", "pins", Verdict::kFail, "range text \"10;0;10;0\" is not four numbers"},
        FaultCase{"describes_past_end", "pins", Verdict::kFail, "index 4 answered 0 but the record was written"},
        FaultCase{"nonfinite_output", "processing", Verdict::kFail, "non-finite output for in-range input"},
        FaultCase{"untold_process_change", "open-close", Verdict::kFail,
                  "DISP_OPEN: the process entry changed without HOST_PROCESS_FUNCTION_CHANGED"},
        FaultCase{"leaves_flush_to_zero", "fp-state", Verdict::kFail, "DISP_OPEN: MXCSR 0x1f80 -> 0x9fc0"},
        FaultCase{"processes_in_place", "processing", Verdict::kFail, "input buffer changed: pin 0 (In)"},
        FaultCase{"ignores_kind", "exports", Verdict::kFail, "makeModule(0, 0) made an instance"},
        FaultCase{"adds_to_host_flags", "pins", Verdict::kFail, "pin 0: flags depends on what the host's record held"},
        FaultCase{"close_answers_zero", "open-close", Verdict::kFail, "DISP_CLOSE after DISP_OPEN answered 0, not 1"},
        FaultCase{"reads_gain_once_per_block", "block-partition", Verdict::kFail, "pin 3 (Out): sample 1 is", "", true},
        FaultCase{"ignores_offset", "block-partition", Verdict::kFail, "with 1-sample calls through each block", "",
                  true},
        FaultCase{"shares_rate_table", "isolation", Verdict::kFail, "beside the others but", "", true},
        FaultCase{"depends_on_time", "determinism", Verdict::kFail, "two runs with the same input differ", "", true},
        FaultCase{"shared_scratch", "threads", Verdict::kFail, "with other threads running but", "", true},
        FaultCase{
            "status_clock_zero", "host-calls", Verdict::kFail,
            "HOST_SET_PIN_STATUS(index 3, value 2, ptr 0x0, opt 0) during DISP_OPEN: stamped with sample clock 0, "
            "but the current clock is 4294963200",
            "", true},
        FaultCase{"announces_every_block", "host-calls", Verdict::kFail,
                  "HOST_PROCESS_FUNCTION_CHANGED(index 0, value 0, ptr 0x0, opt 0) during process(offset", "", true},
        FaultCase{"denormal_state", "denormals", Verdict::kWarn, "pin 1 (Gain): silence after the input decayed costs",
                  "", true}),
    [](const testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.fixture); });
#endif
