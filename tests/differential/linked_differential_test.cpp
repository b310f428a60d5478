// The module, linked in, against the literal reference engine over long seeded scenarios.
#include <gtest/gtest.h>

#include <string>

#include "differential.h"
#include "fake_host.h"
#include "vexlo_module.h"

namespace {

vexlo::testing::DifferentialReport RunLinked(float rate, uint32_t seed, int32_t samples, bool specials,
                                             uint32_t host_mxcsr = 0, int32_t* mxcsr_changes = nullptr) {
    ModuleRig rig((new VexloModule(FakeHost::Callback, 0x1234))->Plug(), vexlo::testing::kDifferentialCapacity);
    rig.CallWithMxcsr(host_mxcsr);
    rig.SetSampleRate(rate);
    rig.Wire();
    rig.Open();
    const auto report = vexlo::testing::RunDifferential(rig, rate, seed, samples, specials);
    rig.Close();
    if (mxcsr_changes) *mxcsr_changes = rig.mxcsr_changes();
    return report;
}

class LinkedDifferential : public ::testing::TestWithParam<float> {};

TEST_P(LinkedDifferential, EveryBlockBitEqualAndNothingOutsideWritten) {
    FakeHost host;
    host.pin_count = VexloModule::kPinCount;
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

// A host may call with another SSE rounding mode, or with flush-to-zero or denormals-are-zero set (left
// there by itself or by another module on its thread). The module's output must not change, the table
// it builds in Open included (each run here opens the only instance at its rate), and every call must
// hand the host's control word back as it was.
class HostFloatEnvironment : public ::testing::TestWithParam<uint32_t> {};

TEST_P(HostFloatEnvironment, OutputBitEqualAndControlWordHandedBack) {
    FakeHost host;
    host.pin_count = VexloModule::kPinCount;
    for (const float rate : {1763.0f, 44100.0f, 48000.0f, 192000.0f}) {
        int32_t changes = -1;
        const auto report = RunLinked(rate, 4241u + static_cast<uint32_t>(rate), 30000, true, GetParam(), &changes);
        EXPECT_EQ(report.mismatches, 0) << report.first_failure;
        EXPECT_EQ(report.outside_writes, 0);
        EXPECT_EQ(changes, 0) << "calls that changed the host's MXCSR at " << rate;
    }
}

// The default control word 0x1F80 with: rounding down, up and toward zero; flush-to-zero;
// denormals-are-zero; both; and all of it at once (with the sticky flags set as a host may leave them).
INSTANTIATE_TEST_SUITE_P(Modes, HostFloatEnvironment,
                         ::testing::Values(0x3F80u, 0x5F80u, 0x7F80u, 0x9F80u, 0x1FC0u, 0x9FC0u, 0xFFFFu),
                         [](const auto& info) {
                             switch (info.param) {
                                 case 0x3F80u: return std::string("RoundDown");
                                 case 0x5F80u: return std::string("RoundUp");
                                 case 0x7F80u: return std::string("RoundTowardZero");
                                 case 0x9F80u: return std::string("FlushToZero");
                                 case 0x1FC0u: return std::string("DenormalsAreZero");
                                 case 0x9FC0u: return std::string("FlushAndDenormalsAreZero");
                                 default: return std::string("EverythingAndFlags");
                             }
                         });

}  // namespace
