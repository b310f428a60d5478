// Many instances made, opened, run and closed one after another must leave the process's memory as
// they found it. Counted by the interposed or hooked allocators (allocation_counter.h); the resident
// size is reported alongside on Linux.
#include <cstdio>

#include "allocation_counter.h"
#include "checks.h"
#include "module_session.h"

namespace trhost::validate {

namespace {

constexpr int kWarmUpCycles = 3;
// Cycles at the quickest, default and deepest levels.
int CyclesFor(int level) { return level <= kQuickestLevel ? 50 : level >= kDeepestLevel ? 500 : 100; }
// The lowest rate of the sweeps: a module whose tables grow with the rate opens fastest here.
constexpr float kRate = 8000.0f;
// Growth that is not a leak: a few blocks or bytes kept once, for example by the C library.
constexpr int64_t kToleratedBlocks = 25;
constexpr int64_t kToleratedBytes = 16 * 1024;

void Cycle(CheckContext& context) {
    ModuleSession session(context.Library(), context.Rng());
    if (!session.Create()) return;
    session.Open(kRate);
    session.Process(0, 64);
    session.Close();
}

// Resident pages of this process, or -1 where that is not known.
long ResidentKilobytes() {
#if defined(__linux__)
    long pages_total = 0, pages_resident = -1;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages_total, &pages_resident) != 2) pages_resident = -1;
        std::fclose(statm);
    }
    return pages_resident < 0 ? -1 : pages_resident * 4;
#else
    return -1;
#endif
}

}  // namespace

void CheckOpenCloseCycles(CheckContext& context) {
    const int cycles = CyclesFor(context.Level());
    context.Stage("warm-up cycles");
    for (int i = 0; i < kWarmUpCycles; ++i) Cycle(context);
    AllocationTotals before = CurrentAllocationTotals();
    long resident_before = ResidentKilobytes();
    for (int i = 0; i < cycles; ++i) {
        context.Stage("cycle " + std::to_string(i + 1) + " of " + std::to_string(cycles));
        Cycle(context);
    }
    AllocationTotals after = CurrentAllocationTotals();
    long resident_after = ResidentKilobytes();

    int64_t blocks = after.live_blocks - before.live_blocks;
    int64_t bytes = after.live_bytes - before.live_bytes;
    if (resident_before >= 0 && resident_after >= 0) {
        context.Info("resident memory " + std::to_string(resident_before) + " KiB before, " +
                     std::to_string(resident_after) + " KiB after " + std::to_string(cycles) + " cycles");
    }
    if (!AllocationCountingAvailable()) {
        context.Info(std::to_string(cycles) +
                     " cycles survived; memory growth not measured: allocations are not counted in this build");
        return;
    }
    if (std::string watched = WatchedAllocators(); !watched.empty()) context.Info(watched);
    std::string growth = std::to_string(blocks) + " blocks, " + std::to_string(bytes) + " bytes";
    if (blocks >= kToleratedBlocks || bytes >= kToleratedBytes) {
        context.Fail("memory grew over " + std::to_string(cycles) + " create/open/close cycles: " + growth +
                     " more in use, about " + std::to_string(bytes / cycles) + " bytes per cycle");
    } else {
        context.Info("memory in use after " + std::to_string(cycles) + " cycles: " + growth + " more");
    }
}

}  // namespace trhost::validate
