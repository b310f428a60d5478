// The module, linked in, against the literal reference engine over long seeded scenarios.
#include <gtest/gtest.h>

#include "differential.h"
#include "fake_host.h"
#include "vexlo_module.h"

namespace {

vexlo::testing::DifferentialReport RunLinked(float rate, uint32_t seed, int32_t samples, bool specials) {
    ModuleRig rig((new VexloModule(FakeHost::Callback, 0x1234))->Plug(), vexlo::testing::kDifferentialCapacity);
    rig.SetSampleRate(rate);
    rig.Wire();
    rig.Open();
    const auto report = vexlo::testing::RunDifferential(rig, rate, seed, samples, specials);
    rig.Close();
    return report;
}

class LinkedDifferential : public ::testing::TestWithParam<float> {};

TEST_P(LinkedDifferential, EveryBlockBitEqualAndNothingOutsideWritten) {
    FakeHost host;
    const float rate = GetParam();
    for (uint32_t seed : {1u, 2u, 3u}) {
        const auto report = RunLinked(rate, seed * 7919u + 11u, 60000, seed != 1);
        EXPECT_EQ(report.mismatches, 0) << report.first_failure;
        EXPECT_EQ(report.outside_writes, 0);
        EXPECT_GT(report.active_like, report.samples / 10) << "scenario barely exercises the oscillator";
    }
}

INSTANTIATE_TEST_SUITE_P(SampleRates, LinkedDifferential,
                         ::testing::Values(881.0f, 882.9f, 1763.0f, 1764.0f, 8000.0f, 11025.0f, 22050.0f, 32000.0f,
                                           44100.0f, 48000.0f, 88200.0f, 96000.0f, 192000.0f),
                         [](const auto& info) { return std::to_string(static_cast<int>(info.param)); });

}  // namespace
