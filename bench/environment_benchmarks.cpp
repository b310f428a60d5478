#include "environment_benchmarks.h"

#include <benchmark/benchmark.h>
#include <xmmintrin.h>

#include "float_environment.h"

namespace vexlo::bench {

namespace {

void Guard(benchmark::State& state) {
    const unsigned int before = _mm_getcsr();
    _mm_setcsr(before | _MM_FLUSH_ZERO_ON);
    for (auto _ : state) {
        const vexlo::DefaultFloatEnvironment environment;
        benchmark::ClobberMemory();
    }
    _mm_setcsr(before);
    state.counters[kTimePerCall] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

void RegisterEnvironmentBenchmarks() {
    benchmark::RegisterBenchmark(kGuardBenchmark, Guard)->MinTime(0.1)->Unit(benchmark::kNanosecond);
}

}  // namespace vexlo::bench
