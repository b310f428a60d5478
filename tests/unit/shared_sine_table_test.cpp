// One sine table per sample rate, shared: instances opened at the same rate read one table, which
// outlives every instance but the last; another rate, or a second open at another rate, takes another
// table; outputs stay those of the literal engine. And instances opened, run and closed on several
// threads at once (run this program under helgrind or DRD to check the locking).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "module_rig.h"
#include "reference/literal_engine.h"
#include "shared_sine_table.h"
#include "vexlo_module.h"

namespace {

// A host callback that keeps no state, so that instances on any thread can share it.
int32_t TR_CALL StatelessHost(TRMod_struct*, int32_t opcode, int32_t, int32_t, void*, float) {
    return opcode == HOST_GET_PIN_COUNT ? VexloModule::kPinCount : 0;
}

// One linked instance, opened at `rate`, wired to its own buffers; closed when it goes.
struct Instance {
    Instance(float rate, int32_t capacity = 512)
        : module(new VexloModule(StatelessHost, 0)), rig(module->Plug(), capacity) {
        rig.SetSampleRate(rate);
        rig.Wire();
        rig.Open();
    }
    ~Instance() { rig.Close(); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    VexloModule* module;
    ModuleRig rig;
};

// Sine entries spread over the table, as the literal engine computes them.
::testing::AssertionResult TableHoldsTheSine(const VexloModule& module) {
    const int32_t n = module.TableLength();
    const float* table = module.SineTable();
    if (!table || n <= 0) return ::testing::AssertionFailure() << "no table";
    for (int32_t i = 0; i < n; i += 1 + n / 97) {
        if (table[i] != vexlo::reference::LiteralEngine::SineEntry(i, n)) {
            return ::testing::AssertionFailure() << "entry " << i << " of " << n;
        }
    }
    return ::testing::AssertionSuccess();
}

// Runs `count` samples of modulated sine through the instance and the literal engine; true when equal.
bool RunsLikeTheLiteralEngine(Instance& instance, vexlo::reference::LiteralEngine& engine, uint32_t seed,
                              int32_t count) {
    std::mt19937 rng(seed);
    ModuleRig& rig = instance.rig;
    rig.SetChoices(0, 0, 0);
    for (int32_t k = 0; k < count; ++k) {
        rig.in[k] = 1.0f;
        rig.depth[k] = 0.5f;
        rig.offset[k] = 0.0f;
        rig.freq[k] = std::uniform_real_distribution<float>(0.01f, 20.0f)(rng);
        rig.phase[k] = std::uniform_real_distribution<float>(-40.0f, 40.0f)(rng);
    }
    std::vector<float> expected(rig.out.size());
    rig.Process(0, count);
    engine.ProcessBlock(
        {rig.in.data(), rig.depth.data(), rig.offset.data(), rig.freq.data(), rig.phase.data(), expected.data()},
        {0, 0, 0}, 0, count);
    for (int32_t k = 0; k < count; ++k) {
        if (rig.out[k] != expected[k]) return false;
    }
    return true;
}

TEST(SharedSineTable, InstancesAtOneRateShareOneTableThatOutlivesAllButTheLast) {
    ASSERT_EQ(vexlo::HeldSineTables(), 0);
    auto a = std::make_unique<Instance>(44100.0f);
    auto b = std::make_unique<Instance>(44100.9f);  // the same whole-number rate
    EXPECT_EQ(a->module->SineTable(), b->module->SineTable());
    EXPECT_EQ(vexlo::HeldSineTables(), 1);

    a.reset();
    EXPECT_EQ(vexlo::HeldSineTables(), 1);
    EXPECT_TRUE(TableHoldsTheSine(*b->module));
    vexlo::reference::LiteralEngine engine(44100.0f);
    EXPECT_TRUE(RunsLikeTheLiteralEngine(*b, engine, 1, 500));

    b.reset();
    EXPECT_EQ(vexlo::HeldSineTables(), 0);
}

TEST(SharedSineTable, OtherRatesTakeOtherTablesAndASecondOpenLetsTheFirstGo) {
    Instance a(44100.0f), b(44100.0f), c(48000.0f);
    EXPECT_NE(a.module->SineTable(), c.module->SineTable());
    EXPECT_EQ(vexlo::HeldSineTables(), 2);

    // Re-opened at 48 kHz, a shares c's table; b still holds the 44.1 kHz one.
    a.rig.SetSampleRate(48000.0f);
    a.rig.Open();
    EXPECT_EQ(a.module->SineTable(), c.module->SineTable());
    EXPECT_EQ(vexlo::HeldSineTables(), 2);
    EXPECT_TRUE(TableHoldsTheSine(*b.module));

    // Re-opened at an unusable rate, b holds nothing and the 44.1 kHz table goes.
    b.rig.SetSampleRate(0.0f);
    b.rig.Open();
    EXPECT_EQ(b.module->SineTable(), nullptr);
    EXPECT_EQ(vexlo::HeldSineTables(), 1);

    // Re-opened at its own rate, the only holder keeps its table rather than building another.
    const float* held = c.module->SineTable();
    a.rig.SetSampleRate(0.0f);
    a.rig.Open();
    c.rig.Open();
    EXPECT_EQ(c.module->SineTable(), held);
    EXPECT_EQ(vexlo::HeldSineTables(), 1);
    EXPECT_TRUE(TableHoldsTheSine(*c.module));
}

TEST(SharedSineTable, InstancesSharingATableRunIndependently) {
    Instance a(22050.0f), b(22050.0f);
    vexlo::reference::LiteralEngine engine_a(22050.0f), engine_b(22050.0f);
    for (uint32_t block = 0; block < 20; ++block) {
        ASSERT_TRUE(RunsLikeTheLiteralEngine(a, engine_a, 100 + block, 1 + 25 * block)) << block;
        ASSERT_TRUE(RunsLikeTheLiteralEngine(b, engine_b, 200 + block, 500 - 20 * block)) << block;
    }
}

TEST(SharedSineTable, AcquireAndReleaseCountHolders) {
    const float* first = vexlo::AcquireSineTable(300);
    const float* second = vexlo::AcquireSineTable(300);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(vexlo::AcquireSineTable(0), nullptr);
    EXPECT_EQ(vexlo::AcquireSineTable(-5), nullptr);
    vexlo::ReleaseSineTable(first);
    EXPECT_EQ(vexlo::HeldSineTables(), 1);
    vexlo::ReleaseSineTable(second);
    vexlo::ReleaseSineTable(nullptr);
    EXPECT_EQ(vexlo::HeldSineTables(), 0);
}

// The residue order is a permutation of the entries: every address is taken once, and the value at
// entry i's address is entry i, for lengths that are multiples of 30 (where each class holds N / 30
// entries) and lengths that are not (where the first N mod 30 classes hold one more).
TEST(SharedSineTable, ResidueOrderHoldsEachEntryOnceWhereItsAddressSays) {
    for (const int32_t length : {30, 300, 30 * 881, 7, 31, 59, 1001}) {
        const float* table = vexlo::AcquireSineTable(length);
        ASSERT_NE(table, nullptr);
        const float* ordered = vexlo::ResidueOrder(table, length);
        std::vector<int> taken(static_cast<size_t>(length), 0);
        int32_t misplaced = 0;
        for (int32_t i = 0; i < length; ++i) {
            const int32_t address = vexlo::ResidueAddress(length, i);
            ASSERT_GE(address, 0) << "entry " << i << " of " << length;
            ASSERT_LT(address, length) << "entry " << i << " of " << length;
            ++taken[static_cast<size_t>(address)];
            misplaced += ordered[address] == table[i] ? 0 : 1;
        }
        EXPECT_EQ(misplaced, 0) << length;
        EXPECT_EQ(std::count(taken.begin(), taken.end(), 1), length) << length;
        // Within a class, entries 30 apart are neighbours.
        if (length % 30 == 0 && length >= 90) {
            EXPECT_EQ(vexlo::ResidueAddress(length, 60 + 7), vexlo::ResidueAddress(length, 30 + 7) + 1);
            EXPECT_EQ(vexlo::ResidueAddress(length, 7), 7 * (length / 30));
        }
        vexlo::ReleaseSineTable(table);
    }
}

// Walks near a whole multiple of 30 entries per sample take the residue order: 1 Hz and a few whole
// hertz at common rates, and 7 Hz at 48 kHz (P = 6857, 210.004 entries per sample); walks far from one
// (10 Hz and up, 1.5 Hz, under 16 entries per sample) and lengths that are not multiples of 30 do not.
TEST(SharedSineTable, ResidueOrderIsChosenOnlyWhereItReadsFewerLines) {
    for (const int32_t rate : {44100, 48000, 96000}) {
        const int32_t length = 30 * rate;
        EXPECT_TRUE(vexlo::DenserByResidue(length, rate)) << rate;
        EXPECT_TRUE(vexlo::DenserByResidue(length, rate / 2)) << rate;
        EXPECT_TRUE(vexlo::DenserByResidue(length, rate / 5)) << rate;
        EXPECT_FALSE(vexlo::DenserByResidue(length, rate / 10)) << rate;
        EXPECT_FALSE(vexlo::DenserByResidue(length, rate * 2 / 3)) << rate;
        EXPECT_FALSE(vexlo::DenserByResidue(length, rate * 2)) << rate;
        EXPECT_FALSE(vexlo::DenserByResidue(length, 17)) << rate;
    }
    EXPECT_TRUE(vexlo::DenserByResidue(30 * 48000, 6857));
    EXPECT_FALSE(vexlo::DenserByResidue(30 * 48000 + 1, 48000));
}

TEST(SharedSineTableThreads, OpenRunAndCloseOnSeveralThreadsAtOnce) {
    // Small rates keep the tables cheap to build, so the threads mostly race on sharing and releasing.
    const float rates[] = {881.0f, 1000.0f, 1763.0f, 2205.0f};
    Instance held(1000.0f);  // holds one rate throughout: its table must survive every other close
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (uint32_t t = 0; t < 4; ++t) {
        threads.emplace_back([t, &rates, &failures] {
            std::mt19937 rng(t + 1);
            for (int i = 0; i < 12; ++i) {
                const float rate = rates[rng() % 4];
                Instance instance(rate);
                vexlo::reference::LiteralEngine engine(rate);
                if (!TableHoldsTheSine(*instance.module) ||
                    !RunsLikeTheLiteralEngine(instance, engine, static_cast<uint32_t>(rng()), 200)) {
                    ++failures;
                }
            }
        });
    }
    // Meanwhile, bare holds on the same lengths from this thread.
    for (int i = 0; i < 50; ++i) {
        const float* table = vexlo::AcquireSineTable(30 * 1763);
        if (!table || table[0] != 0.0f) ++failures;
        vexlo::ReleaseSineTable(table);
    }
    for (std::thread& thread : threads) thread.join();

    EXPECT_EQ(failures.load(), 0);
    EXPECT_TRUE(TableHoldsTheSine(*held.module));
    EXPECT_EQ(vexlo::HeldSineTables(), 1);
}

}  // namespace
