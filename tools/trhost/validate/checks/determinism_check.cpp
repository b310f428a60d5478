// Determinism: the same input gives the same output. Two fresh instances, one after the other (the
// first closed before the second is made), must agree sample for sample. A third, made while the
// second is still open, after the heap has been stirred with patterned blocks (some given back, some
// held), sits at other addresses and finds other memory: if only it differs, the output depends on
// something other than the input (uninitialised memory, addresses, time), and that is a warning.
#include <cstdlib>
#include <cstring>

#include "check_steps.h"
#include "checks.h"
#include "stream_run.h"

namespace trhost::validate {

namespace {

constexpr int32_t kHostBlock = 256;
// A byte whose repetition reads as a finite float (about 0.186), so that a module that reads memory
// it never wrote computes with a plausible number rather than a NaN it might catch.
constexpr int kStirPattern = 0x3E;
constexpr size_t kStirSizes[] = {8, 16, 24, 40, 64, 100, 128, 200, 256, 512, 1000, 4096, 20000, 65536};

struct Depth {
    std::vector<float> rates;
    size_t settings;
    int32_t length;
};

Depth DepthFor(int level) {
    if (level <= kQuickestLevel) return {{44100.0f}, 1, 2048};
    if (level >= kDeepestLevel) return {{44100.0f, 96000.0f}, 0, 16384};
    return {{44100.0f}, 3, 4096};
}

// Patterned blocks of many sizes; every other one is given back at once, the rest when it ends.
class StirredHeap {
public:
    StirredHeap() {
        for (int round = 0; round < 4; ++round) {
            for (size_t size : kStirSizes) {
                void* block = std::malloc(size);
                if (!block) continue;
                std::memset(block, kStirPattern, size);
                m_held.push_back(block);
            }
        }
        for (size_t i = 0; i < m_held.size(); i += 2) {
            std::free(m_held[i]);
            m_held[i] = nullptr;
        }
    }
    ~StirredHeap() {
        for (void* block : m_held) std::free(block);
    }
    StirredHeap(const StirredHeap&) = delete;
    StirredHeap& operator=(const StirredHeap&) = delete;

private:
    std::vector<void*> m_held;
};

std::string Differs(const std::vector<DrivenPin>& pins, const Difference& difference, const char* run,
                    const char* against) {
    return PinLabel(pins, difference.pin) + " sample " + std::to_string(difference.sample) + " is " +
           SampleText(difference.got) + " in the " + run + " run but " + SampleText(difference.expected) + " in the " +
           against;
}

}  // namespace

void CheckDeterminism(CheckContext& context) {
    Depth depth = DepthFor(context.Level());
    auto probed = ReadPins(context);
    if (!probed) return;
    const std::vector<DrivenPin>& pins = *probed;
    Partition whole = WholeBlocks(depth.length, kHostBlock);
    int runs = 0;
    for (float rate : depth.rates) {
        for (const ListSetting& setting : SettingsForLevel(pins, context.Level(), depth.settings, context.Rng())) {
            InputStreams streams = MovingStreams(pins, depth.length, context.Rng());
            Scenario scenario{rate, kHostBlock, setting, &streams};
            uint32_t seed = context.Rng().Between(0, INT32_MAX);
            context.Stage("first run: " + scenario.Describe());
            RunResult first = RunAlone(context.Library(), scenario, whole, seed);
            if (!first.made) {
                context.Fail("makeModule(0, 1) answered null");
                return;
            }
            for (const auto& fault : first.faults) context.Fail(fault);
            context.Stage("second run, a fresh instance after the first closed: " + scenario.Describe());
            RunResult second = RunAlone(context.Library(), scenario, whole, seed);
            runs += 2;
            if (Difference difference = FirstDifference(first.outputs, second.outputs); difference.found) {
                context.Fail("two runs with the same input differ: " +
                             Differs(pins, difference, "second", "first, closed before the second was made") + " (" +
                             scenario.Describe() + ")");
                return;
            }

            context.Stage("third run, beside an open instance on a stirred heap: " + scenario.Describe());
            StreamRun keeper(context.Library(), scenario, whole, seed);
            keeper.Start();
            RunResult third;
            {
                StirredHeap stirred;
                third = RunAlone(context.Library(), scenario, whole, seed);
            }
            keeper.Close();
            ++runs;
            if (Difference difference = FirstDifference(first.outputs, third.outputs); difference.found) {
                context.Warn(
                    "the output depends on something other than the input (uninitialised memory, addresses "
                    "or time): " +
                    Differs(pins, difference, "third", "first two") + " (" + scenario.Describe() + ")");
                return;
            }
        }
    }
    context.Info(std::to_string(runs) + " runs of " + std::to_string(depth.length) + " samples agree");
}

}  // namespace trhost::validate
