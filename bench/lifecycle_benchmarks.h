// Open at a sample rate no instance holds (the shared sine table is built) and at one already held
// (it is shared), and the resident memory each further instance at a held rate adds.
#ifndef VEXLO_BENCH_LIFECYCLE_BENCHMARKS_H
#define VEXLO_BENCH_LIFECYCLE_BENCHMARKS_H

namespace vexlo::bench {

void RegisterLifecycleBenchmarks();

// Counter names.
inline constexpr const char* kTimePerOpen = "time/open";  // seconds
inline constexpr const char* kBytesPerInstance = "bytes/instance";

}  // namespace vexlo::bench

#endif  // VEXLO_BENCH_LIFECYCLE_BENCHMARKS_H
