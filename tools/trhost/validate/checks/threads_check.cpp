// Threads: instances made, opened, processed and closed on several threads at once, each thread with
// its own instance, settings and moving inputs, all at one rate (instances at other rates are the
// isolation check's). Each instance must give what it gives alone on one thread. State that instances
// share without a lock (a scratch buffer, a lazily built table) shows as a difference or a crash; the
// thread checker that CI runs this check under also sees races that happened to do no harm.
//
// The threads start each round together at a barrier, so that their opens and their blocks overlap.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "check_steps.h"
#include "checks.h"
#include "stream_run.h"

namespace trhost::validate {

namespace {

constexpr float kRate = 44100.0f;
// Short calls, so that many of them overlap.
constexpr int32_t kHostBlock = 64;

struct Depth {
    int threads;
    int rounds;
    int32_t length;
};

Depth DepthFor(int level) {
    if (level <= kQuickestLevel) return {2, 1, 2048};
    if (level >= kDeepestLevel) return {8, 4, 16384};
    return {4, 2, 4096};
}

// Lets the threads of a round go together.
class StartingLine {
public:
    explicit StartingLine(int threads) : m_waiting(threads) {}
    void Arrive() {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (--m_waiting == 0) {
            m_ready.notify_all();
        } else {
            m_ready.wait(lock, [this] { return m_waiting == 0; });
        }
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    int m_waiting;
};

}  // namespace

void CheckThreads(CheckContext& context) {
    Depth depth = DepthFor(context.Level());
    auto probed = ReadPins(context);
    if (!probed) return;
    const std::vector<DrivenPin>& pins = *probed;
    std::vector<ListSetting> settings = ListSettings(pins);

    size_t count = static_cast<size_t>(depth.threads);
    std::vector<InputStreams> streams(count);
    std::vector<Scenario> scenarios(count);
    std::vector<uint32_t> seeds(count);
    std::vector<RunResult> alone(count);
    Partition whole = WholeBlocks(depth.length, kHostBlock);
    auto label = [&](size_t i) {
        return "thread " + std::to_string(i + 1) + " of " + std::to_string(count) + " (" + scenarios[i].Describe() +
               ")";
    };
    for (size_t i = 0; i < count; ++i) {
        streams[i] = MovingStreams(pins, depth.length, context.Rng());
        scenarios[i] = {kRate, kHostBlock, settings[i % settings.size()], &streams[i]};
        seeds[i] = context.Rng().Between(0, INT32_MAX);
        context.Stage(label(i) + ", its instance alone first");
        alone[i] = RunAlone(context.Library(), scenarios[i], whole, seeds[i]);
        if (!alone[i].made) {
            context.Fail("makeModule(0, 1) answered null");
            return;
        }
        for (const auto& fault : alone[i].faults) context.Fail(fault);
    }

    for (int round = 1; round <= depth.rounds; ++round) {
        context.Stage(std::to_string(count) + " threads making, running and closing instances at once, round " +
                      std::to_string(round));
        std::vector<RunResult> threaded(count);
        StartingLine line(depth.threads);
        std::vector<std::thread> threads;
        for (size_t i = 0; i < count; ++i) {
            threads.emplace_back([&, i] {
                line.Arrive();
                threaded[i] = RunAlone(context.Library(), scenarios[i], whole, seeds[i]);
            });
        }
        for (auto& thread : threads) thread.join();

        bool differed = false;
        for (size_t i = 0; i < count; ++i) {
            if (!threaded[i].made) context.Fail(label(i) + ": makeModule(0, 1) answered null");
            for (const auto& fault : threaded[i].faults) context.Fail(label(i) + ": " + fault);
            Difference difference = FirstDifference(alone[i].outputs, threaded[i].outputs);
            if (!difference.found) continue;
            context.Stage(label(i) + ", its instance alone once more");
            if (!Reproducible(context.Library(), scenarios[i], whole, seeds[i], alone[i])) {
                context.Skip(kNotReproducible);
                return;
            }
            differed = true;
            context.Fail(label(i) + ", round " + std::to_string(round) + ": " + PinLabel(pins, difference.pin) +
                         " sample " + std::to_string(difference.sample) + " is " + SampleText(difference.got) +
                         " with other threads running but " + SampleText(difference.expected) + " alone");
        }
        if (differed) return;
    }
    context.Info(std::to_string(depth.rounds) + " rounds of " + std::to_string(count) + " threads, " +
                 std::to_string(depth.length) + " samples each");
}

}  // namespace trhost::validate
