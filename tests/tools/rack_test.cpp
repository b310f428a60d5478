// The rack against real module libraries: a render or patch through it must equal the same modules
// driven by hand through the host library, and wrong patches must be refused by name.
#include "rack.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "command_error.h"
#include "exit_codes.h"
#include "reference/literal_engine.h"

using namespace trhost;
using ::testing::AllOf;
using ::testing::HasSubstr;

namespace {

using Settings = std::vector<std::pair<std::string, std::string>>;

std::unique_ptr<ModuleLibrary> Load(const char* path) {
    std::string error;
    auto library = ModuleLibrary::Load(path, &error);
    EXPECT_TRUE(library) << error;
    return library;
}

// A module set up by hand the way a host does it: rate, block, pins described and wired, every input
// at its default (volts / 10, or the list value) unless `settings` gives a value in the same form.
struct HandModule {
    HostInstance host;
    std::vector<PinDescription> pins;

    HandModule(const ModuleLibrary& library, float rate, int32_t block, const Settings& settings) : host(library) {
        EXPECT_TRUE(host.Create());
        host.SetSampleRate(rate);
        host.SetBlockSize(block);
        pins = host.DescribePins();
        host.Wire(pins, static_cast<size_t>(block));
        for (const auto& pin : pins) {
            if (pin.direction == PIN_OUT) continue;
            std::string text = pin.default_text.value_or("0");
            for (const auto& [name, value] : settings) {
                if (name == pin.name) text = value;
            }
            if (pin.IsAudio()) {
                float sample = static_cast<float>(std::strtod(text.c_str(), nullptr) / 10.0);
                std::fill(host.Buffer(pin.index), host.Buffer(pin.index) + block, sample);
            } else if (pin.IsList()) {
                host.SetListValue(pin.index, static_cast<int16_t>(std::atoi(text.c_str())));
            }
        }
    }
    int32_t Pin(const std::string& name) const {
        for (const auto& pin : pins) {
            if (pin.name == name) return pin.index;
        }
        ADD_FAILURE() << "no pin " << name;
        return 0;
    }
};

// Processes `modules` in the given order block by block, collecting `out` of the last one.
std::vector<float> DriveByHand(std::vector<HandModule*> modules, int32_t block, int64_t frames,
                               const std::string& out) {
    for (auto* module : modules) module->host.Open();
    std::vector<float> result;
    for (int64_t done = 0; done < frames; done += block) {
        int32_t count = static_cast<int32_t>(std::min<int64_t>(block, frames - done));
        for (auto* module : modules) module->host.Process(0, count);
        const float* buffer = modules.back()->host.Buffer(modules.back()->Pin(out));
        result.insert(result.end(), buffer, buffer + count);
        for (auto* module : modules) module->host.AdvanceClock(static_cast<uint32_t>(count));
    }
    return result;
}

PatchPlan OneModule(const std::string& library, const Settings& settings) {
    PatchPlan plan;
    plan.modules.push_back({"module", library, settings, {}});
    return plan;
}

bool VexloHasPins() {
    auto library = Load(VEXLO_LIBRARY_PATH);
    HostInstance host(*library);
    return host.Create() && !host.DescribePins().empty();
}

// The refusal building `plan` meets: its stage and message.
std::pair<int, std::string> Refusal(const PatchPlan& plan, RunSettings run = {}) {
    try {
        Rack rack(plan, run);
    } catch (const CommandError& error) {
        return {error.ExitCode(), error.what()};
    }
    return {kExitOk, "(accepted)"};
}

ModulePlan Fixture(const std::string& name, Settings settings = {},
                   std::vector<std::pair<std::string, PinRef>> wires = {}) {
    return {name, FIXTURE_LIBRARY_PATH, std::move(settings), std::move(wires)};
}

}  // namespace

TEST(RackRender, DefaultsEqualTheModuleDrivenByHand) {
    if (!VexloHasPins()) GTEST_SKIP() << "the module library describes no pins yet";
    RunSettings run;  // 44100 Hz, block 1024, 2 s
    Rack rack(OneModule(VEXLO_LIBRARY_PATH, {}), run);
    Rendering rendering = rack.Run();
    ASSERT_EQ(rendering.channels.size(), 1u);
    EXPECT_EQ(rendering.channel_names[0], "Out");
    EXPECT_EQ(rendering.frames, 88200);

    auto library = Load(VEXLO_LIBRARY_PATH);
    HandModule module(*library, 44100.0f, 1024, {});
    std::vector<float> expected = DriveByHand({&module}, 1024, 88200, "Out");
    EXPECT_TRUE(rendering.channels[0] == expected);
    EXPECT_NE(*std::max_element(expected.begin(), expected.end()), 0.0f) << "the module is silent";
}

TEST(RackRender, SettingsInVoltsAndByChoiceAtAnOddBlockEqualTheModuleDrivenByHand) {
    if (!VexloHasPins()) GTEST_SKIP() << "the module library describes no pins yet";
    RunSettings run;
    run.rate = 48000;
    run.block = 77;
    run.seconds = 0.5;
    Rack rack(OneModule(VEXLO_LIBRARY_PATH,
                        {{"freq", "3.5"}, {"Wave", "Triangle"}, {"Offset", "2"}, {"Depth scale", "relative"}}),
              run);
    Rendering rendering = rack.Run();

    auto library = Load(VEXLO_LIBRARY_PATH);
    HandModule module(*library, 48000.0f, 77, {{"Freq", "3.5"}, {"Wave", "1"}, {"Offset", "2"}, {"Depth scale", "1"}});
    std::vector<float> expected = DriveByHand({&module}, 77, 24000, "Out");
    ASSERT_EQ(rendering.channels.size(), 1u);
    EXPECT_TRUE(rendering.channels[0] == expected);
}

TEST(RackRender, SettingsEqualTheReferenceEngineFedTheSameValues) {
    if (!VexloHasPins()) GTEST_SKIP() << "the module library describes no pins yet";
    RunSettings run;
    run.rate = 32000;
    run.block = 333;
    run.seconds = 0.75;
    Rack rack(
        OneModule(
            VEXLO_LIBRARY_PATH,
            {{"Freq", "2.5"}, {"Phase", "90"}, {"Wave", "square"}, {"Depth", "3"}, {"Offset", "4"}, {"In", "-7.5"}}),
        run);
    Rendering rendering = rack.Run();
    vexlo::reference::LiteralEngine engine(32000.0f);
    vexlo::reference::SampleInputs inputs{-0.75f, 0.3f, 0.4f, 0.25f, 9.0f};
    for (int64_t i = 0; i < rendering.frames; ++i) {
        ASSERT_EQ(rendering.channels[0][i], engine.Step(inputs, {2, 0, 0})) << "sample " << i;
    }
}

TEST(RackPatch, AChainEqualsTwoInstancesDrivenByHandInWireOrder) {
    if (!VexloHasPins()) GTEST_SKIP() << "the module library describes no pins yet";
    // Listed carrier first: the rack must still run the modulator first.
    PatchPlan plan;
    plan.modules.push_back({"car", VEXLO_LIBRARY_PATH, {{"Wave", "triangle"}}, {{"Freq", {"mod", "Out"}}}});
    plan.modules.push_back({"mod", VEXLO_LIBRARY_PATH, {{"Freq", "3"}, {"Depth", "1"}, {"Offset", "2"}}, {}});
    plan.outputs = {{"car", "Out"}, {"mod", "Out"}};
    RunSettings run;
    run.rate = 8000;
    run.block = 100;
    run.seconds = 1.01;
    Rack rack(plan, run);
    EXPECT_EQ(rack.ProcessingOrder(), (std::vector<std::string>{"mod", "car"}));
    Rendering rendering = rack.Run();
    EXPECT_EQ(rendering.channel_names, (std::vector<std::string>{"car.Out", "mod.Out"}));

    auto library = Load(VEXLO_LIBRARY_PATH);
    HandModule mod(*library, 8000.0f, 100, {{"Freq", "3"}, {"Depth", "1"}, {"Offset", "2"}});
    HandModule car(*library, 8000.0f, 100, {{"Wave", "1"}});
    car.host.SetBuffer(car.Pin("Freq"), mod.host.Buffer(mod.Pin("Out")));
    std::vector<float> expected = DriveByHand({&mod, &car}, 100, 8080, "Out");
    ASSERT_EQ(rendering.frames, 8080);
    EXPECT_TRUE(rendering.channels[0] == expected);
}

TEST(RackRun, TheClockAdvancesByEachBlockIncludingTheLastShortOne) {
    RunSettings run;
    run.rate = 1000;
    run.block = 64;
    run.seconds = 0.1;  // 100 samples: one block of 64, one of 36
    PatchPlan plan = OneModule(FIXTURE_LIBRARY_PATH, {});
    Rack rack(plan, run);
    Rendering rendering = rack.Run();
    ASSERT_EQ(rendering.channel_names, (std::vector<std::string>{"Out", "Clock", "State"}));
    ASSERT_EQ(rendering.frames, 100);
    for (int64_t i = 0; i < 100; ++i) ASSERT_EQ(rendering.channels[1][i], static_cast<float>(i)) << i;
    // Defaults: In 10 V (1.0) times Gain 5 V (0.5), Mode multiply.
    EXPECT_EQ(rendering.channels[0][0], 0.5f);
}

TEST(RackRun, InputStatesAreAnnouncedAsAHostWould) {
    RunSettings run;
    run.seconds = 0.01;
    // Constant In: static. Wired In: the state its source announced for that output (running).
    PatchPlan plan;
    plan.modules = {Fixture("a", {{"Mode", "add"}, {"Offset", "half"}}), Fixture("b", {}, {{"In", {"a", "Out"}}})};
    plan.outputs = {{"a", "State"}, {"b", "State"}, {"b", "Out"}, {"a", "Out"}};
    Rendering rendering = Rack(plan, run).Run();
    EXPECT_EQ(rendering.channels[0][0], static_cast<float>(PIN_STATE_STATIC));
    EXPECT_EQ(rendering.channels[1][0], static_cast<float>(PIN_STATE_RUNNING));
    // a: 1.0 + 0.5 + 0.5 (half); b multiplies that by its default Gain 0.5.
    EXPECT_EQ(rendering.channels[3][0], 2.0f);
    EXPECT_EQ(rendering.channels[2][0], 1.0f);
}

// Every wire is held against the range its receiving pin states: the first sample outside is counted
// from the start of the run across blocks, a value on the range's edge is inside, and each wire is
// followed on its own. The fixture's Clock counts samples (k, that is 10 k V).
TEST(RackRanges, EachWireIsFoundWhereItFirstLeavesItsPinsRange) {
    PatchPlan plan;
    plan.modules.push_back({"src", FIXTURE_LIBRARY_PATH, {}, {}});
    // mid: In <- Clock, 10 k V, outside 0 to 10 V from k = 2; Out = In x Gain 0.25 = 2.5 k V.
    plan.modules.push_back({"mid", FIXTURE_LIBRARY_PATH, {{"Gain", "2.5"}}, {{"In", {"src", "Clock"}}}});
    // dst: Gain <- mid.Out, outside 0 to 10 V from k = 5, in the second block of 3.
    plan.modules.push_back({"dst", FIXTURE_LIBRARY_PATH, {}, {{"Gain", {"mid", "Out"}}}});
    plan.outputs = {{"dst", "Out"}};
    RunSettings run;
    run.rate = 1000;
    run.block = 3;
    run.seconds = 0.02;
    Rack rack(plan, run);
    EXPECT_TRUE(rack.SetValuesOutOfRange().empty());
    rack.Run();
    const std::vector<RangeExcursion> found = rack.RangeExcursions();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].wire, "mid.In <- src.Clock");
    EXPECT_EQ(found[0].first_sample, 2);
    EXPECT_DOUBLE_EQ(found[0].first_volts, 20);
    EXPECT_DOUBLE_EQ(found[0].furthest_volts, 190);
    EXPECT_EQ(found[0].samples_outside, 18);
    EXPECT_EQ(found[1].wire, "dst.Gain <- mid.Out");
    EXPECT_EQ(found[1].pin, "Gain");
    EXPECT_EQ(found[1].first_sample, 5);
    EXPECT_DOUBLE_EQ(found[1].first_volts, 12.5);
    EXPECT_EQ(found[1].samples_outside, 15);
    EXPECT_THAT(ExcursionText(found[1], run.rate),
                AllOf(HasSubstr("dst.Gain <- mid.Out leaves the range of Gain (0 V to 10 V)"),
                      HasSubstr("first at 0.0050 s (sample 5) with 12.5 V"), HasSubstr("furthest 47.5 V")));

    Rack strayed(OneModule(FIXTURE_LIBRARY_PATH, {{"Gain", "20"}}), run);
    ASSERT_EQ(strayed.SetValuesOutOfRange().size(), 1u);
    EXPECT_THAT(strayed.SetValuesOutOfRange()[0], AllOf(HasSubstr("\"Gain\""), HasSubstr("20 V")));
}

// Not finite is outside every range, and the furthest value then reads as not finite.
TEST(RackRanges, ANonFiniteSignalLeavesEveryRange) {
    WireRangeWatch watch;
    const size_t wire = watch.Watch("b.In <- a.Out", "In", PinRange{10, 0, 10, 0});
    const float block[] = {0.5f, std::nanf(""), 2.0f, 0.25f};
    watch.Check(wire, block, 4, 100);
    const std::vector<RangeExcursion> found = watch.Excursions();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].first_sample, 101);
    EXPECT_TRUE(std::isnan(found[0].first_volts));
    EXPECT_TRUE(std::isnan(found[0].furthest_volts));
    EXPECT_EQ(found[0].samples_outside, 2);
    EXPECT_THAT(ExcursionText(found[0], 1000), HasSubstr("with not finite, furthest not finite"));
}

TEST(RackErrors, LibrariesThatCannotBeUsedAreNamedWithWhatIsMissing) {
    auto [code, message] = Refusal(OneModule("no/such/module.so", {}));
    EXPECT_EQ(code, kExitLoad);
    EXPECT_THAT(message, AllOf(HasSubstr("no/such/module.so"), HasSubstr("cannot be loaded")));
    std::tie(code, message) = Refusal(OneModule(NO_MAKE_MODULE_LIBRARY_PATH, {}));
    EXPECT_EQ(code, kExitLoad);
    EXPECT_THAT(message, AllOf(HasSubstr(NO_MAKE_MODULE_LIBRARY_PATH), HasSubstr("missing export makeModule")));
}

TEST(RackErrors, SettingsNameTheModuleThePinAndTheValue) {
    PatchPlan plan;
    plan.origin = "p.json: ";
    plan.modules = {Fixture("a", {{"Gian", "1"}})};
    auto [code, message] = Refusal(plan);
    EXPECT_EQ(code, kExitSettings);
    EXPECT_THAT(message, AllOf(HasSubstr("p.json: module \"a\": "), HasSubstr("unknown pin \"Gian\"")));
    plan.modules = {Fixture("a", {{"Mode", "divide"}})};
    std::tie(code, message) = Refusal(plan);
    EXPECT_EQ(code, kExitSettings);
    EXPECT_THAT(message, AllOf(HasSubstr("\"Mode\""), HasSubstr("\"divide\""), HasSubstr("add=0")));
    plan.modules = {Fixture("a", {{"Gain", "1"}, {"gain", "2"}})};
    EXPECT_THAT(Refusal(plan).second, HasSubstr("\"Gain\" is set twice"));
    // Outside the range: taken, with a warning.
    plan.modules = {Fixture("a", {{"Gain", "12"}})};
    Rack rack(plan, {});
    ASSERT_EQ(rack.Warnings().size(), 1u);
    EXPECT_THAT(rack.Warnings()[0], AllOf(HasSubstr("module \"a\""), HasSubstr("12 V")));
}

TEST(RackErrors, WiresMustJoinAnOutputOfAKnownModuleToAnAudioInput) {
    struct Case {
        std::vector<ModulePlan> modules;
        const char* expected;
    } cases[] = {
        {{Fixture("a"), Fixture("b", {}, {{"In", {"c", "Out"}}})}, "unknown module \"c\""},
        {{Fixture("a"), Fixture("b", {}, {{"In", {"a", "Output"}}})}, "unknown pin \"Output\""},
        {{Fixture("a"), Fixture("b", {}, {{"Inn", {"a", "Out"}}})}, "unknown pin \"Inn\""},
        {{Fixture("a"), Fixture("b", {}, {{"In", {"a", "Gain"}}})}, "\"Gain\" of \"a\" is not an audio output"},
        {{Fixture("a"), Fixture("b", {}, {{"Mode", {"a", "Out"}}})}, "\"Mode\" is not an audio input"},
        {{Fixture("a"), Fixture("b", {}, {{"Out", {"a", "Out"}}})}, "\"Out\" is not an audio input"},
        {{Fixture("a"), Fixture("b", {{"In", "1"}}, {{"In", {"a", "Out"}}})}, "both set and wired"},
        {{Fixture("a"), Fixture("a")}, "two modules are named \"a\""},
    };
    for (const auto& c : cases) {
        PatchPlan plan;
        plan.origin = "p.json: ";
        plan.modules = c.modules;
        auto [code, message] = Refusal(plan);
        EXPECT_EQ(code, kExitPatch) << message;
        EXPECT_THAT(message, AllOf(HasSubstr("p.json: "), HasSubstr(c.expected)));
    }
}

TEST(RackErrors, LoopsAreRefusedNamingTheirWires) {
    PatchPlan plan;
    plan.origin = "p.json: ";
    plan.modules = {Fixture("src"), Fixture("a", {}, {{"In", {"src", "Out"}}, {"Gain", {"b", "Out"}}}),
                    Fixture("b", {}, {{"In", {"a", "Out"}}}), Fixture("c", {}, {{"In", {"b", "Out"}}})};
    auto [code, message] = Refusal(plan);
    EXPECT_EQ(code, kExitPatch);
    EXPECT_THAT(message, AllOf(HasSubstr("loop"), HasSubstr("a.Gain <- b.Out"), HasSubstr("b.In <- a.Out")));
    EXPECT_THAT(message, ::testing::Not(HasSubstr("src"))) << "only the loop's own wires";
    plan.modules = {Fixture("self", {}, {{"In", {"self", "Clock"}}})};
    std::tie(code, message) = Refusal(plan);
    EXPECT_EQ(code, kExitPatch);
    EXPECT_THAT(message, HasSubstr("loop: self.In <- self.Clock"));
}

TEST(RackErrors, OutputsMustNameAudioOutputsOfKnownModules) {
    PatchPlan plan;
    plan.origin = "p.json: ";
    plan.modules = {Fixture("a")};
    plan.outputs = {{"b", "Out"}};
    EXPECT_THAT(Refusal(plan).second, HasSubstr("output b.Out: unknown module \"b\""));
    plan.outputs = {{"a", "Gain"}};
    EXPECT_THAT(Refusal(plan).second, HasSubstr("\"Gain\" is not an audio output"));
    plan.outputs = {{"a", "Volume"}};
    EXPECT_THAT(Refusal(plan).second, HasSubstr("unknown pin \"Volume\""));
}

TEST(RackErrors, ARepeatedOutputAndAMissingLibraryAreNamedInThePatch) {
    PatchPlan plan;
    plan.origin = "p.json: ";
    plan.modules = {Fixture("a")};
    plan.outputs = {{"a", "Out"}, {"a", "out"}};
    auto [code, message] = Refusal(plan);
    EXPECT_EQ(code, kExitPatch);
    EXPECT_THAT(message, AllOf(HasSubstr("output a.out"), HasSubstr("listed twice")));
    plan.modules = {Fixture("a"), {"b", "no/such/module.so", {}, {}}};
    std::tie(code, message) = Refusal(plan);
    EXPECT_EQ(code, kExitLoad);
    EXPECT_THAT(message, AllOf(HasSubstr("p.json: module \"b\": no/such/module.so"), HasSubstr("no such file")));
}
