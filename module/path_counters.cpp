// The path counters and the switches of the test build (path_counters.h); compiled only into
// the counted engine that the differential tests link.
#include "path_counters.h"

#include <cstddef>

#ifndef VEXLO_PATH_COUNTERS
#error "path_counters.cpp belongs to the counted test build only"
#endif

namespace vexlo::paths {

namespace {

int64_t g_counters[static_cast<int32_t>(Path::kCount)] = {};
bool g_stepwise_forced = false;
bool g_sine_table_reads_forced = false;

#define VEXLO_PATH_NAME(name) #name,
const char* const kNames[] = {VEXLO_ENGINE_PATHS(VEXLO_PATH_NAME)};
#undef VEXLO_PATH_NAME
static_assert(sizeof kNames / sizeof kNames[0] == static_cast<size_t>(Path::kCount));

}  // namespace

int64_t& Counter(Path path) { return g_counters[static_cast<int32_t>(path)]; }

const char* Name(Path path) { return kNames[static_cast<int32_t>(path)]; }

void Reset() {
    for (int64_t& counter : g_counters) counter = 0;
}

void ForceStepwise(bool force) { g_stepwise_forced = force; }

bool StepwiseForced() { return g_stepwise_forced; }

void ForceSineTableReads(bool force) { g_sine_table_reads_forced = force; }

bool SineTableReadsForced() { return g_sine_table_reads_forced; }

}  // namespace vexlo::paths
