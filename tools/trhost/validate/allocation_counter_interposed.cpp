// The interposed allocators (glibc): each one counts and then hands on to glibc's own allocator
// through its __libc_* entries, which never come back here. This file is linked into trhost and into
// the tests as part of the validator, and the symbols are exported from the executable so that
// libraries loaded later bind to them.
#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>

#include "allocation_counter.h"
#include "host_instance.h"

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);
}

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

void* Allocated(void* block, size_t asked) {
    if (!block) return block;
    g_live_blocks.fetch_add(1, std::memory_order_relaxed);
    g_live_bytes.fetch_add(static_cast<int64_t>(malloc_usable_size(block)), std::memory_order_relaxed);
    if (InWindow()) {
        if (g_window_allocations.fetch_add(1, std::memory_order_relaxed) == 0) {
            g_window_first_size.store(asked, std::memory_order_relaxed);
        }
    }
    return block;
}

void Releasing(void* block) {
    if (!block) return;
    g_live_blocks.fetch_sub(1, std::memory_order_relaxed);
    g_live_bytes.fetch_sub(static_cast<int64_t>(malloc_usable_size(block)), std::memory_order_relaxed);
    if (InWindow()) g_window_releases.fetch_add(1, std::memory_order_relaxed);
}

void* AlignedOrNull(size_t alignment, size_t size) { return Allocated(__libc_memalign(alignment, size), size); }

void* NewOrThrow(size_t size) {
    if (size == 0) size = 1;
    void* block = Allocated(__libc_malloc(size), size);
    if (!block) throw std::bad_alloc();
    return block;
}

void* AlignedNewOrThrow(size_t size, std::align_val_t alignment) {
    if (size == 0) size = 1;
    void* block = AlignedOrNull(static_cast<size_t>(alignment), size);
    if (!block) throw std::bad_alloc();
    return block;
}

void Delete(void* block) {
    Releasing(block);
    __libc_free(block);
}

}  // namespace

bool AllocationCountingAvailable() { return true; }

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

using trhost::validate::AlignedNewOrThrow;
using trhost::validate::AlignedOrNull;
using trhost::validate::Allocated;
using trhost::validate::Delete;
using trhost::validate::NewOrThrow;
using trhost::validate::Releasing;

extern "C" {

void* malloc(size_t size) { return Allocated(__libc_malloc(size), size); }

void* calloc(size_t count, size_t size) { return Allocated(__libc_calloc(count, size), count * size); }

void* realloc(void* block, size_t size) {
    // The old block is released and a new one allocated, as far as the counts are concerned; a
    // failed realloc leaves the old block alive.
    if (!block) return malloc(size);
    size_t old_size = malloc_usable_size(block);
    void* moved = __libc_realloc(block, size);
    if (!moved && size != 0) return nullptr;
    trhost::validate::g_live_blocks.fetch_sub(1, std::memory_order_relaxed);
    trhost::validate::g_live_bytes.fetch_sub(static_cast<int64_t>(old_size), std::memory_order_relaxed);
    if (trhost::validate::InWindow()) trhost::validate::g_window_releases.fetch_add(1);
    return Allocated(moved, size);
}

void free(void* block) {
    Releasing(block);
    __libc_free(block);
}

void* memalign(size_t alignment, size_t size) { return AlignedOrNull(alignment, size); }

void* aligned_alloc(size_t alignment, size_t size) { return AlignedOrNull(alignment, size); }

int posix_memalign(void** result, size_t alignment, size_t size) {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
    void* block = AlignedOrNull(alignment, size);
    if (!block) return ENOMEM;
    *result = block;
    return 0;
}

}  // extern "C"

void* operator new(size_t size) { return NewOrThrow(size); }
void* operator new[](size_t size) { return NewOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return Allocated(__libc_malloc(size ? size : 1), size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return Allocated(__libc_malloc(size ? size : 1), size);
}
void* operator new(size_t size, std::align_val_t alignment) { return AlignedNewOrThrow(size, alignment); }
void* operator new[](size_t size, std::align_val_t alignment) { return AlignedNewOrThrow(size, alignment); }
void* operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AlignedOrNull(static_cast<size_t>(alignment), size ? size : 1);
}
void* operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AlignedOrNull(static_cast<size_t>(alignment), size ? size : 1);
}

void operator delete(void* block) noexcept { Delete(block); }
void operator delete[](void* block) noexcept { Delete(block); }
void operator delete(void* block, size_t) noexcept { Delete(block); }
void operator delete[](void* block, size_t) noexcept { Delete(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Delete(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Delete(block); }
void operator delete(void* block, std::align_val_t) noexcept { Delete(block); }
void operator delete[](void* block, std::align_val_t) noexcept { Delete(block); }
void operator delete(void* block, size_t, std::align_val_t) noexcept { Delete(block); }
void operator delete[](void* block, size_t, std::align_val_t) noexcept { Delete(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { Delete(block); }
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept { Delete(block); }
