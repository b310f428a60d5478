// Sine tables shared by every instance opened at the same sample rate.
//
// A table of N entries holds one cycle: entry i = sin(i / N x 6.2831852), rounded to single. Its
// content depends on N alone, so every instance opened at the same whole-number rate (N = 30 x R) can
// read one immutable copy instead of filling its own 5 MB.
//
// Lifetime: the first Acquire of a length builds its table; each Acquire is matched by one Release,
// and the last Release frees the table. Threads: Acquire and Release may run on any threads at once;
// they take one lock, which is never held while a table is being filled (so an open at a rate already
// held never waits for a table being built for another rate). Reading a held table takes no lock: it
// does not change from the moment Acquire answers it until its last Release.
#ifndef VEXLO_SHARED_SINE_TABLE_H
#define VEXLO_SHARED_SINE_TABLE_H

#include <cstdint>

namespace vexlo {

// The table of `length` entries, built if no holder has it; null when `length` is below 1 or the
// memory cannot be had. A null answer needs no Release.
const float* AcquireSineTable(int32_t length);

// Gives up one hold on a table Acquire answered; null is ignored.
void ReleaseSineTable(const float* table);

// Number of distinct tables currently held (for diagnostics and tests).
int32_t HeldSineTables();

}  // namespace vexlo

#endif  // VEXLO_SHARED_SINE_TABLE_H
