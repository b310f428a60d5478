// Freq and Phase read in hertz and degrees, on the scale the module is set to.
#include "pin_units.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "rack.h"

using namespace trhost;
using ::testing::HasSubstr;

TEST(PinUnits, FreqReadsOnItsScaleAndPhaseInDegrees) {
    EXPECT_EQ(MusicalReading("Freq", 4, std::string("Hz")), " (4 Hz)");
    EXPECT_EQ(MusicalReading("freq", 0.22, std::string("kHz")), " (0.22 kHz)");
    EXPECT_EQ(MusicalReading("Freq", 1, std::nullopt), " (1 Hz or 1 kHz)");
    EXPECT_EQ(MusicalReading("Phase", 90, std::nullopt), " (90\u00b0)");
    EXPECT_EQ(MusicalReading("Depth", 5, std::string("Hz")), "");
}

TEST(PinUnits, ASummaryShowsWhatTheSettingsMeanToAMusician) {
    PatchPlan plan;
    plan.modules.push_back({"lfo", VEXLO_LIBRARY_PATH, {{"Freq", "0.44"}, {"freq scale", "kHz"}, {"Phase", "90"}}, {}});
    std::string summary = Rack(plan, {}).Summary().front();
    EXPECT_THAT(summary, HasSubstr("Freq=0.44 V (0.44 kHz)"));
    EXPECT_THAT(summary, HasSubstr("Phase=90 V (90\u00b0)"));
    plan.modules[0].set = {{"Freq", "4"}};
    EXPECT_THAT(Rack(plan, {}).Summary().front(), HasSubstr("Freq=4 V (4 Hz)"));  // the default scale
}
