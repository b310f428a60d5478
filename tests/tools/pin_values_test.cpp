// How trhost reads the pin names and values a user writes.
#include "pin_values.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "command_error.h"
#include "exit_codes.h"

using namespace trhost;
using ::testing::AllOf;
using ::testing::HasSubstr;

namespace {

PinDescription Audio(int32_t index, const char* name, const char* range, int32_t direction = PIN_IN) {
    PinDescription pin;
    pin.index = index;
    pin.name = name;
    pin.direction = direction;
    pin.datatype = DT_FSAMPLE;
    pin.default_text = "1";
    if (range) pin.extra_text = range;
    return pin;
}

PinDescription List(int32_t index, const char* name, const char* choices, const char* default_text) {
    PinDescription pin;
    pin.index = index;
    pin.name = name;
    pin.direction = PIN_SETTING;
    pin.datatype = DT_LIST;
    if (choices) pin.extra_text = choices;
    if (default_text) pin.default_text = default_text;
    return pin;
}

// The refusal `action` throws: its stage and its message.
template <typename Action>
std::pair<int, std::string> Refusal(Action action) {
    try {
        action();
    } catch (const CommandError& error) {
        return {error.ExitCode(), error.what()};
    }
    return {kExitOk, "(accepted)"};
}

}  // namespace

TEST(PinValues, AssignmentSplitsAtTheFirstEqualsSign) {
    std::string pin, value;
    SplitAssignment("Depth scale=Relative", &pin, &value);
    EXPECT_EQ(pin, "Depth scale");
    EXPECT_EQ(value, "Relative");
    SplitAssignment("Freq=", &pin, &value);
    EXPECT_EQ(value, "");
    for (const char* bad : {"Freq", "=3", ""}) {
        auto [code, message] = Refusal([&] { SplitAssignment(bad, &pin, &value); });
        EXPECT_EQ(code, kExitSettings) << bad;
        EXPECT_THAT(message, HasSubstr("PIN=VALUE")) << bad;
    }
}

TEST(PinValues, PinsAreFoundWhateverTheLetterCase) {
    std::vector<PinDescription> pins = {Audio(0, "Freq", nullptr),
                                        List(1, "Depth scale", "Absolute=0,Relative=1", "0")};
    EXPECT_EQ(FindPin(pins, "freq").index, 0);
    EXPECT_EQ(FindPin(pins, "DEPTH SCALE").index, 1);
    auto [code, message] = Refusal([&] { FindPin(pins, "Frq"); });
    EXPECT_EQ(code, kExitSettings);
    EXPECT_THAT(message, AllOf(HasSubstr("\"Frq\""), HasSubstr("Freq, Depth scale")));
    // A name must match whole: no prefixes, no blanks trimmed.
    EXPECT_EQ(Refusal([&] { FindPin(pins, "Depth"); }).first, kExitSettings);
    EXPECT_EQ(Refusal([&] { FindPin(pins, "Freq "); }).first, kExitSettings);
}

TEST(PinValues, AudioValuesAreVoltsOverTen) {
    PinDescription freq = Audio(3, "Freq", "20,.0001,20,.0001");
    std::vector<std::string> warnings;
    EXPECT_EQ(ResolvePinValue(freq, "4", &warnings).sample, 0.4f);
    EXPECT_EQ(ResolvePinValue(freq, "-2.5", &warnings).sample, -0.25f);
    EXPECT_EQ(ResolvePinValue(freq, "1e1", &warnings).sample, 1.0f);
    // Rounded once, from the exact quotient: 0.3 V is the float nearest 0.03, not 0.3f / 10.
    EXPECT_EQ(ResolvePinValue(freq, "0.3", &warnings).sample, static_cast<float>(0.03));
    EXPECT_EQ(ResolvePinValue(freq, "4", &warnings).shown, "4 V");
    EXPECT_TRUE(warnings.size() == 1) << "only -2.5 V lies outside 0.0001 to 20 V";
    EXPECT_THAT(warnings.front(), AllOf(HasSubstr("\"Freq\""), HasSubstr("-2.5 V"), HasSubstr("20 V")));
}

TEST(PinValues, AudioValuesThatAreNoNumberAreRefusedNamingPinAndValue) {
    PinDescription depth = Audio(1, "Depth", "10,0,10,0");
    for (const char* bad : {"", "four", "4V", " 4", "4 ", "nan", "inf", "1e40", "0x10"}) {
        auto [code, message] = Refusal([&] { ResolvePinValue(depth, bad, nullptr); });
        EXPECT_EQ(code, kExitSettings) << bad;
        EXPECT_THAT(message, AllOf(HasSubstr("\"Depth\""), HasSubstr("\"" + std::string(bad) + "\"")));
    }
}

TEST(PinValues, ListValuesAreChoiceNamesOrTheirNumbers) {
    PinDescription wave = List(5, "Wave", "sine=0,triangle=1,square=2", "0");
    wave.direction = PIN_IN;
    EXPECT_EQ(ResolvePinValue(wave, "triangle", nullptr).list_value, 1);
    EXPECT_EQ(ResolvePinValue(wave, "SQUARE", nullptr).list_value, 2);
    EXPECT_EQ(ResolvePinValue(wave, "SQUARE", nullptr).shown, "square");
    EXPECT_EQ(ResolvePinValue(wave, "2", nullptr).list_value, 2);
    for (const char* bad : {"saw", "3", "-1", "1.0", "", "tri"}) {
        auto [code, message] = Refusal([&] { ResolvePinValue(wave, bad, nullptr); });
        EXPECT_EQ(code, kExitSettings) << bad;
        EXPECT_THAT(message, AllOf(HasSubstr("\"Wave\""), HasSubstr("\"" + std::string(bad) + "\""),
                                   HasSubstr("sine=0, triangle=1, square=2")));
    }
    // Choices whose values are not their positions are chosen by value.
    PinDescription sparse = List(0, "Rate", "slow=10,fast=20", "10");
    EXPECT_EQ(ResolvePinValue(sparse, "20", nullptr).list_value, 20);
    EXPECT_EQ(Refusal([&] { ResolvePinValue(sparse, "1", nullptr); }).first, kExitSettings);
    // A list whose choices cannot be read takes any 16-bit value.
    PinDescription unreadable = List(0, "Raw", "not a list", nullptr);
    EXPECT_EQ(ResolvePinValue(unreadable, "-7", nullptr).list_value, -7);
    EXPECT_EQ(Refusal([&] { ResolvePinValue(unreadable, "70000", nullptr); }).first, kExitSettings);
}

TEST(PinValues, OutputsAndUnknownTypesCannotBeSet) {
    PinDescription out = Audio(6, "Out", nullptr, PIN_OUT);
    auto [code, message] = Refusal([&] { ResolvePinValue(out, "1", nullptr); });
    EXPECT_EQ(code, kExitSettings);
    EXPECT_THAT(message, HasSubstr("\"Out\" is an output"));
    PinDescription word = Audio(0, "Word", nullptr);
    word.datatype = DT_WORD32;
    EXPECT_EQ(Refusal([&] { ResolvePinValue(word, "1", nullptr); }).first, kExitSettings);
    EXPECT_FALSE(IsSettable(out));
    EXPECT_FALSE(IsSettable(word));
}

TEST(PinValues, DefaultsComeFromTheDefaultTextOrAreZero) {
    std::vector<std::string> warnings;
    PinDescription in = Audio(0, "In", nullptr);
    in.default_text = "10";
    EXPECT_EQ(DefaultPinValue(in, &warnings).sample, 1.0f);
    in.default_text.reset();
    EXPECT_EQ(DefaultPinValue(in, &warnings).sample, 0.0f);
    EXPECT_TRUE(warnings.empty());
    // An out-of-range default is the module's own affair: no warning.
    in.default_text = "50";
    in.extra_text = "10,0,10,0";
    EXPECT_EQ(DefaultPinValue(in, &warnings).sample, 5.0f);
    EXPECT_TRUE(warnings.empty());
    // An unreadable default is reported and taken as zero.
    in.default_text = "ten";
    EXPECT_EQ(DefaultPinValue(in, &warnings).sample, 0.0f);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_THAT(warnings.front(), AllOf(HasSubstr("\"In\""), HasSubstr("\"ten\"")));
    EXPECT_EQ(DefaultPinValue(List(7, "Freq scale", "Hz=0,kHz=1", "1"), &warnings).list_value, 1);
}

TEST(PinValues, BlanksAroundTheNameAndTheValueAreDropped) {
    std::string pin, value;
    SplitAssignment("  Depth scale = Relative ", &pin, &value);
    EXPECT_EQ(pin, "Depth scale");
    EXPECT_EQ(value, "Relative");
    EXPECT_EQ(Refusal([&] { SplitAssignment("  =3", &pin, &value); }).first, kExitSettings);
}

TEST(PinValues, AnUnknownPinSuggestsTheNearestNameWhenItIsPlainlyASlip) {
    std::vector<PinDescription> pins = {Audio(0, "Freq", nullptr), Audio(1, "Depth", nullptr),
                                        List(2, "Freq scale", "Hz=0,kHz=1", "0")};
    EXPECT_THAT(Refusal([&] { FindPin(pins, "Frq"); }).second,
                AllOf(HasSubstr("unknown pin \"Frq\""), HasSubstr("did you mean \"Freq\"?"), HasSubstr("Depth")));
    EXPECT_THAT(Refusal([&] { FindPin(pins, "freqscale"); }).second, HasSubstr("did you mean \"Freq scale\"?"));
    EXPECT_THAT(Refusal([&] { FindPin(pins, "Volume"); }).second, ::testing::Not(HasSubstr("did you mean")));
}
