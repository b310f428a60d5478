// trhost new's parts: the names a module takes from NAME, the project written from the template, and
// where the SDK is found. The projects themselves are built, tested and validated from the SDK archive
// by scripts/check-sdk.sh.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "command_error.h"
#include "new/module_skeleton.h"
#include "new/sdk_location.h"
#include "patch_file.h"

using namespace trhost;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

const SdkLocation kSdk{"/opt/sdk", "/opt/sdk/lib/cmake/TRFramework", "/opt/sdk/modules/vexlo.so"};

std::map<std::string, std::string> Rendered(const std::string& name, const SdkLocation& sdk = kSdk) {
    std::map<std::string, std::string> files;
    for (SkeletonFile& file : RenderSkeleton(NamesFor(name), sdk)) files[file.path] = file.contents;
    return files;
}

// A folder of its own under the system's temporary folder, removed afterwards.
class Scratch {
public:
    explicit Scratch(const std::string& name)
        : m_path(fs::temp_directory_path() /
                 ("trhost_new_" + name + "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~Scratch() { fs::remove_all(m_path); }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

TEST(NewModuleNames, OnlyCIdentifiersThatTheBuildDoesNotKeepNameAModule) {
    for (const char* good : {"sample_hold", "SH", "_x", "osc2", "Tremolo"}) {
        EXPECT_EQ(ModuleNameProblem(good), "") << good;
    }
    for (const char* bad : {"", "2osc", "sample-hold", "two words", "sample.hold", "mod\xc3\xa9le"}) {
        EXPECT_THAT(ModuleNameProblem(bad), HasSubstr("not a C identifier")) << bad;
    }
    // Names CMake or the package would clash with, in any case.
    for (const char* kept : {"test", "Install", "ALL", "trframework", "gtest"}) {
        EXPECT_THAT(ModuleNameProblem(kept), HasSubstr("keeps for itself")) << kept;
    }
}

TEST(NewModuleNames, FilesAreLowerCaseTheDllUpperCaseAndTheClassCamelCase) {
    ModuleNames names = NamesFor("sample_hold");
    EXPECT_EQ(names.lower, "sample_hold");
    EXPECT_EQ(names.upper, "SAMPLE_HOLD");
    EXPECT_EQ(names.class_name, "SampleHoldModule");
    EXPECT_EQ(NamesFor("SampleHold").class_name, "SampleHoldModule");
    EXPECT_EQ(NamesFor("SampleHold").lower, "samplehold");
    EXPECT_EQ(NamesFor("vca").class_name, "VcaModule");
    EXPECT_EQ(NamesFor("_2x").class_name, "M2xModule");
}

TEST(NewModuleProject, HoldsTheModuleItsTestPatchReadmeAndBuildFilesNamedForIt) {
    auto files = Rendered("sample_hold");
    for (const char* path :
         {"CMakeLists.txt", "CMakePresets.json", "README.md", ".gitignore", "src/sample_hold_module.h",
          "src/sample_hold_module.cpp", "src/sample_hold_pins.cpp", "src/sample_hold_library.cpp",
          "tests/sample_hold_test.cpp", "patches/sample_hold_tremolo.json"}) {
        EXPECT_EQ(files.count(path), 1u) << path;
    }
    for (const auto& [path, contents] : files) {
        // Every placeholder is filled, in names and in contents.
        for (const std::string& text : {path, contents}) {
            for (const char* placeholder :
                 {"@name@", "@NAME@", "@Class@", "@SDK_PREFIX@", "@SDK_CMAKE_DIR@", "@VEXLO_LIBRARY@"}) {
                EXPECT_THAT(text, ::testing::Not(HasSubstr(placeholder))) << path;
            }
        }
    }
    EXPECT_THAT(files["CMakeLists.txt"], HasSubstr("find_package(TRFramework"));
    EXPECT_THAT(files["CMakeLists.txt"], HasSubstr("tr_add_module_library(sample_hold "));
    EXPECT_THAT(files["CMakeLists.txt"], HasSubstr("tr_add_module_test(sample_hold_test "));
    EXPECT_THAT(files["src/sample_hold_module.h"], HasSubstr("class SampleHoldModule : public TRModule_base"));
    EXPECT_THAT(files["src/sample_hold_library.cpp"], HasSubstr("TR_MODULE_LIBRARY(SampleHoldModule, kTexts);"));
    EXPECT_THAT(files["src/sample_hold_library.cpp"], HasSubstr("kName[] = \"SAMPLE_HOLD\""));
    EXPECT_THAT(files["README.md"], HasSubstr("build/windows-x86/SAMPLE_HOLD.dll"));
}

TEST(NewModuleProject, PresetsBuildBothTargetsAgainstTheSdk) {
    auto presets = nlohmann::json::parse(Rendered("vca")["CMakePresets.json"]);
    std::map<std::string, nlohmann::json> configure;
    for (const auto& preset : presets["configurePresets"]) configure[preset["name"]] = preset;
    ASSERT_EQ(configure.count("linux-x86"), 1u);
    ASSERT_EQ(configure.count("windows-x86"), 1u);
    EXPECT_EQ(configure["x86-base"]["cacheVariables"]["TRFramework_DIR"], kSdk.cmake_dir);
    EXPECT_EQ(configure["x86-base"]["binaryDir"], "${sourceDir}/build/${presetName}");
    EXPECT_EQ(configure["linux-x86"]["cacheVariables"]["CMAKE_CXX_FLAGS"], "-m32");
    EXPECT_EQ(configure["windows-x86"]["toolchainFile"], kSdk.cmake_dir + "/toolchain-mingw-i686.cmake");
    std::vector<std::string> builds, tests;
    for (const auto& preset : presets["buildPresets"]) builds.push_back(preset["name"]);
    for (const auto& preset : presets["testPresets"]) tests.push_back(preset["name"]);
    EXPECT_THAT(builds, ::testing::ElementsAre("linux-x86", "windows-x86"));
    EXPECT_THAT(tests, ::testing::ElementsAre("linux-x86", "windows-x86"));
}

TEST(NewModuleProject, PathsStayValidJsonWhateverTheyHold) {
    SdkLocation odd{"/opt/a \"quoted\" sdk", "/opt/a \"quoted\" sdk/lib/cmake/TRFramework",
                    "/opt/a \"quoted\" sdk/modules/vexlo.so"};
    auto files = Rendered("vca", odd);
    auto presets = nlohmann::json::parse(files["CMakePresets.json"]);
    EXPECT_EQ(presets["configurePresets"][0]["cacheVariables"]["TRFramework_DIR"], odd.cmake_dir);
    EXPECT_EQ(nlohmann::json::parse(files["patches/vca_tremolo.json"])["modules"][0]["library"], odd.vexlo_library);
}

TEST(NewModuleProject, PatchWiresVexloIntoTheModuleBuiltBesideIt) {
    auto files = Rendered("vca");
    PatchFile patch = ParsePatchText(files["patches/vca_tremolo.json"], "/tmp/vca/patches/vca_tremolo.json");
    ASSERT_EQ(patch.plan.modules.size(), 3u);
    EXPECT_EQ(fs::path(patch.plan.modules[0].library).lexically_normal().generic_string(), kSdk.vexlo_library);
    EXPECT_EQ(fs::path(patch.plan.modules[2].library).lexically_normal().generic_string(),
              "/tmp/vca/build/linux-x86/vca.so");
    ASSERT_EQ(patch.plan.modules[2].wires.size(), 2u);
    EXPECT_EQ(patch.plan.modules[2].wires[0].second.Text(), "tone.Out");
    EXPECT_EQ(patch.plan.modules[2].wires[1].second.Text(), "lfo.Out");
}

TEST(NewModuleProject, IsWrittenWholeOrNotAtAll) {
    Scratch scratch("write");
    auto files = RenderSkeleton(NamesFor("vca"), kSdk);
    fs::path folder = scratch.Path() / "deeper" / "vca";
    WriteSkeleton(folder, files);
    for (const SkeletonFile& file : files) {
        std::ifstream in(folder / file.path, std::ios::binary);
        std::stringstream contents;
        contents << in.rdbuf();
        EXPECT_EQ(contents.str(), file.contents) << file.path;
    }
    // Only the folder itself appears beside it: no staging folder is left.
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.Path() / "deeper"), fs::directory_iterator()), 1);

    // A file that cannot be written (its folder's name is taken by a file) leaves nothing behind.
    files.push_back({"src/vca_module.h/inside", "x"});
    EXPECT_THROW(WriteSkeleton(scratch.Path() / "failed", files), CommandError);
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.Path()), fs::directory_iterator()), 1);
}

TEST(NewModuleSdk, IsTheFolderThatHoldsThePackageConfig) {
    Scratch scratch("sdk");
    EXPECT_FALSE(SdkAt(scratch.Path().string()));
    std::string problem;
    EXPECT_FALSE(FindSdk(scratch.Path().string(), &problem));
    EXPECT_THAT(problem, HasSubstr("holds no module SDK"));

    fs::create_directories(scratch.Path() / "lib/cmake/TRFramework");
    std::ofstream(scratch.Path() / "lib/cmake/TRFramework/TRFrameworkConfig.cmake") << "\n";
    auto sdk = FindSdk(scratch.Path().string() + "/", &problem);
    ASSERT_TRUE(sdk);
    std::string prefix = scratch.Path().generic_string();
    EXPECT_EQ(sdk->prefix, prefix);
    EXPECT_EQ(sdk->cmake_dir, prefix + "/lib/cmake/TRFramework");
    EXPECT_EQ(sdk->vexlo_library, prefix + "/modules/vexlo.so");
}

}  // namespace
