// How trhost reads patch files: their form, and the errors that name the file and the line.
#include "patch_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "command_error.h"
#include "exit_codes.h"

using namespace trhost;
using ::testing::AllOf;
using ::testing::HasSubstr;

namespace {

std::string Refusal(const std::string& text, const std::string& path = "dir/p.json") {
    try {
        ParsePatchText(text, path);
    } catch (const CommandError& error) {
        EXPECT_EQ(error.ExitCode(), kExitPatch) << error.what();
        return error.what();
    }
    return "(accepted)";
}

const char* kFm = R"({ "rate": 48000, "block": 256, "seconds": 1.5,
  "modules": [
    { "name": "mod", "library": "vexlo.so", "set": { "Freq": 4, "Depth": 2.5, "Offset": "5" } },
    { "name": "car", "library": "../lib/vexlo.so", "set": { "Wave": "triangle" },
      "wire": { "Freq": "mod.Out" } } ],
  "outputs": [ "car.Out", "mod.Out" ] })";

}  // namespace

TEST(PatchFile, ReadsModulesSettingsWiresAndOutputsInFileOrder) {
    PatchFile file = ParsePatchText(kFm, "dir/fm.json");
    EXPECT_EQ(file.rate, 48000.0);
    EXPECT_EQ(file.block, 256);
    EXPECT_EQ(file.seconds, 1.5);
    EXPECT_EQ(file.plan.title, "fm.json");
    ASSERT_EQ(file.plan.modules.size(), 2u);
    const ModulePlan& mod = file.plan.modules[0];
    EXPECT_EQ(mod.name, "mod");
    ASSERT_EQ(mod.set.size(), 3u);
    EXPECT_EQ(mod.set[0], (std::pair<std::string, std::string>{"Freq", "4"}));
    EXPECT_EQ(mod.set[1].second, "2.5");
    EXPECT_EQ(mod.set[2].second, "5");
    const ModulePlan& car = file.plan.modules[1];
    ASSERT_EQ(car.wires.size(), 1u);
    EXPECT_EQ(car.wires[0].first, "Freq");
    EXPECT_EQ(car.wires[0].second.Text(), "mod.Out");
    ASSERT_EQ(file.plan.outputs.size(), 2u);
    EXPECT_EQ(file.plan.outputs[0].Text(), "car.Out");
    EXPECT_EQ(file.plan.outputs[1].Text(), "mod.Out");
}

TEST(PatchFile, RelativeLibrariesResolveAgainstThePatchFilesFolder) {
    PatchFile file = ParsePatchText(kFm, "dir/fm.json");
    namespace fs = std::filesystem;
    EXPECT_EQ(fs::path(file.plan.modules[0].library), fs::path("dir/vexlo.so"));
    EXPECT_EQ(fs::path(file.plan.modules[1].library), fs::path("lib/vexlo.so"));
    PatchFile here = ParsePatchText(kFm, "fm.json");
    EXPECT_EQ(here.plan.modules[0].library, "vexlo.so");
    std::string absolute = fs::absolute("x/vexlo.so").string();
    std::string text =
        R"({"modules":[{"name":"a","library":)" + nlohmann::json(absolute).dump() + R"(}],"outputs":["a.Out"]})";
    EXPECT_EQ(ParsePatchText(text, "dir/p.json").plan.modules[0].library, absolute);
}

TEST(PatchFile, MalformedJsonNamesFileLineAndColumn) {
    std::string message = Refusal("{\n  \"modules\": [\n    { \"name\": \"a\" \n  ]\n}", "ex/bad.json");
    EXPECT_THAT(message, HasSubstr("ex/bad.json:4:3: malformed JSON"));
    EXPECT_EQ(message.find('\n'), std::string::npos) << "one line";
    EXPECT_THAT(Refusal("{\"modules\": [],}\n"), HasSubstr("dir/p.json:1:"));
    EXPECT_THAT(Refusal(""), HasSubstr("dir/p.json:1:1: malformed JSON"));
}

TEST(PatchFile, WrongFormIsRefusedNamingTheElement) {
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"[]", "must be a JSON object"},
        {R"({"outputs":["a.Out"]})", "\"modules\" is missing"},
        {R"({"modules":[],"outputs":["a.Out"]})", "modules: must be a list"},
        {R"({"modules":[{"name":"a","library":"x"}]})", "\"outputs\" is missing"},
        {R"({"modules":[{"name":"a","library":"x"}],"outputs":["aOut"]})", "outputs[0]: \"aOut\" is not of the form"},
        {R"({"modules":[{"name":"a","library":"x"}],"outputs":[3]})", "outputs[0]: must be a text"},
        {R"({"modules":[{"name":"a","library":"x"}],"outputs":["a.Out"],"wires":{}})", "unknown key \"wires\""},
        {R"({"modules":[{"name":"a.b","library":"x"}],"outputs":["a.Out"]})", "modules[0].name"},
        {R"({"modules":[{"library":"x"}],"outputs":["a.Out"]})", "\"name\" is missing"},
        {R"({"modules":[{"name":"a"}],"outputs":["a.Out"]})", "(\"a\"): \"library\" is missing"},
        {R"({"modules":[{"name":"a","library":"x","set":{"Freq":true}}],"outputs":["a.Out"]})",
         "modules[0] (\"a\").set.Freq: must be a number"},
        {R"({"modules":[{"name":"a","library":"x","wire":{"Freq":"b"}}],"outputs":["a.Out"]})",
         "modules[0] (\"a\").wire.Freq: \"b\" is not of the form"},
        {R"({"modules":[{"name":"a","library":"x","wires":{}}],"outputs":["a.Out"]})", "unknown key \"wires\""},
        {R"({"rate":"fast","modules":[{"name":"a","library":"x"}],"outputs":["a.Out"]})", "rate: must be a number"},
        {R"({"block":2.5,"modules":[{"name":"a","library":"x"}],"outputs":["a.Out"]})",
         "block: must be a whole number"},
    };
    for (const auto& c : cases) {
        EXPECT_THAT(Refusal(c.text), AllOf(HasSubstr("dir/p.json: "), HasSubstr(c.expected))) << c.text;
    }
}

TEST(PatchFile, MissingFileIsNamed) {
    try {
        ReadPatchFile("no/such/patch.json");
        FAIL() << "accepted";
    } catch (const CommandError& error) {
        EXPECT_EQ(error.ExitCode(), kExitPatch);
        EXPECT_THAT(error.what(), HasSubstr("no/such/patch.json: cannot be read"));
    }
}

TEST(PatchFile, AKeyGivenTwiceInOneObjectIsRefused) {
    EXPECT_THAT(Refusal(R"({ "modules": [ { "name": "a", "library": "x.so",
                          "set": { "Freq": 1, "Freq": 2 } } ], "outputs": [ "a.Out" ] })"),
                AllOf(HasSubstr("dir/p.json"), HasSubstr("key \"Freq\" appears twice")));
    EXPECT_THAT(Refusal(R"({ "rate": 1, "rate": 2, "modules": [], "outputs": [] })"), HasSubstr("\"rate\""));
    // The same key in two objects is no repetition.
    ParsePatchText(R"({ "modules": [ { "name": "a", "library": "x.so", "set": { "Freq": 1 } },
                     { "name": "b", "library": "x.so", "set": { "Freq": 1 } } ], "outputs": [ "a.Out" ] })",
                   "p.json");
}

TEST(PatchFile, AFolderIsNamedAsAFolder) {
    try {
        ReadPatchFile(".");
        ADD_FAILURE() << "a folder was read as a patch";
    } catch (const CommandError& error) {
        EXPECT_EQ(error.ExitCode(), kExitPatch);
        EXPECT_THAT(error.what(), HasSubstr(".: is a folder"));
    }
}
