// Counting heap traffic. On Linux trhost itself defines malloc, calloc, realloc, free, the aligned
// allocators and every operator new and delete, so that every allocation of the process, a loaded
// module's among them, passes through here on its way to the C library. On Windows the allocators a
// module imports (the C runtime's malloc family and operator new where imported, kernel32's heap,
// local, global and virtual-memory calls) are hooked in its import table, so the module's own
// allocations are counted. Either way a freed block is poisoned and held back (freed_memory.h).
//
// Two measures: running totals (live blocks and bytes, for growth over many open/close cycles), and a
// window that counts only the module's own allocations while it is open: callbacks the module makes
// into the host are left out, since what the host does while serving them is the host's business.
//
// Threads: the totals are atomic; the window belongs to the one thread that opens it.
#ifndef TRHOST_VALIDATE_ALLOCATION_COUNTER_H
#define TRHOST_VALIDATE_ALLOCATION_COUNTER_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "module_library.h"

namespace trhost::validate {

// False where the allocators are neither interposed nor hooked: then every count below stays 0.
bool AllocationCountingAvailable();

// Where allocators are hooked rather than interposed (Windows), routes `library`'s imported allocators
// through the counts from now on; elsewhere nothing needs doing. Call it once, before the library
// makes its first instance.
void WatchModuleAllocations(const ModuleLibrary& library);

// What the counts see, for a check to say: where allocators are hooked, which ones the module imports
// ("seen through the module's imports of free, malloc"), or that it imports none of them; empty
// where every allocation of the process is seen.
std::string WatchedAllocators();

struct AllocationTotals {
    int64_t live_blocks = 0;  // allocations not yet released
    int64_t live_bytes = 0;   // their usable size
};
AllocationTotals CurrentAllocationTotals();

struct AllocationWindow {
    int64_t allocations = 0;
    int64_t releases = 0;
    size_t first_size = 0;  // bytes asked for by the first allocation seen, if any
};

// Starts counting on this thread; the counts start from zero.
void OpenAllocationWindow();
// Stops counting and answers what was seen since OpenAllocationWindow.
AllocationWindow CloseAllocationWindow();

// Installs the host-callback hooks that leave the host's own work out of the window.
void ExcludeHostCallbacksFromWindow();

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_ALLOCATION_COUNTER_H
