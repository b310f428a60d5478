#include "allocation_tally.h"

#include <atomic>
#include <cstdint>

#include "allocation_counter.h"
#include "host_instance.h"

namespace trhost::validate {

namespace {

std::atomic<int64_t> g_live_blocks{0};
std::atomic<int64_t> g_live_bytes{0};

// The window: only the opening thread counts, and only outside host callbacks.
std::atomic<bool> g_window_open{false};
thread_local int t_window_depth = 0;  // 1 on the thread that opened the window; >1 inside callbacks
std::atomic<int64_t> g_window_allocations{0};
std::atomic<int64_t> g_window_releases{0};
std::atomic<size_t> g_window_first_size{0};

bool InWindow() { return g_window_open.load(std::memory_order_relaxed) && t_window_depth == 1; }

}  // namespace

void TallyWindowAllocation(size_t asked) {
    if (!InWindow()) return;
    if (g_window_allocations.fetch_add(1, std::memory_order_relaxed) == 0) {
        g_window_first_size.store(asked, std::memory_order_relaxed);
    }
}

void TallyWindowRelease() {
    if (InWindow()) g_window_releases.fetch_add(1, std::memory_order_relaxed);
}

void TallyAllocation(size_t asked, size_t usable) {
    g_live_blocks.fetch_add(1, std::memory_order_relaxed);
    g_live_bytes.fetch_add(static_cast<int64_t>(usable), std::memory_order_relaxed);
    TallyWindowAllocation(asked);
}

void TallyRelease(size_t usable) {
    g_live_blocks.fetch_sub(1, std::memory_order_relaxed);
    g_live_bytes.fetch_sub(static_cast<int64_t>(usable), std::memory_order_relaxed);
    TallyWindowRelease();
}

AllocationTotals CurrentAllocationTotals() {
    return {g_live_blocks.load(std::memory_order_relaxed), g_live_bytes.load(std::memory_order_relaxed)};
}

void OpenAllocationWindow() {
    g_window_allocations = 0;
    g_window_releases = 0;
    g_window_first_size = 0;
    t_window_depth = 1;
    g_window_open = true;
}

AllocationWindow CloseAllocationWindow() {
    g_window_open = false;
    t_window_depth = 0;
    return {g_window_allocations.load(), g_window_releases.load(), g_window_first_size.load()};
}

void ExcludeHostCallbacksFromWindow() {
    HostCallbackHooks hooks;
    hooks.enter = [] { ++t_window_depth; };
    hooks.leave = [] { --t_window_depth; };
    SetHostCallbackHooks(hooks);
}

}  // namespace trhost::validate
