#include "pin_allocation_hook.h"

#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

bool g_fail_next = false;
constexpr int kSlots = 64;
void* g_live[kSlots] = {};

bool Forget(void* p) {
    for (void*& slot : g_live) {
        if (slot == p) {
            slot = nullptr;
            return true;
        }
    }
    return false;
}

}  // namespace

namespace pin_allocation {

void FailNext() { g_fail_next = true; }

int Live() {
    int live = 0;
    for (void* slot : g_live) live += slot != nullptr;
    return live;
}

}  // namespace pin_allocation

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (g_fail_next) {
        g_fail_next = false;
        return nullptr;
    }
    void* p = std::malloc(size ? size : 1);
    if (!p) return nullptr;
    for (void*& slot : g_live) {
        if (!slot) {
            slot = p;
            break;
        }
    }
    return p;
}

// Plain array allocations take their memory from malloc too, so that every array, tracked or not, is
// released the way it was taken (sanitizers check that pairing).
void* operator new[](std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    return p;
}

// Every array delete comes here, so that the tracked ones are forgotten; the library's own
// allocation functions also take their memory from malloc.
void operator delete[](void* p) noexcept {
    if (p) Forget(p);
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept { operator delete[](p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { operator delete[](p); }
