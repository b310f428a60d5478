// What becomes of a block the module frees while the validator watches its allocators: it is filled
// with a pattern and held back for a while before its memory is given back for reuse. A module that
// reads memory after freeing it then reads the pattern, not the values it left there, and since the
// pattern changes from one free to the next, two runs alike read different numbers: the comparing
// checks (isolation, determinism) see it every time rather than when the heap happens to hand the
// block on.
//
// Threads: any thread may free.
#ifndef TRHOST_VALIDATE_FREED_MEMORY_H
#define TRHOST_VALIDATE_FREED_MEMORY_H

#include <cstddef>
#include <cstdint>

namespace trhost::validate {

// At most this many freed blocks, and this many bytes of them, are held back at once; the oldest go
// first. Enough that a block freed in Open is still held when the first blocks run, while a soak of
// many open/close cycles does not hold on to memory without end.
constexpr size_t kHeldFreedBlocks = 4096;
constexpr size_t kHeldFreedBytes = 32u << 20;

// The pattern word of one free: it reads as a float between -2 and -1 (a plausible number that a
// module computing with it will pass on, rather than a NaN it might catch), as a double near -0.008,
// and as an address in memory that is not mapped. `serial` numbers the frees.
uint32_t FreedPattern(uint32_t serial);

// Gives a held block's memory back: the allocator's own release. `owner` is what HoldFreedBlock got
// (a heap, for example).
using ReleaseFreedBlock = void (*)(void* block, void* owner);

// Fills `size` bytes at `block` with the next pattern and holds the block; releases the oldest held
// blocks beyond the bounds. A block larger than the bytes bound is filled and released at once.
void HoldFreedBlock(void* block, size_t size, ReleaseFreedBlock release, void* owner);

// Releases every held block of `owner` now (its heap is about to go away).
void ReleaseHeldBlocksOf(void* owner);

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_FREED_MEMORY_H
