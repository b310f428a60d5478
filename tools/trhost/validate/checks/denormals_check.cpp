// Denormals and silence: what the process routine costs once its input has decayed. For each audio
// input in turn, the others at their defaults:
//   - input in the denormal range (noise about 1e-42) against the same noise scaled by 2^40 into the
//     normal range: information only. Arithmetic on denormal input costs what the processor makes it
//     cost in every module that touches it, and a module may not switch flush-to-zero on for the host
//     (see fp-state); it is the upstream signal's doing.
//   - silence after a decay (a burst of in-range input, an exponential decay through the denormal
//     range down to zero, then zeros) against silence from the start, on fresh instances: a warning
//     when far slower. The input is the same exact zero in both; only the module's own state differs,
//     and state left decaying in the denormal range costs on every sample from then on, which is the
//     module's own fault (the remedy is a flush of tiny state, or a small offset).
// Timings read the thread's own working time (work_clock.h) and are the fastest of a few trials, so
// that a busy machine makes them noisy rather than wrong.
#include <chrono>
#include <cmath>
#include <cstdio>

#include "check_steps.h"
#include "checks.h"
#include "module_session.h"
#include "work_clock.h"

namespace trhost::validate {

namespace {

using Clock = WorkClock;

constexpr float kRate = 44100.0f;
constexpr int32_t kBlock = 256;
constexpr int32_t kBurst = 2048;
// Per-sample decay of the burst's end: from 1 to below the smallest denormal in about 3500 samples.
constexpr double kDecay = 0.97;
constexpr int32_t kDecayLength = 4096;
// Samples of silence after the decay before timing starts, so the state has settled wherever it goes.
constexpr int32_t kSettle = 4096;
// Far slower: four times the cost, and at least 10 ns a sample more, so that timing noise around a
// cost of a nanosecond or two is not taken for a fault.
constexpr double kFarSlower = 4.0;
constexpr double kFarSlowerNanoseconds = 10.0;
constexpr float kDenormalScale = 0x1p-140f;  // noise in [0.5, 1] times this is denormal
constexpr float kNormalScale = 0x1p-100f;    // ... and times this, normal

struct Depth {
    int trials;
    double seconds_per_trial;
};

Depth DepthFor(int level) {
    if (level <= kQuickestLevel) return {2, 0.01};
    if (level >= kDeepestLevel) return {7, 0.05};
    return {3, 0.015};
}

// Fastest cost per sample of processing the buffers as they stand, a block at a time.
double NanosecondsPerSample(ModuleSession& session, const Depth& depth) {
    double best = INFINITY;
    for (int trial = 0; trial < depth.trials; ++trial) {
        int64_t blocks = 0;
        auto start = Clock::now();
        double seconds = 0.0;
        do {
            for (int i = 0; i < 8; ++i) session.Host().Process(0, kBlock);
            blocks += 8;
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
        } while (seconds < depth.seconds_per_trial);
        best = std::min(best, seconds * 1e9 / static_cast<double>(blocks * kBlock));
    }
    return best;
}

std::string Nanoseconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ns", value);
    return text;
}

// Noise of magnitude 0.5 to 1 for one block, signed where the pin's range reaches below zero.
std::vector<float> UnitNoise(Random& random, const DrivenPin& pin) {
    std::vector<float> noise(kBlock);
    for (float& sample : noise) {
        bool negative = pin.low < 0.0 && random.Between(0, 1);
        sample = static_cast<float>(random.Uniform(0.5, 1.0)) * (negative ? -1.0f : 1.0f);
    }
    return noise;
}

bool Open(CheckContext& context, ModuleSession& session) {
    if (!CreateAndOpen(context, session, kRate)) return false;
    session.SetDefaults();
    return true;
}

// The cost of processing `input` on `pin` with the others at their defaults.
double CostOfBlock(ModuleSession& session, const DrivenPin& pin, const std::vector<float>& input, const Depth& depth) {
    session.SetInput(pin, InputSignal::Stream(input.data()));
    session.Process(0, kBlock);  // puts the block in the buffers, where the timed calls find it
    return NanosecondsPerSample(session, depth);
}

// The cost of silence on `pin`, after a burst and a decay when `decayed`, on a fresh instance.
double CostOfSilence(CheckContext& context, const DrivenPin& pin, bool decayed, const Depth& depth) {
    ModuleSession session(context.Library(), context.Rng());
    if (!Open(context, session)) return NAN;
    if (decayed) {
        std::vector<float> stretch(kBurst + kDecayLength);
        InputSignal burst = RandomInRangeSignal(pin, context.Rng());
        if (burst.kind == InputSignal::Kind::kConstant && burst.a == 0.0f)
            burst = InputSignal::Constant(InRangeSample(pin, pin.high));
        burst.Fill(stretch.data(), kBurst, context.Rng());
        double level = stretch[kBurst - 1] != 0.0f ? stretch[kBurst - 1] : InRangeSample(pin, pin.high);
        for (int32_t i = 0; i < kDecayLength; ++i)
            stretch[kBurst + i] = static_cast<float>(level * std::pow(kDecay, i + 1));
        for (int32_t at = 0; at < static_cast<int32_t>(stretch.size()); at += kBlock) {
            session.SetInput(pin, InputSignal::Stream(stretch.data() + at));
            session.Process(0, kBlock);
        }
    }
    session.SetInput(pin, InputSignal::Constant(0.0f));
    for (int32_t at = 0; at < kSettle; at += kBlock) session.Process(0, kBlock);
    double cost = NanosecondsPerSample(session, depth);
    session.Close();
    return cost;
}

}  // namespace

void CheckDenormals(CheckContext& context) {
    Depth depth = DepthFor(context.Level());
    std::vector<DrivenPin> inputs;
    {
        ModuleSession probe(context.Library(), context.Rng());
        context.Stage("makeModule to read the pins");
        if (!probe.Create()) {
            context.Fail("makeModule(0, 1) answered null");
            return;
        }
        for (const auto& pin : probe.Pins()) {
            if (pin.IsAudio() && pin.IsInput() && !pin.repeated) inputs.push_back(pin);
        }
    }
    for (const DrivenPin& pin : inputs) {
        context.Stage("timing denormal input on " + pin.Label());
        std::vector<float> noise = UnitNoise(context.Rng(), pin), denormal(kBlock), normal(kBlock);
        for (int32_t i = 0; i < kBlock; ++i)
            denormal[i] = noise[i] * kDenormalScale, normal[i] = noise[i] * kNormalScale;
        ModuleSession session(context.Library(), context.Rng());
        if (!Open(context, session)) return;
        double denormal_cost = CostOfBlock(session, pin, denormal, depth);
        double normal_cost = CostOfBlock(session, pin, normal, depth);
        session.Close();

        context.Stage("timing silence after a decay on " + pin.Label());
        double decayed_cost = CostOfSilence(context, pin, true, depth);
        context.Stage("timing silence from the start on " + pin.Label());
        double silent_cost = CostOfSilence(context, pin, false, depth);

        context.Info(pin.Label() + ": denormal input " + Nanoseconds(denormal_cost) + " per sample against " +
                     Nanoseconds(normal_cost) + " at normal size; silence after a decay " + Nanoseconds(decayed_cost) +
                     " against " + Nanoseconds(silent_cost) + " from the start");
        if (decayed_cost > kFarSlower * silent_cost && decayed_cost - silent_cost > kFarSlowerNanoseconds) {
            char ratio[32];
            std::snprintf(ratio, sizeof ratio, "%.1f", decayed_cost / silent_cost);
            context.Warn(pin.Label() + ": silence after the input decayed costs " + ratio +
                         " times what silence from the start costs (" + Nanoseconds(decayed_cost) + " against " +
                         Nanoseconds(silent_cost) + " per sample): state left decaying in the denormal range?");
        }
    }
}

}  // namespace trhost::validate
