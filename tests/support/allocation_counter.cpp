#include "allocation_counter.h"

#include <cstdlib>
#include <new>

namespace {

int64_t g_live = 0;
int64_t g_made = 0;
int32_t g_fail_countdown = 0;

void* Allocate(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (p) {
        ++g_live;
        ++g_made;
    }
    return p;
}

void* AllocateOrThrow(std::size_t size) {
    void* p = Allocate(size);
    if (!p) throw std::bad_alloc();
    return p;
}

void* AllocateNothrow(std::size_t size) {
    if (g_fail_countdown > 0 && --g_fail_countdown == 0) return nullptr;
    return Allocate(size);
}

// The live blocks of non-throwing array new.
constexpr int kTrackedArrays = 64;
void* g_nothrow_arrays[kTrackedArrays] = {};

void* TrackArray(void* p) {
    for (void*& slot : g_nothrow_arrays) {
        if (!slot && p) {
            slot = p;
            break;
        }
    }
    return p;
}

void Release(void* p) {
    if (!p) return;
    for (void*& slot : g_nothrow_arrays) {
        if (slot == p) slot = nullptr;
    }
    --g_live;
    std::free(p);
}

}  // namespace

namespace allocation_counter {
int64_t LiveBlocks() { return g_live; }
int64_t AllocationsMade() { return g_made; }
int32_t LiveNothrowArrays() {
    int32_t live = 0;
    for (void* slot : g_nothrow_arrays) live += slot != nullptr;
    return live;
}
void FailNthNothrowAllocation(int32_t n) { g_fail_countdown = n; }
}  // namespace allocation_counter

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return AllocateNothrow(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return TrackArray(AllocateNothrow(size)); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }
