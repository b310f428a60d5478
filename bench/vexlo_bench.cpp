// vexlo_bench: how fast the module runs per sample against the literal reference engine in the same
// run, how long Open takes, and what each further instance costs in memory. After Google Benchmark's
// own table it prints a summary: the speed-up over the literal engine per scenario, and how many
// instances one core runs in real time at 48 kHz.
//
//   build/linux-x86/vexlo_bench                    # everything, about 25 s
//   build/linux-x86/vexlo_bench --benchmark_filter=sine
//   build/linux-x86/vexlo_bench --library=OTHER/vexlo.so   # another build of the module, for an A/B
//
// The module is loaded from the library this build made, by its path: a copy of the bench binary still
// measures that library, so compare two builds with --library rather than with copies.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench_instance.h"
#include "engine_benchmarks.h"
#include "environment_benchmarks.h"
#include "lifecycle_benchmarks.h"

namespace {

// The console table, plus each run's counters kept for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // Single runs, and the "min" aggregate of repeated ones.
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "min") continue;
            for (const auto& [name, counter] : run.counters)
                counters_[run.run_name.function_name][name] = counter.value;
        }
    }

    // The counter `name` of benchmark `benchmark`, or 0 when it did not run.
    double Counter(const std::string& benchmark, const std::string& name) const {
        const auto b = counters_.find(benchmark);
        if (b == counters_.end()) return 0.0;
        const auto c = b->second.find(name);
        return c == b->second.end() ? 0.0 : c->second;
    }

private:
    std::map<std::string, std::map<std::string, double>> counters_;
};

// Takes --library=PATH out of the arguments, before Google Benchmark reads them.
void TakeLibraryOption(int& argc, char** argv) {
    constexpr const char* kOption = "--library=";
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], kOption, std::strlen(kOption)) == 0) {
            vexlo::bench::UseLibrary(argv[i] + std::strlen(kOption));
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    argv[kept] = nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    TakeLibraryOption(argc, argv);
    const std::vector<vexlo::bench::EnginePair> pairs = vexlo::bench::RegisterEngineBenchmarks();
    vexlo::bench::RegisterEnvironmentBenchmarks();
    vexlo::bench::RegisterLifecycleBenchmarks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nModule library: %s\n", vexlo::bench::LibraryInUse().c_str());
    std::printf("Fastest of the repetitions, ns per sample at 48 kHz:\n");
    std::printf("%-28s %10s %10s %9s %18s\n", "scenario", "module", "literal", "speed-up", "instances per core");
    for (const auto& pair : pairs) {
        const double module = 1e9 * reporter.Counter(pair.module_name, vexlo::bench::kTimePerSample);
        const double literal = 1e9 * reporter.Counter(pair.literal_name, vexlo::bench::kTimePerSample);
        if (module <= 0.0) continue;
        const double instances = 1e9 / (module * vexlo::bench::kBenchRate);
        if (literal > 0.0) {
            std::printf("%-28s %10.2f %10.2f %8.2fx %18.0f\n", pair.scenario.c_str(), module, literal, literal / module,
                        instances);
        } else {
            std::printf("%-28s %10.2f %10s %9s %18.0f\n", pair.scenario.c_str(), module, "-", "-", instances);
        }
    }
    const double open_new = reporter.Counter("open/new rate (builds the table)", vexlo::bench::kTimePerOpen);
    const double open_held = reporter.Counter("open/rate already open (shares it)", vexlo::bench::kTimePerOpen);
    const double bytes = reporter.Counter("memory/further instance at an open rate", vexlo::bench::kBytesPerInstance);
    const double guard = reporter.Counter(vexlo::bench::kGuardBenchmark, vexlo::bench::kTimePerCall);
    if (guard > 0.0) {
        std::printf("floating-point guard:        %10.2f ns per call (%.3f ns per sample in %d-sample blocks)\n",
                    guard * 1e9, guard * 1e9 / vexlo::bench::kBlockSamples, vexlo::bench::kBlockSamples);
    }
    if (open_new > 0.0) std::printf("open at a new rate:          %10.3f ms\n", open_new * 1e3);
    if (open_held > 0.0) std::printf("open at a rate already open: %10.3f us\n", open_held * 1e6);
    if (bytes > 0.0 || open_held > 0.0) std::printf("resident memory per further instance: %.0f bytes\n", bytes);
    return 0;
}
