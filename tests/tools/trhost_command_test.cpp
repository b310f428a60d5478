// trhost as its users run it: exit codes, one-line messages, and files that appear only on success.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "exit_codes.h"
#include "rack.h"
#include "wav_file.h"

using namespace trhost;
using ::testing::AllOf;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

struct Result {
    int code = -1;
    std::string out, err;
};

class TrhostCommand : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("trhost_test_" + std::to_string(getpid()) + "_" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Runs trhost with `arguments` (already quoted for the shell).
    Result Run(const std::string& arguments) {
        fs::path out = m_dir / "stdout.txt", err = m_dir / "stderr.txt";
        std::string command =
            std::string("'") + TRHOST_PROGRAM + "' " + arguments + " >'" + out.string() + "' 2>'" + err.string() + "'";
        int status = std::system(command.c_str());
        Result result;
        result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = Slurp(out);
        result.err = Slurp(err);
        fs::remove(out);
        fs::remove(err);
        return result;
    }
    static std::string Slurp(const fs::path& path) {
        std::ifstream stream(path);
        std::ostringstream text;
        text << stream.rdbuf();
        return text.str();
    }
    std::string Path(const std::string& name) const { return (m_dir / name).string(); }
    void Write(const std::string& name, const std::string& text) const { std::ofstream(m_dir / name) << text; }
    // Files in the test folder other than the given ones.
    std::vector<std::string> Leftovers(std::vector<std::string> expected = {}) const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(m_dir)) {
            std::string name = entry.path().filename().string();
            if (std::find(expected.begin(), expected.end(), name) == expected.end()) found.push_back(name);
        }
        return found;
    }
    // A refusal: the exit code, one line on standard error, nothing written.
    void ExpectRefusal(const std::string& arguments, int code, std::vector<std::string> named,
                       std::vector<std::string> inputs = {}) {
        Result result = Run(arguments);
        EXPECT_EQ(result.code, code) << arguments << "\n" << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        for (const auto& name : named) EXPECT_THAT(result.err, HasSubstr(name)) << arguments;
        EXPECT_TRUE(Leftovers(inputs).empty()) << arguments << ": left " << Leftovers(inputs).front();
    }

    fs::path m_dir;
};

const std::string kFixture = FIXTURE_LIBRARY_PATH;

}  // namespace

TEST_F(TrhostCommand, DescribeShowsTextsAndPins) {
    Result text = Run("describe '" + kFixture + "'");
    EXPECT_EQ(text.code, kExitOk) << text.err;
    EXPECT_THAT(text.out, AllOf(HasSubstr("FIXTURE"), HasSubstr("TEST FIXTURE"), HasSubstr("A test module."),
                                HasSubstr("pins (7)"), HasSubstr("add=0, multiply=1"), HasSubstr("0 to 10 V"),
                                HasSubstr("1 (multiply)")));
    Result json = Run("describe --json '" + kFixture + "'");
    ASSERT_EQ(json.code, kExitOk) << json.err;
    auto root = nlohmann::json::parse(json.out);
    EXPECT_EQ(root["name"], "FIXTURE");
    ASSERT_EQ(root["pins"].size(), 7u);
    EXPECT_EQ(root["pins"][2]["choices"][1]["name"], "multiply");
    EXPECT_EQ(root["pins"][1]["range"]["high"], 10.0);
    EXPECT_EQ(root["pins"][6]["direction"], "setting");
}

TEST_F(TrhostCommand, RenderWritesExactlyTheRenderedSamplesAndAPlot) {
    Result result = Run("render '" + kFixture + "' --out '" + Path("a.wav") + "' --plot '" + Path("a.png") +
                        "' --rate 22050 --block 33 --seconds 0.1 --set gain=2.5" + " --set 'Offset=half'");
    ASSERT_EQ(result.code, kExitOk) << result.err;
    EXPECT_THAT(result.out, HasSubstr("3 channels (Out, Clock, State), 2205 samples"));
    int rate = 0;
    auto channels = ReadWav(Path("a.wav"), &rate);
    EXPECT_EQ(rate, 22050);

    RunSettings run;
    run.rate = 22050;
    run.block = 33;
    run.seconds = 0.1;
    PatchPlan plan;
    plan.modules.push_back({"module", kFixture, {{"Gain", "2.5"}, {"Offset", "half"}}, {}});
    Rendering expected = Rack(plan, run).Run();
    EXPECT_TRUE(channels == expected.channels);
    EXPECT_EQ(channels[0][0], 1.0f * 0.25f + 0.5f);

    // A PNG of at least 800 × 400.
    std::ifstream png(Path("a.png"), std::ios::binary);
    unsigned char header[24] = {};
    png.read(reinterpret_cast<char*>(header), sizeof header);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(header) + 1, 3), "PNG");
    uint32_t width = (header[16] << 24) | (header[17] << 16) | (header[18] << 8) | header[19];
    uint32_t height = (header[20] << 24) | (header[21] << 16) | (header[22] << 8) | header[23];
    EXPECT_GE(width, 800u);
    EXPECT_GE(height, 400u);
    EXPECT_TRUE(Leftovers({"a.wav", "a.png"}).empty());
}

TEST_F(TrhostCommand, BadRenderInputIsRefusedByNameAndLeavesNoFile) {
    std::string out = " --out '" + Path("o.wav") + "' --plot '" + Path("o.png") + "'";
    ExpectRefusal("render 'no/such.so'" + out, kExitLoad, {"no/such.so", "cannot be loaded"});
    ExpectRefusal("render '" + std::string(NO_MAKE_MODULE_LIBRARY_PATH) + "'" + out, kExitLoad,
                  {"missing export makeModule"});
    ExpectRefusal("render '" + kFixture + "'" + out + " --set Gian=1", kExitSettings, {"unknown pin \"Gian\""});
    ExpectRefusal("render '" + kFixture + "'" + out + " --set Gain=loud", kExitSettings, {"\"Gain\"", "\"loud\""});
    ExpectRefusal("render '" + kFixture + "'" + out + " --set Mode=divide", kExitSettings,
                  {"\"Mode\"", "\"divide\"", "add=0, multiply=1"});
    ExpectRefusal("render '" + kFixture + "'" + out + " --set Gain", kExitSettings, {"PIN=VALUE"});
    ExpectRefusal("render '" + kFixture + "'" + out + " --block 0", kExitUsage, {"--block"});
    ExpectRefusal("render '" + kFixture + "'" + out + " --rate 44100.5", kExitUsage, {"whole number"});
    ExpectRefusal("render '" + kFixture + "' --out '" + Path("none/o.wav") + "'", kExitOutput,
                  {"none/o.wav", "does not exist"});
    ExpectRefusal("render '" + kFixture + "' --out '" + Path("o.wav") + "' --plot '" + Path("o.wav") + "'", kExitOutput,
                  {"named for two outputs"});
}

TEST_F(TrhostCommand, EachSetTakesOneValueWhereverItStands) {
    Result result =
        Run("render --set 'Gain=1' --set mode=add '" + kFixture + "' --out '" + Path("o.wav") + "' --seconds 0.01");
    EXPECT_EQ(result.code, kExitOk) << result.err;
    EXPECT_EQ(ReadWav(Path("o.wav"))[0][0], 1.1f);
    fs::remove(Path("o.wav"));
    ExpectRefusal("render '" + kFixture + "' --set Gain=1 Mode=add --out '" + Path("o.wav") + "'", kExitUsage,
                  {"Mode=add"});
}

TEST_F(TrhostCommand, AValueOutsideThePinsRangeIsTakenWithAWarning) {
    Result result = Run("render '" + kFixture + "' --out '" + Path("o.wav") + "' --seconds 0.01 --set Gain=20");
    EXPECT_EQ(result.code, kExitOk) << result.err;
    EXPECT_THAT(result.err, AllOf(HasSubstr("warning"), HasSubstr("\"Gain\""), HasSubstr("20 V")));
}

// A wire whose signal leaves the range of the pin it drives is warned of, naming the wire, the pin and
// its range, the first value outside and when; --json lists it; --strict-ranges fails the run with exit
// 10 and writes nothing, for a set value outside its range too, and passes a patch inside its ranges.
TEST_F(TrhostCommand, PatchWarnsOfWiresOutsideTheirPinsRangeAndStrictRangesFailsThem) {
    fs::copy_file(kFixture, m_dir / "fixture.so");
    auto patch = [](const std::string& a_settings) {
        return R"({ "rate": 8000, "block": 50, "seconds": 0.05, "modules": [)"
               R"({"name":"a","library":"fixture.so","set":{)" + a_settings + R"(}},)"
               R"({"name":"b","library":"fixture.so","wire":{"In":"a.Out"}}], "outputs": ["b.Out"] })";
    };
    Write("outside.json", patch(R"("Mode":"add")"));  // a's Out: In 10 V + Gain 5 V = 15 V into b's In (0 to 10 V)
    Result result = Run("patch '" + Path("outside.json") + "'");
    ASSERT_EQ(result.code, kExitOk) << result.err;
    EXPECT_THAT(result.err, HasSubstr("warning: wire b.In <- a.Out leaves the range of In (0 V to 10 V): first at "
                                      "0.0000 s (sample 0) with 15 V, furthest 15 V, 400 samples outside"));
    Result json = Run("patch '" + Path("outside.json") + "' --json");
    ASSERT_EQ(json.code, kExitOk) << json.err;
    auto root = nlohmann::json::parse(json.out);
    ASSERT_EQ(root["range_excursions"].size(), 1u);
    auto excursion = root["range_excursions"][0];
    EXPECT_EQ(excursion["wire"], "b.In <- a.Out");
    EXPECT_EQ(excursion["pin"], "In");
    EXPECT_EQ(excursion["high_volts"], 10.0);
    EXPECT_EQ(excursion["first_sample"], 0);
    EXPECT_EQ(excursion["first_volts"], 15.0);
    EXPECT_EQ(excursion["samples_outside"], 400);
    ASSERT_EQ(root["warnings"].size(), 1u);
    EXPECT_THAT(root["warnings"][0].get<std::string>(), HasSubstr("wire b.In <- a.Out"));

    std::vector<std::string> inputs = {"fixture.so", "outside.json", "set.json", "inside.json"};
    std::string out = " --strict-ranges --out '" + Path("o.wav") + "'";
    ExpectRefusal("patch '" + Path("outside.json") + "'" + out, kExitRange, {"error: wire b.In <- a.Out"}, inputs);
    Write("set.json", patch(R"("Mode":"multiply","Gain":20)"));
    ExpectRefusal("patch '" + Path("set.json") + "'" + out, kExitRange, {"error:", "\"Gain\"", "20 V"}, inputs);
    Write("inside.json", patch(R"("Mode":"multiply")"));  // 10 V x 5 V (0.5) = 5 V
    result = Run("patch '" + Path("inside.json") + "'" + out);
    EXPECT_EQ(result.code, kExitOk) << result.err;
    EXPECT_THAT(result.err, ::testing::Not(HasSubstr("range")));
}

TEST_F(TrhostCommand, PatchesResolveLibrariesBesideTheFileAndRefuseBadWiring) {
    fs::copy_file(kFixture, m_dir / "fixture.so");
    auto patch = [](const std::string& modules, const std::string& outputs) {
        return R"({ "rate": 8000, "block": 50, "seconds": 0.05, "modules": [)" + modules + R"(], "outputs": [)" +
               outputs + "] }";
    };
    std::string a = R"({"name":"a","library":"fixture.so","set":{"Mode":"add"}})";
    std::string b = R"({"name":"b","library":"fixture.so","wire":{"In":"a.Out"}})";
    Write("good.json", patch(a + "," + b, R"("b.Out","a.Out")"));
    // Run from elsewhere: the library is found beside the patch file, not in the working folder.
    Result result =
        Run("patch '" + Path("good.json") + "' --out '" + Path("g.wav") + "' --plot '" + Path("g.png") + "'");
    ASSERT_EQ(result.code, kExitOk) << result.err;
    auto channels = ReadWav(Path("g.wav"));
    ASSERT_EQ(channels.size(), 2u);
    ASSERT_EQ(channels[0].size(), 400u);
    EXPECT_EQ(channels[1][0], 1.5f);         // a: In 1.0 + Gain 0.5
    EXPECT_EQ(channels[0][0], 1.5f * 0.5f);  // b: a's Out × Gain 0.5
    fs::remove(Path("g.wav"));
    fs::remove(Path("g.png"));

    std::vector<std::string> inputs = {"fixture.so", "p.json", "good.json"};
    std::string out = " --out '" + Path("o.wav") + "' --plot '" + Path("o.png") + "'";
    Write("p.json", "{ \"modules\": [\n  {\"name\": \"a\", \"library\": \"fixture.so\"}\n  \"outputs\": [] }");
    ExpectRefusal("patch '" + Path("p.json") + "'" + out, kExitPatch, {Path("p.json") + ":3:", "malformed JSON"},
                  inputs);
    Write("p.json", patch(R"({"name":"b","library":"fixture.so","wire":{"In":"x.Out"}})", R"("b.Out")"));
    ExpectRefusal("patch '" + Path("p.json") + "'" + out, kExitPatch, {"p.json", "unknown module \"x\""}, inputs);
    Write("p.json", patch(R"({"name":"a","library":"fixture.so","wire":{"In":"b.Out"}},)"
                          R"({"name":"b","library":"fixture.so","wire":{"In":"a.Out"}})",
                          R"("b.Out")"));
    ExpectRefusal("patch '" + Path("p.json") + "'" + out, kExitPatch, {"loop", "a.In <- b.Out"}, inputs);
    Write("p.json", patch(R"({"name":"a","library":"missing.so"})", R"("a.Out")"));
    ExpectRefusal("patch '" + Path("p.json") + "'" + out, kExitLoad, {Path("missing.so")}, inputs);
    Write("p.json", patch(R"({"name":"a","library":"fixture.so","set":{"Mode":7}})", R"("a.Out")"));
    ExpectRefusal("patch '" + Path("p.json") + "'" + out, kExitSettings, {"module \"a\"", "\"Mode\"", "\"7\""}, inputs);
    ExpectRefusal("patch '" + Path("nothing.json") + "'" + out, kExitPatch, {"nothing.json"}, inputs);
}

// Output targets: the command writes through links and into devices and pipes, and never replaces
// the node or the link the user named.
class TrhostOutputTargets : public TrhostCommand {
protected:
    std::string RenderTo(const std::string& out) {
        return "render '" + kFixture + "' --seconds 0.01 --out '" + out + "'";
    }
    static bool IsWav(const std::string& path) { return ReadWav(path).size() == 3; }
};

TEST_F(TrhostOutputTargets, ALinkIsWrittenThroughAndStays) {
    Write("target.wav", "old");
    fs::create_symlink("target.wav", m_dir / "link.wav");
    Result result = Run(RenderTo(Path("link.wav")));
    ASSERT_EQ(result.code, kExitOk) << result.err;
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(m_dir / "link.wav")));
    EXPECT_TRUE(IsWav(Path("target.wav")));
    // A link whose file does not exist yet: the file appears where it points.
    fs::create_symlink("new.wav", m_dir / "dangling.wav");
    result = Run(RenderTo(Path("dangling.wav")));
    ASSERT_EQ(result.code, kExitOk) << result.err;
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(m_dir / "dangling.wav")));
    EXPECT_TRUE(IsWav(Path("new.wav")));
    EXPECT_TRUE(Leftovers({"target.wav", "link.wav", "dangling.wav", "new.wav"}).empty());
    // A loop of links is named, not followed for ever.
    fs::create_symlink("loop2", m_dir / "loop1");
    fs::create_symlink("loop1", m_dir / "loop2");
    ExpectRefusal(RenderTo(Path("loop1")), kExitOutput, {Path("loop1"), "links"},
                  {"target.wav", "link.wav", "dangling.wav", "new.wav", "loop1", "loop2"});
}

TEST_F(TrhostOutputTargets, AReplacedFileKeepsItsPermissions) {
    Write("o.wav", "old");
    fs::permissions(m_dir / "o.wav", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_EQ(Run(RenderTo(Path("o.wav"))).code, kExitOk);
    EXPECT_TRUE(IsWav(Path("o.wav")));
    EXPECT_EQ(fs::status(m_dir / "o.wav").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(TrhostOutputTargets, APipeReceivesTheFileAndStays) {
    std::string fifo = Path("pipe"), copy = Path("copy.wav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string command = "cat '" + fifo + "' >'" + copy + "' & '" + std::string(TRHOST_PROGRAM) + "' " +
                          RenderTo(fifo) + " >/dev/null; code=$?; wait; exit $code";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo)));
    EXPECT_TRUE(IsWav(copy));
    EXPECT_TRUE(Leftovers({"pipe", "copy.wav"}).empty());
}

TEST_F(TrhostOutputTargets, ADeviceIsWrittenIntoAndStays) {
    if (getuid() != 0) GTEST_SKIP() << "making device nodes needs root";
    // Nodes of the null and the full device, made here so that the system's own are never at stake.
    std::string null = Path("null"), full = Path("full");
    ASSERT_EQ(mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    ASSERT_EQ(mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
    Result result = Run(RenderTo(null) + " --plot '" + Path("p.png") + "'");
    EXPECT_EQ(result.code, kExitOk) << result.err;
    EXPECT_TRUE(fs::is_character_file(fs::symlink_status(null)));
    EXPECT_TRUE(fs::exists(Path("p.png")));
    fs::remove(Path("p.png"));

    // A device that refuses the bytes fails the run, named as the user named it.
    fs::create_symlink("full", m_dir / "link");
    for (const std::string& out : {full, Path("link")}) {
        result = Run(RenderTo(out));
        EXPECT_EQ(result.code, kExitOutput);
        EXPECT_THAT(result.err, AllOf(HasSubstr(out + ": cannot be written"), HasSubstr("No space left")));
        EXPECT_THAT(result.err, ::testing::Not(HasSubstr("partial")));
    }
    EXPECT_TRUE(fs::is_character_file(fs::symlink_status(full)));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(Path("link"))));
    EXPECT_TRUE(Leftovers({"null", "full", "link"}).empty());
}

TEST_F(TrhostOutputTargets, DashIsStandardOutputAndTheReportMovesToStandardError) {
    std::string command = "'" + std::string(TRHOST_PROGRAM) + "' " + RenderTo("-") + " >'" + Path("stdout.wav") +
                          "' 2>'" + Path("err.txt") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_TRUE(IsWav(Path("stdout.wav")));
    std::string err = Slurp(m_dir / "err.txt");
    EXPECT_THAT(err, AllOf(HasSubstr("wrote -"), HasSubstr("peak")));
    ExpectRefusal(RenderTo("-") + " --plot -", kExitOutput, {"named for two outputs"}, {"stdout.wav", "err.txt"});
}

TEST_F(TrhostOutputTargets, TwoNamesForOneFileAreRefused) {
    fs::create_symlink("o.wav", m_dir / "link.wav");
    Write("o.wav", "old");
    ExpectRefusal(RenderTo(Path("o.wav")) + " --plot '" + Path("link.wav") + "'", kExitOutput,
                  {Path("link.wav"), "named for two outputs"}, {"o.wav", "link.wav"});
    EXPECT_EQ(Slurp(m_dir / "o.wav"), "old");
}

// Measurements after every run, as a table and as JSON.
TEST_F(TrhostCommand, RenderMeasuresTheDefaultSineAtOneHertz) {
    Result text = Run("render '" + std::string(VEXLO_LIBRARY_PATH) + "'");
    ASSERT_EQ(text.code, kExitOk) << text.err;
    EXPECT_THAT(text.out, AllOf(HasSubstr("no file written"), HasSubstr("1.0000 Hz"), HasSubstr("3.536 V")));
    Result json = Run("render '" + std::string(VEXLO_LIBRARY_PATH) + "' --json");
    ASSERT_EQ(json.code, kExitOk) << json.err;
    auto channel = nlohmann::json::parse(json.out)["channels"][0];
    EXPECT_EQ(channel["name"], "Out");
    EXPECT_NEAR(channel["frequency_hz"].get<double>(), 1.0, 0.01);
    EXPECT_NEAR(channel["peak_volts"].get<double>(), 5.0, 1e-5);  // Depth 5 V of In 10 V
    EXPECT_NEAR(channel["rms_volts"].get<double>(), 5.0 / std::sqrt(2.0), 1e-4);
    EXPECT_NEAR(channel["dc_volts"].get<double>(), 0.0, 1e-4);
    EXPECT_EQ(channel["non_finite"], 0);
}

TEST_F(TrhostCommand, OutputBeyondFullScaleIsWarnedOf) {
    // The fixture's Clock output counts samples: far beyond ±10 V.
    Result result = Run("render '" + kFixture + "' --seconds 0.01 --json");
    ASSERT_EQ(result.code, kExitOk) << result.err;
    EXPECT_THAT(result.err, AllOf(HasSubstr("warning: Clock goes beyond ±10 V"), HasSubstr("clips")));
    EXPECT_THAT(result.err, ::testing::Not(HasSubstr("warning: Out")));
    auto root = nlohmann::json::parse(result.out);
    EXPECT_EQ(root["channels"][1]["beyond_full_scale"], 441 - 2);  // every count above 1
    EXPECT_EQ(root["warnings"].size(), 1u);
}

TEST_F(TrhostCommand, AnalyzeShowsTheSidebandsOfARenderedPatchAndDrawsThem) {
    // A 250 Hz carrier swung by ±50 Hz at 25 Hz (beta 2), at 48000 Hz.
    std::string vexlo = VEXLO_LIBRARY_PATH;
    Write("fm.json", R"({ "rate": 48000, "block": 256, "seconds": 2, "modules": [
        { "name": "mod", "library": ")" +
                         vexlo + R"(",
          "set": { "Freq scale": "kHz", "Freq": 0.025, "Offset": 0.25, "Depth": 0.05 } },
        { "name": "car", "library": ")" +
                         vexlo + R"(",
          "set": { "Freq scale": "kHz", "Depth": 5, "Offset": 0 }, "wire": { "Freq": "mod.Out" } } ],
      "outputs": [ "car.Out" ] })");
    ASSERT_EQ(Run("patch '" + Path("fm.json") + "' --out '" + Path("fm.wav") + "'").code, kExitOk);
    Result result = Run("analyze '" + Path("fm.wav") + "' --json --plot '" + Path("fm.png") + "'");
    ASSERT_EQ(result.code, kExitOk) << result.err;
    auto channel = nlohmann::json::parse(result.out)["channels"][0];
    EXPECT_TRUE(channel["harmonics"].is_null());  // no steady fundamental
    // Every sideband above -30 dB re the carrier is listed, at 250 + 25 n Hz and 0.5 |J_n(2)|.
    int found = 0;
    for (int n = -3; n <= 3; ++n) {
        double hertz = 250 + 25 * n, expected = 20 * std::log10(0.5 * std::fabs(std::cyl_bessel_j(std::abs(n), 2.0)));
        for (const auto& peak : channel["peaks"]) {
            if (std::fabs(peak["hertz"].get<double>() - hertz) > 1) continue;
            EXPECT_NEAR(peak["level_db"].get<double>(), expected, 1.0) << n;
            ++found;
        }
    }
    EXPECT_EQ(found, 7);
    EXPECT_TRUE(fs::file_size(Path("fm.png")) > 10000);

    Result text = Run("analyze '" + Path("fm.wav") + "'");
    EXPECT_THAT(text.out,
                AllOf(HasSubstr("Blackman-Harris"), HasSubstr("no steady fundamental"), HasSubstr("250.00 Hz")));
    // Files that hold no audio are refused as audio sources are, and no plot is left behind.
    std::vector<std::string> inputs = {"fm.json", "fm.wav", "fm.png", "empty.wav"};
    Write("empty.wav", std::string("RIFF\x24\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x44\xac\x00\x00"
                                   "\x88\x58\x01\x00\x02\x00\x10\x00"
                                   "data\x00\x00\x00\x00",
                                   44));
    std::string plot = " --plot '" + Path("bad.png") + "'";
    ExpectRefusal("analyze '" + Path("fm.json") + "'" + plot, kExitSource,
                  {"fm.json", "not an audio file that can be read"}, inputs);
    ExpectRefusal("analyze '" + Path("empty.wav") + "'" + plot, kExitSource, {"empty.wav", "holds no samples"}, inputs);
    ExpectRefusal("analyze '" + Path("none.wav") + "'" + plot, kExitSource, {"none.wav", "no such audio file"}, inputs);
}

// The rough edges a new user meets, each answered in one readable line.
TEST_F(TrhostCommand, NumbersOutOfRangeAndFilesOfTheWrongKindAreExplainedInWords) {
    std::string render = "render '" + kFixture + "' --seconds 0.01";
    ExpectRefusal(render + " --block abc", kExitUsage, {"--block", "\"abc\" is not a whole number"});
    ExpectRefusal(render + " --block 2000000", kExitUsage, {"must be from 1 to 1048576"});
    Result range = Run(render + " --rate -1e300");
    EXPECT_EQ(range.code, kExitUsage);
    EXPECT_THAT(range.err, HasSubstr("\"-1e300\" must be above zero"));
    EXPECT_LT(range.err.size(), 100u) << range.err;
    std::string validate = "validate '" + kFixture + "' --only pins --timeout ";
    Result timeout = Run(validate + "1e300");
    EXPECT_EQ(timeout.code, kExitUsage);
    EXPECT_THAT(timeout.err, HasSubstr("\"1e300\" must be above zero and at most 86400"));
    EXPECT_LT(timeout.err.size(), 120u) << timeout.err;
    ExpectRefusal(validate + "0", kExitUsage, {"--timeout", "\"0\" must be above zero"});
    ExpectRefusal(validate + "soon", kExitUsage, {"--timeout", "\"soon\" is not a decimal number"});

    // Files the test makes: text, a 64-bit ELF header, a 32-bit Windows DLL header, a folder.
    Write("text.so", "not a library at all, just words\n");
    std::string elf64(
        "\x7f"
        "ELF\x02\x01\x01",
        7);
    elf64.resize(64, '\0');
    Write("elf64.so", elf64);
    std::string dll(128, '\0');
    dll[0] = 'M', dll[1] = 'Z', dll[60] = 64;
    dll.replace(64, 6, std::string("PE\0\0\x4c\x01", 6));
    Write("dll.dll", dll);
    fs::create_directory(m_dir / "folder");
    std::vector<std::string> inputs = {"text.so", "elf64.so", "dll.dll", "folder"};
    ExpectRefusal("render '" + Path("text.so") + "'", kExitLoad, {"text.so", "not a shared library"}, inputs);
    ExpectRefusal("render '" + Path("elf64.so") + "'", kExitLoad, {"64-bit library; trhost loads 32-bit modules"},
                  inputs);
    ExpectRefusal("render '" + Path("dll.dll") + "'", kExitLoad, {"a Windows DLL: use trhost.exe"}, inputs);
    ExpectRefusal("render '" + Path("none.so") + "'", kExitLoad, {"none.so", "no such file"}, inputs);
    ExpectRefusal("render '" + Path("folder") + "'", kExitLoad, {"folder", "is a folder"}, inputs);
    ExpectRefusal("patch '" + Path("folder") + "'", kExitPatch, {"folder", "is a folder, not a patch file"}, inputs);
}

TEST_F(TrhostCommand, APlotAloneIsWrittenAndHighRatesWarnOfTheSineTable) {
    Result result =
        Run("render '" + std::string(VEXLO_LIBRARY_PATH) + "' --seconds 0.01 --plot '" + Path("p.png") + "'");
    ASSERT_EQ(result.code, kExitOk) << result.err;
    EXPECT_THAT(result.out, HasSubstr("wrote " + Path("p.png")));
    EXPECT_TRUE(Leftovers({"p.png"}).empty());
    result = Run("render '" + std::string(VEXLO_LIBRARY_PATH) + "' --seconds 0.001 --rate 1000000");
    ASSERT_EQ(result.code, kExitOk) << result.err;
    EXPECT_THAT(result.err, AllOf(HasSubstr("warning: at 1000000 Hz"), HasSubstr("120 MB")));
    EXPECT_THAT(Run("render '" + std::string(VEXLO_LIBRARY_PATH) + "' --seconds 0.01").err,
                ::testing::Not(HasSubstr("sine table")));
}

TEST_F(TrhostCommand, HelpAndReadmeGiveEveryExitCodeInTheSameWords) {
    Result help = Run("--help");
    EXPECT_EQ(help.code, kExitOk);
    const std::string readme = Slurp(fs::path(VEXLO_SOURCE_DIR) / "README.md");
    int expected = 0;
    for (const auto& [code, meaning, media_only] : kExitCodeMeanings) {
        EXPECT_EQ(code, expected++);
        EXPECT_THAT(help.out, HasSubstr(std::to_string(code) + " " + meaning)) << code;
        EXPECT_THAT(readme, HasSubstr("| " + std::to_string(code) + " | " + meaning)) << code;
    }
    EXPECT_EQ(expected, kExitRange + 1);
    EXPECT_THAT(help.out, AllOf(HasSubstr("not part of this build"), HasSubstr("analyze")));
}

// trhost new: a refusal is one line and writes nothing; a project is written whole, by default in
// ./NAME. (The projects are built and validated from the SDK archive by scripts/check-sdk.sh.)
class TrhostNew : public TrhostCommand {
protected:
    void SetUp() override {
        TrhostCommand::SetUp();
        fs::create_directories(m_dir / "sdk/lib/cmake/TRFramework");
        Write("sdk/lib/cmake/TRFramework/TRFrameworkConfig.cmake", "\n");
    }
    std::string Sdk() const { return " --sdk '" + Path("sdk") + "'"; }
};

TEST_F(TrhostNew, RefusesNamesThatAreNoIdentifiersFoldersThatExistAndAMissingSdk) {
    for (const char* name : {"2osc", "sample-hold", "two words", "test"}) {
        ExpectRefusal(std::string("new '") + name + "' '" + Path("module") + "'" + Sdk(), kExitUsage, {name}, {"sdk"});
    }
    fs::create_directory(m_dir / "taken");
    ExpectRefusal("new vca '" + Path("taken") + "'" + Sdk(), kExitUsage, {"taken", "already exists"}, {"sdk", "taken"});
    EXPECT_TRUE(fs::is_empty(m_dir / "taken"));
    ExpectRefusal("new vca '" + Path("module") + "' --sdk '" + Path("nowhere") + "'", kExitUsage,
                  {"nowhere", "no module SDK"}, {"sdk", "taken"});
}

TEST_F(TrhostNew, WritesTheProjectIntoANewFolder) {
    Result result = Run("new sample_hold '" + Path("projects/sh") + "'" + Sdk());
    ASSERT_EQ(result.code, kExitOk) << result.err;
    EXPECT_THAT(result.out, AllOf(HasSubstr("SampleHoldModule"), HasSubstr("cmake --preset linux-x86")));
    EXPECT_TRUE(fs::is_regular_file(m_dir / "projects/sh/src/sample_hold_module.cpp"));
    EXPECT_THAT(Slurp(m_dir / "projects/sh/CMakePresets.json"), HasSubstr(Path("sdk") + "/lib/cmake/TRFramework"));
    // Only the project appears: no staging folder is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir / "projects"), fs::directory_iterator()), 1);

    // Without DIR, the project goes to ./NAME.
    const std::string name = "trhost_new_" + std::to_string(getpid());
    result = Run("new " + name + Sdk());
    EXPECT_EQ(result.code, kExitOk) << result.err;
    EXPECT_TRUE(fs::is_regular_file(fs::path(name) / "CMakeLists.txt"));
    fs::remove_all(name);
}
