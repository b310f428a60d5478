#include "engine_benchmarks.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "bench_instance.h"
#include "reference/literal_engine.h"

namespace vexlo::bench {

namespace {

// Samples per block and per input span: the blocks walk through one second of precomputed input, so
// that computing the inputs is not timed.
constexpr int32_t kBlock = kBlockSamples;
constexpr int32_t kSpan = kBlock * 188;
constexpr double kTwoPi = 6.283185307179586;

struct Scenario {
    const char* name;
    int16_t wave;
    bool modulated;  // Freq and Phase at audio rate
    float depth;
    float freq = 0.1f;      // held Freq (0.1 is 1 Hz)
    bool audio_in = false;  // In at audio rate (a tremolo), the other inputs held
};

// Held inputs: 1 Hz (or 10 Hz) at depth 0.5, In 1, Offset 0, Phase 0. Audio on In: the same, with a
// 440 Hz sine on In, as a tremolo. Modulated: Freq swings 0.2 .. 1.8 Hz at 440 Hz and Phase +-180 degrees
// at 220 Hz, so the period and the phase offset change on every sample.
const Scenario kScenarios[] = {
    {"sine, held inputs", 0, false, 0.5f},
    {"triangle, held inputs", 1, false, 0.5f},
    {"square, held inputs", 2, false, 0.5f},
    {"square 10 Hz, held inputs", 2, false, 0.5f, 1.0f},
    {"sine, audio on In", 0, false, 0.5f, 0.1f, true},
    {"sine 10 Hz, audio on In", 0, false, 0.5f, 1.0f, true},
    {"triangle, audio on In", 1, false, 0.5f, 0.1f, true},
    {"square, audio on In", 2, false, 0.5f, 0.1f, true},
    {"square 10 Hz, audio on In", 2, false, 0.5f, 1.0f, true},
    {"sine, audio-rate FM+PM", 0, true, 0.5f},
    {"triangle, audio-rate FM+PM", 1, true, 0.5f},
    {"square, audio-rate FM+PM", 2, true, 0.5f},
    {"inactive (depth 0)", 0, false, 0.0f},
};

// One second of a scenario's inputs and room for the output.
struct Signals {
    explicit Signals(const Scenario& s)
        : in(kSpan, 1.0f),
          depth(kSpan, s.depth),
          offset(kSpan, 0.0f),
          freq(kSpan, s.freq),
          phase(kSpan, 0.0f),
          out(kSpan) {
        if (s.audio_in) {
            for (int32_t k = 0; k < kSpan; ++k)
                in[k] = static_cast<float>(std::sin(kTwoPi * 440.0 * k / static_cast<double>(kBenchRate)));
        }
        if (!s.modulated) return;
        for (int32_t k = 0; k < kSpan; ++k) {
            const double t = k / static_cast<double>(kBenchRate);
            freq[k] = static_cast<float>(0.1 + 0.08 * std::sin(kTwoPi * 440.0 * t));
            phase[k] = static_cast<float>(18.0 * std::sin(kTwoPi * 220.0 * t));
        }
    }
    PinBuffers Pins() { return {in.data(), depth.data(), offset.data(), freq.data(), phase.data(), out.data()}; }

    std::vector<float> in, depth, offset, freq, phase, out;
};

// Repetitions of each per-sample benchmark; the summary uses the fastest, which is the least disturbed
// by other work on the machine.
constexpr int kRepetitions = 5;

double Fastest(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

void ReportPerSample(benchmark::State& state) {
    const double samples = static_cast<double>(state.iterations()) * kBlock;
    state.SetItemsProcessed(static_cast<int64_t>(samples));
    // Seconds per sample (shown with its SI prefix, as ns).
    state.counters[kTimePerSample] =
        benchmark::Counter(samples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void Module(benchmark::State& state, const Scenario& scenario) {
    Signals signals(scenario);
    BenchInstance instance(kBenchRate, signals.Pins(), scenario.wave);
    instance.Open();
    int32_t offset = 0;
    for (auto _ : state) {
        instance.Process(offset, kBlock);
        benchmark::ClobberMemory();
        offset = offset + kBlock < kSpan ? offset + kBlock : 0;
    }
    ReportPerSample(state);
}

void Literal(benchmark::State& state, const Scenario& scenario) {
    Signals signals(scenario);
    reference::LiteralEngine engine(kBenchRate, /*tabled=*/true);
    const reference::Choices choices{scenario.wave, 0, 0};
    const reference::Buffers buffers{signals.in.data(),   signals.depth.data(), signals.offset.data(),
                                     signals.freq.data(), signals.phase.data(), signals.out.data()};
    int32_t offset = 0;
    for (auto _ : state) {
        engine.ProcessBlock(buffers, choices, offset, kBlock);
        benchmark::ClobberMemory();
        offset = offset + kBlock < kSpan ? offset + kBlock : 0;
    }
    ReportPerSample(state);
}

}  // namespace

std::vector<EnginePair> RegisterEngineBenchmarks() {
    std::vector<EnginePair> pairs;
    for (const Scenario& s : kScenarios) {
        EnginePair pair{s.name, std::string("module/") + s.name, std::string("literal/") + s.name};
        for (auto* b : {benchmark::RegisterBenchmark(pair.module_name.c_str(), Module, s),
                        benchmark::RegisterBenchmark(pair.literal_name.c_str(), Literal, s)}) {
            b->MinTime(0.1)->Repetitions(kRepetitions)->ReportAggregatesOnly(true)->ComputeStatistics("min", Fastest);
        }
        pairs.push_back(pair);
    }
    return pairs;
}

}  // namespace vexlo::bench
