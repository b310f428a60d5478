// What the process routine's floating-point guard costs per call: installing the default SSE control
// word on entry and handing the host's back on return, from a host that left flush-to-zero set.
#ifndef VEXLO_BENCH_ENVIRONMENT_BENCHMARKS_H
#define VEXLO_BENCH_ENVIRONMENT_BENCHMARKS_H

namespace vexlo::bench {

void RegisterEnvironmentBenchmarks();

// Benchmark and counter names.
inline constexpr const char* kGuardBenchmark = "call/floating-point guard";
inline constexpr const char* kTimePerCall = "time/call";  // seconds

}  // namespace vexlo::bench

#endif  // VEXLO_BENCH_ENVIRONMENT_BENCHMARKS_H
