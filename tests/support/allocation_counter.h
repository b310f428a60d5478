// Counts live heap blocks allocated through the global operator new (and, apart, the live blocks of
// non-throwing array new, which is how the framework takes its pin arrays), and can make a chosen
// non-throwing allocation fail. Link allocation_counter.cpp into a test program to replace the global
// allocation functions there. Single-threaded use only.
#ifndef VEXLO_TESTS_ALLOCATION_COUNTER_H
#define VEXLO_TESTS_ALLOCATION_COUNTER_H

#include <cstdint>

namespace allocation_counter {

// Blocks allocated and not yet released, since the program started.
int64_t LiveBlocks();

// Allocations made since the program started, released or not.
int64_t AllocationsMade();

// Non-throwing array allocations not yet released (up to 64 are told apart).
int32_t LiveNothrowArrays();

// Makes the n-th non-throwing allocation from now on (1 = the next) answer null; 0 disarms.
void FailNthNothrowAllocation(int32_t n);

}  // namespace allocation_counter

#endif  // VEXLO_TESTS_ALLOCATION_COUNTER_H
