// MIXER against theory: a channel at unity gain and hard pan is an exact copy, gains multiply exactly,
// the pan law keeps the power constant, channels add, and processing allocates nothing.
#include <gtest/gtest.h>

#include <cmath>

#include "allocation_counter.h"
#include "companion_rig.h"
#include "mixer_module.h"

namespace {

using Rig = CompanionRig<MixerModule>;
constexpr int32_t kLength = 300;

// Channel `channel`'s In as a test signal, its Gain and Pan constant; the other channels silent.
void SetChannel(Rig& rig, int32_t channel, float gain, float pan) {
    for (int32_t t = 0; t < kLength; ++t) {
        rig[MixerModule::InPin(channel)][t] = static_cast<float>(0.9 * std::sin(0.1 * t + channel));
        rig[MixerModule::GainPin(channel)][t] = gain;
        rig[MixerModule::PanPin(channel)][t] = pan;
    }
}

// A rig with every gain at 0 (silent channels), ready for SetChannel.
Rig& Silent(Rig& rig) {
    for (int32_t c = 0; c < MixerModule::kChannels; ++c) {
        for (float& s : rig[MixerModule::GainPin(c)]) s = 0.0f;
    }
    return rig;
}

TEST(MixerGains, UnityGainHardPannedIsAnExactCopy) {
    for (int32_t channel = 0; channel < MixerModule::kChannels; ++channel) {
        for (float pan : {-1.0f, 1.0f}) {
            Rig rig(kLength);
            SetChannel(Silent(rig), channel, 1.0f, pan);
            rig.Open(44100.0f);
            rig.Run(37);
            const auto& in = rig[MixerModule::InPin(channel)];
            const auto& near = rig[pan < 0 ? MixerModule::kPinLeft : MixerModule::kPinRight];
            const auto& far = rig[pan < 0 ? MixerModule::kPinRight : MixerModule::kPinLeft];
            for (int32_t t = 0; t < kLength; ++t) {
                ASSERT_EQ(rig[MixerModule::kPinMix][t], in[t]);
                ASSERT_EQ(near[t], in[t]);
                ASSERT_EQ(far[t], 0.0f);
            }
        }
    }
}

TEST(MixerGains, GainsMultiplyExactly) {
    for (float gain : {0.0f, 0.5f, 2.0f, -1.0f, 0.3f}) {
        Rig rig(kLength);
        SetChannel(Silent(rig), 1, gain, 0.0f);
        rig.Open(44100.0f);
        rig.Run();
        const auto& in = rig[MixerModule::InPin(1)];
        for (int32_t t = 0; t < kLength; ++t) {
            ASSERT_EQ(rig[MixerModule::kPinMix][t], static_cast<float>(static_cast<double>(in[t]) * gain));
        }
    }
}

TEST(MixerGains, ChannelsAddInOneRounding) {
    Rig rig(kLength);
    const float gains[] = {1.0f, 0.25f, -0.7f, 1.9f};
    for (int32_t c = 0; c < MixerModule::kChannels; ++c) SetChannel(rig, c, gains[c], 0.0f);
    rig.Open(44100.0f);
    rig.Run();
    for (int32_t t = 0; t < kLength; ++t) {
        double sum = 0;
        for (int32_t c = 0; c < MixerModule::kChannels; ++c) {
            sum += static_cast<double>(rig[MixerModule::InPin(c)][t]) * gains[c];
        }
        ASSERT_EQ(rig[MixerModule::kPinMix][t], static_cast<float>(sum));
    }
}

TEST(MixerPan, PowerIsTheSameAtEveryPosition) {
    for (float pan : {-1.0f, -0.6f, -0.2f, 0.0f, 0.35f, 0.8f, 1.0f, 3.0f, -7.0f}) {
        Rig rig(kLength);
        SetChannel(Silent(rig), 2, 1.0f, pan);
        rig.Open(44100.0f);
        rig.Run();
        const double p = std::fmax(-1.0, std::fmin(1.0, pan));
        for (int32_t t = 0; t < kLength; ++t) {
            const double in = rig[MixerModule::InPin(2)][t];
            const double left = rig[MixerModule::kPinLeft][t];
            const double right = rig[MixerModule::kPinRight][t];
            ASSERT_NEAR(left * left + right * right, in * in, 1e-6 * in * in + 1e-12) << "pan " << pan;
            ASSERT_NEAR(left, in * std::sqrt((1 - p) / 2), 1e-7) << "pan " << pan;
        }
    }
}

TEST(MixerPan, CentreGivesEachSideMinusThreeDecibels) {
    Rig rig(kLength);
    SetChannel(Silent(rig), 0, 1.0f, 0.0f);
    rig.Open(44100.0f);
    rig.Run();
    for (int32_t t = 0; t < kLength; ++t) {
        const float expected = static_cast<float>(rig[MixerModule::InPin(0)][t] * std::sqrt(0.5));
        ASSERT_EQ(rig[MixerModule::kPinLeft][t], expected);
        ASSERT_EQ(rig[MixerModule::kPinRight][t], expected);
    }
}

TEST(MixerRealtime, ProcessingAllocatesNothing) {
    Rig rig(kLength, 0.5f);
    rig.Open(44100.0f);
    const int64_t before = allocation_counter::AllocationsMade();
    rig.Run(7);
    EXPECT_EQ(allocation_counter::AllocationsMade(), before);
}

}  // namespace
