// The interposed allocators (glibc): each one counts and then hands on to glibc's own allocator
// through its __libc_* entries, which never come back here. A freed block is filled with a pattern
// and held back before glibc gets it again (freed_memory.h); realloc always moves the block, so that
// what was read through the old address is held back too. This file is linked into trhost and into
// the tests as part of the validator, and the symbols are exported from the executable so that
// libraries loaded later bind to them.
#include <malloc.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "allocation_counter.h"
#include "allocation_tally.h"
#include "freed_memory.h"

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);
}

namespace trhost::validate {

namespace {

void* Allocated(void* block, size_t asked) {
    if (block) TallyAllocation(asked, malloc_usable_size(block));
    return block;
}

void GiveBack(void* block, void*) { __libc_free(block); }

void Release(void* block) {
    if (!block) return;
    size_t usable = malloc_usable_size(block);
    TallyRelease(usable);
    HoldFreedBlock(block, usable, GiveBack, nullptr);
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

}  // namespace

bool AllocationCountingAvailable() { return true; }

void WatchModuleAllocations(const ModuleLibrary&) {}
std::string WatchedAllocators() { return ""; }

}  // namespace trhost::validate

using trhost::validate::AlignedNewOrThrow;
using trhost::validate::AlignedOrNull;
using trhost::validate::Allocated;
using trhost::validate::NewOrThrow;
using trhost::validate::Release;

extern "C" {

void* malloc(size_t size) { return Allocated(__libc_malloc(size), size); }

void* calloc(size_t count, size_t size) { return Allocated(__libc_calloc(count, size), count * size); }

void* realloc(void* block, size_t size) {
    // A new block and a release of the old one, as far as the counts are concerned; a failed realloc
    // leaves the old block alive. Size 0 frees, as glibc's realloc does.
    if (!block) return malloc(size);
    if (size == 0) {
        Release(block);
        return nullptr;
    }
    void* moved = malloc(size);
    if (!moved) return nullptr;
    size_t old_size = malloc_usable_size(block);
    std::memcpy(moved, block, old_size < size ? old_size : size);
    Release(block);
    return moved;
}

void free(void* block) { Release(block); }

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

void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, size_t) noexcept { Release(block); }
void operator delete[](void* block, size_t) noexcept { Release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Release(block); }
void operator delete(void* block, std::align_val_t) noexcept { Release(block); }
void operator delete[](void* block, std::align_val_t) noexcept { Release(block); }
void operator delete(void* block, size_t, std::align_val_t) noexcept { Release(block); }
void operator delete[](void* block, size_t, std::align_val_t) noexcept { Release(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { Release(block); }
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept { Release(block); }
