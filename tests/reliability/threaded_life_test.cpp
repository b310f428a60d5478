// Separate instances opened, processed and closed on several threads at once. Each instance must
// behave exactly as it does alone: the same output, bit for bit, and the rig's checks clean. Run under
// helgrind (scripts/threadcheck.sh) it must also show no data race, which matters as soon as anything
// (a sine table, say) is shared between instances.
#include <cmath>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "life_rig.h"

using namespace reliability;

namespace {

// Rates kept low so that building the tables stays cheap under helgrind.
struct LifePlan {
    float rate;
    int16_t wave;
    int16_t freq_scale;
};

const LifePlan kPlans[] = {
    {2000.0f, 0, 0},
    {3000.0f, 1, 0},
    {4410.0f, 2, 0},
    {8000.0f, 0, 1},
};
constexpr int kLivesPerThread = 2;
constexpr int kBlocksPerLife = 6;

struct LifeResult {
    std::vector<float> output;
    std::vector<std::string> faults;
    bool created = false;
};

// One whole life: create, open, modulated blocks, close.
LifeResult Live(const trhost::ModuleLibrary& library, const LifePlan& plan, uint32_t host_handle) {
    LifeResult result;
    LifeRig rig(library, host_handle);
    result.created = rig.Create();
    if (!result.created) return result;
    rig.SetRate(plan.rate);
    rig.SetList(kWave, plan.wave);
    rig.SetList(kFreqScale, plan.freq_scale);
    rig.Set(kFreq, [&](size_t i) {
        float base = plan.freq_scale ? 0.05f : 5.0f;
        return base * (1.0f + 0.5f * std::sin(static_cast<float>(i) * 0.02f));
    });
    rig.Set(kPhase, [](size_t i) { return 90.0f * std::sin(static_cast<float>(i) * 0.003f); });
    rig.Open();
    rig.Run(kBlocksPerLife);
    rig.Close();
    result.output = rig.Output();
    result.faults = rig.Faults();
    return result;
}

TEST(ThreadedLives, SeparateInstancesOnSeveralThreadsMatchTheirLivesAlone) {
    std::string error;
    auto library = trhost::ModuleLibrary::Load(VEXLO_LIBRARY_PATH, &error);
    ASSERT_TRUE(library) << error;

    const size_t plans = sizeof kPlans / sizeof kPlans[0];
    std::vector<LifeResult> alone;
    for (size_t p = 0; p < plans; ++p) alone.push_back(Live(*library, kPlans[p], 0x414C0000u + p));

    std::vector<std::vector<LifeResult>> together(plans);
    std::vector<std::thread> threads;
    for (size_t p = 0; p < plans; ++p) {
        threads.emplace_back([&, p] {
            for (int life = 0; life < kLivesPerThread; ++life) {
                together[p].push_back(Live(*library, kPlans[p], 0x54480000u + p * 16 + life));
            }
        });
    }
    for (auto& thread : threads) thread.join();

    for (size_t p = 0; p < plans; ++p) {
        ASSERT_TRUE(alone[p].created);
        for (const auto& fault : alone[p].faults) ADD_FAILURE() << "plan " << p << " alone: " << fault;
        ASSERT_EQ(together[p].size(), static_cast<size_t>(kLivesPerThread));
        for (int life = 0; life < kLivesPerThread; ++life) {
            const LifeResult& result = together[p][life];
            ASSERT_TRUE(result.created);
            for (const auto& fault : result.faults) ADD_FAILURE() << "plan " << p << ": " << fault;
            ASSERT_EQ(result.output.size(), alone[p].output.size());
            // Bit for bit: memcmp, so that NaN outputs compare as well.
            EXPECT_EQ(std::memcmp(result.output.data(), alone[p].output.data(), result.output.size() * sizeof(float)),
                      0)
                << "plan " << p << ", life " << life << " differs from the same life alone";
        }
    }
}

}  // namespace
