#include "lifecycle_benchmarks.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "bench_instance.h"
#include "engine_benchmarks.h"

namespace vexlo::bench {

namespace {

// Shared pin buffers: wiring costs no memory per instance.
struct SharedPins {
    std::vector<float> samples = std::vector<float>(6 * 64, 0.0f);
    PinBuffers Pins() {
        float* p = samples.data();
        return {p, p + 64, p + 128, p + 192, p + 256, p + 320};
    }
};

// Times Open alone; making and closing the instance are not counted.
double TimedOpenSeconds(BenchInstance& instance) {
    const auto start = std::chrono::steady_clock::now();
    instance.Open();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void ReportOpen(benchmark::State& state) {
    state.counters[kTimePerOpen] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// No other instance is open, so every Open builds the table of 30 x R sines and Close frees it.
void OpenAtNewRate(benchmark::State& state) {
    SharedPins pins;
    for (auto _ : state) {
        BenchInstance instance(kBenchRate, pins.Pins());
        state.SetIterationTime(TimedOpenSeconds(instance));
    }
    ReportOpen(state);
}

// One instance holds the rate throughout, so every further Open shares its table.
void OpenAtHeldRate(benchmark::State& state) {
    SharedPins pins;
    BenchInstance holder(kBenchRate, pins.Pins());
    holder.Open();
    for (auto _ : state) {
        BenchInstance instance(kBenchRate, pins.Pins());
        state.SetIterationTime(TimedOpenSeconds(instance));
    }
    ReportOpen(state);
}

// Resident bytes of the process, from /proc/self/statm (second field, in pages).
double ResidentBytes() {
    long size = 0, resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm) return 0.0;
    if (std::fscanf(statm, "%ld %ld", &size, &resident) != 2) resident = 0;
    std::fclose(statm);
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

// Opens 512 instances at a rate one instance already holds and divides the growth of resident memory
// among them (instance, pins, smoother ring and allocator overhead; the table is shared).
void MemoryPerFurtherInstance(benchmark::State& state) {
    constexpr int kInstances = 512;
    SharedPins pins;
    BenchInstance holder(kBenchRate, pins.Pins());
    holder.Open();
    double per_instance = 0.0;
    for (auto _ : state) {
        std::vector<std::unique_ptr<BenchInstance>> instances;
        instances.reserve(kInstances);
        const double before = ResidentBytes();
        for (int i = 0; i < kInstances; ++i) {
            instances.push_back(std::make_unique<BenchInstance>(kBenchRate, pins.Pins()));
            instances.back()->Open();
        }
        per_instance = (ResidentBytes() - before) / kInstances;
    }
    state.counters[kBytesPerInstance] = per_instance;
}

}  // namespace

void RegisterLifecycleBenchmarks() {
    benchmark::RegisterBenchmark("open/new rate (builds the table)", OpenAtNewRate)
        ->UseManualTime()
        ->Iterations(5)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("open/rate already open (shares it)", OpenAtHeldRate)
        ->UseManualTime()
        ->MinTime(0.2)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("memory/further instance at an open rate", MemoryPerFurtherInstance)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
}

}  // namespace vexlo::bench
