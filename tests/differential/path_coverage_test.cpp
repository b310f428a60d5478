// The engine's paths that no other differential scenario reaches, against the literal engine, and the
// check that the differential program as a whole reached every path and innermost loop of the map at
// the top of the engine (the program links the counted engine, path_counters.h).
//   - The stepwise path, forced on ordinary tables: every wave, modulated and held inputs, specials,
//     several rates (its own condition, a table too long for exact products, needs a 3.16 MHz rate).
//   - The modulated sine reading its table, forced at rates whose split gives every entry (its own
//     condition, a split that refuses an entry, is rare and depends on the sine function's last bits).
//   - No tables: rates the tables cannot be built for, where every sample is Offset x In.
//   - The map itself: its rows are the counters, in their order, so that what the coverage check names
//     is what a reader finds in the map.
//   - The proofs' preconditions (VEXLO_ASSUME, module/assume.h): every test of the program fails on a
//     report, and a false one is reported.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "cycle_arithmetic.h"
#include "differential.h"
#include "fake_host.h"
#include "path_counters.h"
#include "tr_assert.h"
#include "vexlo_module.h"

namespace {

namespace paths = vexlo::paths;

vexlo::testing::DifferentialReport RunOnce(float rate, uint32_t seed, int32_t samples) {
    ModuleRig rig((new VexloModule(FakeHost::Callback, 0x57E9))->Plug(), vexlo::testing::kDifferentialCapacity);
    rig.SetSampleRate(rate);
    rig.Wire();
    rig.Open();
    const auto report = vexlo::testing::RunDifferential(rig, rate, seed, samples, true);
    rig.Close();
    return report;
}

// The counters of every path but the given ones, added up.
int64_t OthersThan(std::initializer_list<paths::Path> these) {
    int64_t sum = 0;
    for (int32_t p = 0; p < static_cast<int32_t>(paths::Path::kCount); ++p) {
        bool listed = false;
        for (const paths::Path path : these) listed = listed || static_cast<int32_t>(path) == p;
        if (!listed) sum += paths::Counter(static_cast<paths::Path>(p));
    }
    return sum;
}

// RunOnce with one of the test build's switches set for the run, which must stay bit-equal and write
// nowhere else.
vexlo::testing::DifferentialReport RunForced(void (*force)(bool), float rate, uint32_t seed) {
    force(true);
    const auto report = RunOnce(rate, seed, 40000);
    force(false);
    EXPECT_EQ(report.mismatches, 0) << report.first_failure;
    EXPECT_EQ(report.outside_writes, 0);
    return report;
}

TEST(Stepwise, ForcedOnOrdinaryTablesIsBitEqual) {
    FakeHost host;
    host.pin_count = VexloModule::kPinCount;
    for (const float rate : {881.0f, 1763.0f, 44100.0f, 48000.0f}) {
        // The smoother's recompute is the definition's own loop, which the stepwise path shares.
        const auto stepwise_paths = {paths::Path::kStepwise, paths::Path::kSmootherRecompute};
        const int64_t before = OthersThan(stepwise_paths);
        const int64_t stepwise = paths::Counter(paths::Path::kStepwise);
        const auto report = RunForced(paths::ForceStepwise, rate, 0x5E9u + static_cast<uint32_t>(rate));
        EXPECT_GT(report.active_like, report.samples / 10) << "scenario barely exercises the oscillator";
        EXPECT_GT(paths::Counter(paths::Path::kStepwise), stepwise);
        EXPECT_EQ(OthersThan(stepwise_paths), before) << "a forced stretch took another path at " << rate;
    }
}

TEST(ModulatedSine, TableReadsForcedAreBitEqual) {
    FakeHost host;
    host.pin_count = VexloModule::kPinCount;
    for (const float rate : {1763.0f, 48000.0f}) {
        const int64_t split = paths::Counter(paths::Path::kSplitSineEntries);
        const int64_t table = paths::Counter(paths::Path::kSineTableEntries);
        RunForced(paths::ForceSineTableReads, rate, 0x7AB7Eu + static_cast<uint32_t>(rate));
        EXPECT_GT(paths::Counter(paths::Path::kSineTableEntries), table) << rate;
        EXPECT_EQ(paths::Counter(paths::Path::kSplitSineEntries), split)
            << "a forced stretch read the split at " << rate;
    }
}

TEST(NoTables, UnusableRatesGiveOffsetTimesInBitEqual) {
    FakeHost host;
    host.pin_count = VexloModule::kPinCount;
    const int64_t before = paths::Counter(paths::Path::kNoTables);
    for (const float rate : {0.0f, 0.5f, -44100.0f, std::numeric_limits<float>::quiet_NaN(), 1e12f}) {
        const auto report = RunOnce(rate, 0x7AB1u, 5000);
        EXPECT_EQ(report.mismatches, 0) << report.first_failure;
        EXPECT_EQ(report.outside_writes, 0);
        EXPECT_EQ(report.active_like, 0) << "rate " << rate;
    }
    EXPECT_GT(paths::Counter(paths::Path::kNoTables), before);
}

// The rows of the map at the top of the engine's file, by name: the first word of each line between the
// header and the dashes under it and the closing note, where the line starts with one.
std::vector<std::string> MapRows() {
    std::ifstream source(VEXLO_ENGINE_SOURCE);
    std::vector<std::string> rows;
    std::string line;
    bool inside = false;
    while (std::getline(source, line)) {
        if (line.rfind("// Row (counter)", 0) == 0) {
            inside = true;
            std::getline(source, line);  // the dashes
            continue;
        }
        if (!inside) continue;
        if (line.rfind("// (", 0) == 0 || line.rfind("//", 0) != 0) break;
        const std::string name_column = line.substr(2, 32);
        const size_t first = name_column.find_first_not_of(' ');
        if (first == std::string::npos) continue;  // a row's continuation
        rows.push_back(name_column.substr(first, name_column.find(' ', first) - first));
    }
    return rows;
}

TEST(Map, RowsAreTheCountersInTheirOrder) {
    const std::vector<std::string> rows = MapRows();
    ASSERT_FALSE(rows.empty()) << "no map found in " << VEXLO_ENGINE_SOURCE;
    std::vector<std::string> counters;
    for (int32_t p = 0; p < static_cast<int32_t>(paths::Path::kCount); ++p)
        counters.push_back(paths::Name(static_cast<paths::Path>(p)));
    EXPECT_EQ(rows, counters);
}

// Every test of the program fails on a report of a failed check: a proof's precondition (VEXLO_ASSUME)
// or the framework's own. A test that expects one installs its own handler for its duration.
class NoFailedChecks : public ::testing::Environment {
public:
    void SetUp() override { TRSetAssertHandler(&Fail); }
    void TearDown() override { TRSetAssertHandler(nullptr); }

private:
    static void Fail(const char* expression, const char* source, int line) {
        ADD_FAILURE_AT(source, line) << "failed check: " << expression;
    }
};

::testing::Environment* const kNoFailedChecks = ::testing::AddGlobalTestEnvironment(new NoFailedChecks);

struct Reports {
    static void Count(const char*, const char*, int) { ++count; }
    static inline int count = 0;
};

TEST(Assumptions, AFalseOneIsReportedInTheCountedBuild) {
    const TRAssertHandler previous = TRSetAssertHandler(&Reports::Count);
    Reports::count = 0;
    EXPECT_EQ(vexlo::AddWrapped(1, 2, 3), 0);
    EXPECT_EQ(Reports::count, 0) << "operands inside 0 .. P - 1";
    static_cast<void>(vexlo::AddWrapped(3, 0, 3));
    EXPECT_EQ(Reports::count, 1) << "an operand of P";
    TRSetAssertHandler(previous);
}

// After a run of the whole program (not of a chosen part), every path of the map has run.
class EveryPathRan : public ::testing::Environment {
public:
    void TearDown() override {
        const ::testing::UnitTest& unit = *::testing::UnitTest::GetInstance();
        if (unit.test_to_run_count() != unit.total_test_count()) return;
        std::string missing;
        for (int32_t p = 0; p < static_cast<int32_t>(paths::Path::kCount); ++p) {
            if (paths::Counter(static_cast<paths::Path>(p)) == 0)
                missing += std::string(" ") + paths::Name(static_cast<paths::Path>(p));
        }
        EXPECT_TRUE(missing.empty()) << "paths of the engine's map that no differential test reached:" << missing;
    }
};

::testing::Environment* const kEveryPathRan = ::testing::AddGlobalTestEnvironment(new EveryPathRan);

}  // namespace
