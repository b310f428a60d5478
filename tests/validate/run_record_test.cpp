// The record of earlier runs and what --only-failed chooses from it: which build of a library a
// verdict belongs to, which verdicts count as passed at which level, the seed a failure is run again
// with, and a record file shared by runs of several libraries, on both targets.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "check_runner.h"
#include "only_failed.h"
#include "run_record.h"

using namespace trhost::validate;
namespace fs = std::filesystem;

namespace {

// A folder of its own under the system's temporary folder, removed afterwards.
class RecordTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                (std::string("trhost_record_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Path(const std::string& name) const { return (m_dir / name).string(); }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(m_dir / name, std::ios::binary) << bytes;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(m_dir / name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path m_dir;
};

CheckResult Result(const std::string& name, Verdict verdict) {
    CheckResult result;
    result.name = name;
    result.verdict = verdict;
    return result;
}

// A library's record of one run of `build` with the verdicts given, at `level` with `seed`.
LibraryRecord Recorded(const LibraryBuild& build, uint32_t seed, int level,
                       std::initializer_list<std::pair<const char*, Verdict>> verdicts) {
    LibraryRecord recorded{build, seed, level, {}};
    for (const auto& [name, verdict] : verdicts) recorded.checks[name] = RecordedVerdict{verdict, seed, level};
    return recorded;
}

std::vector<std::string> Names(const std::vector<const Check*>& checks) {
    std::vector<std::string> names;
    for (const Check* check : checks) names.push_back(check->name);
    return names;
}

const LibraryBuild kBuild{1000, "00000000000000aa"};

}  // namespace

TEST_F(RecordTest, ABuildIsTheLibrarysBytesNotItsPathOrTime) {
    Write("a.so", "module bytes");
    Write("b.so", "module bytes");
    Write("c.so", "module byteS");
    auto a = BuildOf(Path("a.so"));
    ASSERT_TRUE(a);
    EXPECT_EQ(a->size, 12u);
    EXPECT_EQ(a->hash.size(), 16u);
    EXPECT_EQ(*a, *BuildOf(Path("b.so")));
    EXPECT_NE(*a, *BuildOf(Path("c.so")));
    EXPECT_FALSE(BuildOf(Path("none.so")));
    // Bigger than one read, so that every part of it counts.
    std::string big(200000, 'x');
    Write("big.so", big);
    big[150000] = 'y';
    Write("big2.so", big);
    EXPECT_NE(*BuildOf(Path("big.so")), *BuildOf(Path("big2.so")));
    EXPECT_EQ(BuildOf(Path("big.so"))->size, 200000u);
}

TEST_F(RecordTest, KeepsEachLibrarysVerdictsAcrossRunsAndDropsThemForANewBuild) {
    const std::string record_path = Path("record.json");
    const std::string lib = Path("lib.so");
    std::string problem;
    RunRecord record = RunRecord::Load(record_path, &problem);
    EXPECT_EQ(problem, "");  // none yet: an empty record
    record.StartRun(lib, kBuild, 7, 1);
    record.Add(lib, Result("exports", Verdict::kPass));
    record.Add(lib, Result("bad-input", Verdict::kCrash));
    ASSERT_TRUE(record.Save(lib, &problem)) << problem;

    // A later run with --only bad-input keeps the verdict of exports, and replaces that of bad-input.
    record = RunRecord::Load(record_path, &problem);
    record.StartRun(lib, kBuild, 9, 2);
    record.Add(lib, Result("bad-input", Verdict::kPass));
    ASSERT_TRUE(record.Save(lib, &problem)) << problem;
    RunRecord loaded = RunRecord::Load(record_path, &problem);
    const LibraryRecord* kept = loaded.Find(lib);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->build, kBuild);
    EXPECT_EQ(kept->seed, 9u);
    EXPECT_EQ(kept->level, 2);
    ASSERT_EQ(kept->checks.size(), 2u);
    EXPECT_EQ(kept->checks.at("exports").verdict, Verdict::kPass);
    EXPECT_EQ(kept->checks.at("exports").seed, 7u);
    EXPECT_EQ(kept->checks.at("exports").level, 1);
    EXPECT_EQ(kept->checks.at("bad-input").verdict, Verdict::kPass);
    EXPECT_EQ(kept->checks.at("bad-input").seed, 9u);

    // Another build of the library: what the old one came to says nothing about it.
    record = RunRecord::Load(record_path, &problem);
    record.StartRun(lib, LibraryBuild{1000, "00000000000000ab"}, 3, 2);
    record.Add(lib, Result("pins", Verdict::kFail));
    ASSERT_TRUE(record.Save(lib, &problem)) << problem;
    loaded = RunRecord::Load(record_path, &problem);
    kept = loaded.Find(lib);
    ASSERT_TRUE(kept);
    ASSERT_EQ(kept->checks.size(), 1u);
    EXPECT_EQ(kept->checks.at("pins").verdict, Verdict::kFail);
}

TEST_F(RecordTest, RunsOfTwoLibrariesAtOnceEachKeepTheirOwnEntry) {
    const std::string record_path = Path("record.json");
    std::string problem;
    // Both read the record before either writes, as two jobs of a test runner in one folder do.
    RunRecord first = RunRecord::Load(record_path, &problem);
    RunRecord second = RunRecord::Load(record_path, &problem);
    first.StartRun(Path("one.so"), kBuild, 1, 2);
    first.Add(Path("one.so"), Result("exports", Verdict::kFail));
    second.StartRun(Path("two.so"), kBuild, 2, 2);
    second.Add(Path("two.so"), Result("exports", Verdict::kPass));
    ASSERT_TRUE(first.Save(Path("one.so"), &problem)) << problem;
    ASSERT_TRUE(second.Save(Path("two.so"), &problem)) << problem;
    RunRecord both = RunRecord::Load(record_path, &problem);
    ASSERT_TRUE(both.Find(Path("one.so")));
    ASSERT_TRUE(both.Find(Path("two.so")));
    EXPECT_EQ(both.Find(Path("one.so"))->checks.at("exports").verdict, Verdict::kFail);
    // A library is found by its path from wherever it is named.
    EXPECT_TRUE(both.Find((m_dir / "sub" / ".." / "one.so").string()));
    // Only the record is left in the folder: no temporary file.
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1);
}

TEST_F(RecordTest, TwoRunsOfOneLibraryAtOnceKeepEachOthersVerdicts) {
    const std::string record_path = Path("record.json");
    const std::string lib = Path("lib.so");
    std::string problem;
    RunRecord earlier = RunRecord::Load(record_path, &problem);
    earlier.StartRun(lib, kBuild, 1, 2, {"exports", "pins", "realtime"});
    for (const char* name : {"exports", "pins", "realtime"}) earlier.Add(lib, Result(name, Verdict::kPass));
    ASSERT_TRUE(earlier.Save(lib, &problem)) << problem;

    // Two CI jobs, --only pins and --only realtime, read the record before either writes: the one that
    // saves last must not put back the PASS of pins that the other has just found failing.
    RunRecord pins_job = RunRecord::Load(record_path, &problem);
    RunRecord realtime_job = RunRecord::Load(record_path, &problem);
    pins_job.StartRun(lib, kBuild, 2, 2, {"pins"});
    realtime_job.StartRun(lib, kBuild, 3, 2, {"realtime"});
    pins_job.Add(lib, Result("pins", Verdict::kFail));
    ASSERT_TRUE(pins_job.Save(lib, &problem)) << problem;
    realtime_job.Add(lib, Result("realtime", Verdict::kWarn));
    ASSERT_TRUE(realtime_job.Save(lib, &problem)) << problem;

    const RunRecord loaded = RunRecord::Load(record_path, &problem);
    const LibraryRecord* kept = loaded.Find(lib);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->checks.at("exports").verdict, Verdict::kPass);
    EXPECT_EQ(kept->checks.at("pins").verdict, Verdict::kFail);
    EXPECT_EQ(kept->checks.at("pins").seed, 2u);
    EXPECT_EQ(kept->checks.at("realtime").verdict, Verdict::kWarn);
}

TEST_F(RecordTest, ACheckARunStartsHasNoVerdictUntilItEnds) {
    const std::string record_path = Path("record.json");
    const std::string lib = Path("lib.so");
    std::string problem;
    RunRecord record = RunRecord::Load(record_path, &problem);
    record.StartRun(lib, kBuild, 1, 2, {"exports", "threads"});
    record.Add(lib, Result("exports", Verdict::kPass));
    record.Add(lib, Result("threads", Verdict::kPass));
    ASSERT_TRUE(record.Save(lib, &problem)) << problem;

    // The next run starts threads and is killed inside it (a hang that the CI job's own timeout ends):
    // the PASS of the earlier run must not stand for a check that did not finish.
    record = RunRecord::Load(record_path, &problem);
    record.StartRun(lib, kBuild, 2, 2, {"threads"});
    ASSERT_TRUE(record.Save(lib, &problem)) << problem;
    const RunRecord loaded = RunRecord::Load(record_path, &problem);
    const LibraryRecord* kept = loaded.Find(lib);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->checks.count("threads"), 0u);
    EXPECT_EQ(kept->checks.at("exports").verdict, Verdict::kPass);
}

TEST_F(RecordTest, AFileThatIsNoRecordIsNeverWrittenOver) {
    const std::string lib = Path("lib.so");
    for (const std::string& foreign : {std::string("<testsuites/>\n"), std::string("{\"libraries\": {}}\n"),
                                       std::string("{\"format\": \"trhost validate record 1\", \"libraries\": "
                                                   "{\"x\": {\"size\": 1}}}\n")}) {
        Write("results.xml", foreign);
        std::string problem;
        RunRecord record = RunRecord::Load(Path("results.xml"), &problem);
        EXPECT_NE(problem.find("is not a record of trhost validate"), std::string::npos) << problem;
        EXPECT_FALSE(record.Find(lib));
        record.StartRun(lib, kBuild, 1, 2);
        record.Add(lib, Result("exports", Verdict::kPass));
        problem.clear();
        EXPECT_FALSE(record.Save(lib, &problem));
        EXPECT_NE(problem.find("left as it is"), std::string::npos) << problem;
        EXPECT_EQ(Read("results.xml"), foreign);
    }
    // A folder that is not there: the run is not recorded, and says why.
    RunRecord record = RunRecord::Load(Path("no/such/folder/record.json"), nullptr);
    record.StartRun(lib, kBuild, 1, 2);
    record.Add(lib, Result("exports", Verdict::kPass));
    std::string problem;
    EXPECT_FALSE(record.Save(lib, &problem));
    EXPECT_NE(problem.find("does not exist"), std::string::npos) << problem;
}

TEST(OnlyFailed, RunsEveryCheckWithoutARecordOfThisBuild) {
    auto every = SelectChecks("");
    Rerun rerun = PlanRerun(every, std::nullopt, std::nullopt, nullptr, kBuild);
    EXPECT_EQ(rerun.checks, every);
    EXPECT_EQ(rerun.level, kDefaultLevel);
    EXPECT_FALSE(rerun.seed);
    EXPECT_NE(rerun.note.find("no earlier run"), std::string::npos) << rerun.note;

    LibraryRecord other = Recorded(LibraryBuild{1000, "00000000000000ab"}, 5, 1, {{"exports", Verdict::kPass}});
    rerun = PlanRerun(every, 3, std::nullopt, &other, kBuild);
    EXPECT_EQ(rerun.checks, every);
    EXPECT_EQ(rerun.level, 3);
    EXPECT_FALSE(rerun.seed);  // a fresh one: the old build's seed means nothing to this one
    EXPECT_NE(rerun.note.find("changed"), std::string::npos) << rerun.note;
}

TEST(OnlyFailed, RunsWhatDidNotPassOrDidNotRunWithTheSeedAndLevelItFailedAt) {
    auto every = SelectChecks("exports,pins,processing,events,realtime,report");
    LibraryRecord recorded = Recorded(kBuild, 77, 1,
                                      {{"exports", Verdict::kPass},
                                       {"pins", Verdict::kWarn},
                                       {"processing", Verdict::kFail},
                                       {"events", Verdict::kCrash},
                                       {"realtime", Verdict::kSkip}});
    Rerun rerun = PlanRerun(every, std::nullopt, std::nullopt, &recorded, kBuild);
    // report never ran on this build.
    EXPECT_EQ(Names(rerun.checks), (std::vector<std::string>{"pins", "processing", "events", "report"}));
    EXPECT_EQ(rerun.level, 1);
    EXPECT_EQ(rerun.seed, 77u);
    EXPECT_NE(rerun.note.find("4 of 6 checks"), std::string::npos) << rerun.note;
    EXPECT_NE(rerun.note.find("pins, processing, events, report"), std::string::npos) << rerun.note;

    // --only narrows it; --seed wins.
    rerun = PlanRerun(SelectChecks("exports,processing"), std::nullopt, 5u, &recorded, kBuild);
    EXPECT_EQ(Names(rerun.checks), (std::vector<std::string>{"processing"}));
    EXPECT_EQ(rerun.seed, 5u);

    // A pass at level 1 is no pass at level 2; a skip neither.
    rerun = PlanRerun(every, 2, std::nullopt, &recorded, kBuild);
    EXPECT_EQ(rerun.checks, every);
    EXPECT_EQ(rerun.level, 2);
}

TEST(OnlyFailed, APassAtADeeperLevelCountsAndFailuresOfSeveralRunsTakeTheLatestSeed) {
    auto every = SelectChecks("exports,pins,processing");
    LibraryRecord recorded = Recorded(kBuild, 8, 3, {{"exports", Verdict::kPass}, {"pins", Verdict::kFail}});
    recorded.checks["processing"] = RecordedVerdict{Verdict::kFail, 6, 2};
    recorded.checks["exports"].level = 3;
    Rerun rerun = PlanRerun(every, 2, std::nullopt, &recorded, kBuild);
    EXPECT_EQ(Names(rerun.checks), (std::vector<std::string>{"pins", "processing"}));
    EXPECT_EQ(rerun.seed, 8u);  // they failed with 8 and 6: the latest run's

    // Every check has passed: nothing runs, and the note says so.
    LibraryRecord passed = Recorded(kBuild, 8, 2, {{"exports", Verdict::kPass}, {"pins", Verdict::kSkip}});
    rerun = PlanRerun(SelectChecks("exports,pins"), 1, std::nullopt, &passed, kBuild);
    EXPECT_TRUE(rerun.checks.empty());
    EXPECT_NE(rerun.note.find("nothing to run"), std::string::npos) << rerun.note;
}
