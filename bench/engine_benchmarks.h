// The per-sample benchmarks: each input scenario through the module and through the literal reference
// engine, in blocks as a host sends them.
#ifndef VEXLO_BENCH_ENGINE_BENCHMARKS_H
#define VEXLO_BENCH_ENGINE_BENCHMARKS_H

#include <string>
#include <vector>

namespace vexlo::bench {

// Sample rate of every per-sample benchmark, and of the instance counts reported from them.
inline constexpr float kBenchRate = 48000.0f;
// Samples per block (a common host block) of every per-sample benchmark.
inline constexpr int kBlockSamples = 256;

// The name of a scenario's module and literal benchmark, in registration order.
struct EnginePair {
    std::string scenario;
    std::string module_name;
    std::string literal_name;
};

// Registers both benchmarks of every scenario; answers their names.
std::vector<EnginePair> RegisterEngineBenchmarks();

// Name of the counter every per-sample benchmark reports: seconds per sample.
inline constexpr const char* kTimePerSample = "time/sample";

}  // namespace vexlo::bench

#endif  // VEXLO_BENCH_ENGINE_BENCHMARKS_H
