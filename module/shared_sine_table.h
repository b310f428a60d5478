// Sine tables shared by every instance opened at the same sample rate.
//
// A table of N entries holds one cycle: entry i = sin(i / N x 6.2831852), rounded to single. Its
// content depends on N alone, so every instance opened at the same whole-number rate (N = 30 x R) can
// read one immutable copy instead of filling its own 10 MB.
//
// With them comes the table's split (split_sine.h): two short tables that give every entry, for reads
// that jump about the whole table.
//
// The N entries are followed by the same N values in residue order: all entries i with i mod 30 = 0 in
// increasing order, then those with i mod 30 = 1, and so on. When N = 30 x R, each class has R entries,
// and entry i sits at (i mod 30) x R + floor(i / 30) of that copy. A walk of about 30 x m entries per
// sample (m Hz at rate R) stays in one class for long runs, so it reads m floats further per sample
// instead of a new cache line each sample; the copy doubles the shared memory for that.
//
// Lifetime: the first Acquire of a length builds its table; each Acquire is matched by one Release,
// and the last Release frees the table. Threads: Acquire and Release may run on any threads at once;
// they take one lock, which is never held while a table is being filled (so an open at a rate already
// held never waits for a table being built for another rate). Reading a held table takes no lock: it
// does not change from the moment Acquire answers it until its last Release.
#ifndef VEXLO_SHARED_SINE_TABLE_H
#define VEXLO_SHARED_SINE_TABLE_H

#include <cmath>
#include <cstdint>

#include "split_sine.h"

namespace vexlo {

// The classes of the residue order: as many as the table's seconds per cycle, so that each holds R
// entries of a table of N = 30 x R.
inline constexpr int32_t kResidueClasses = 30;

// The table of `length` entries and their residue order, built if no holder has it; null when `length`
// is below 1 or the memory cannot be had. A null answer needs no Release.
const float* AcquireSineTable(int32_t length);

// Where entry i (0 <= i < length) sits in the residue order: past the classes below its own (each of
// floor(length / 30) entries, one more for the first length mod 30 classes), at floor(i / 30).
inline int32_t ResidueAddress(int32_t length, int32_t i) {
    const int32_t residue = i % kResidueClasses;
    const int32_t longer = length % kResidueClasses;
    return residue * (length / kResidueClasses) + (residue < longer ? residue : longer) + i / kResidueClasses;
}

// The residue order of a table of `length` entries that Acquire answered.
inline const float* ResidueOrder(const float* table, int32_t length) { return table + length; }

// Whether a walk at one period P reads fewer cache lines per sample in the residue order than in the
// table itself. The walk moves s = N / P entries per sample: with 16 floats to a 64-byte line, a new
// line every sample from s = 16 on. Write s = 30m + d with m whole and |d| <= 15: in the residue
// order the walk stays in its class but for about |d| class changes per sample (each a new line, every
// sample once |d| >= 1), and moves m floats on within it. That costs about |d| + m / 16 lines per
// sample, below half a line only near whole hertz up to about 8 Hz.
inline bool DenserByResidue(int32_t length, int32_t period) {
    if (length % kResidueClasses != 0) return false;
    const double stride = static_cast<double>(length) / static_cast<double>(period);
    const double classes = std::floor(stride / kResidueClasses + 0.5);
    return classes >= 1.0 && std::fabs(stride - kResidueClasses * classes) + classes / 16.0 < 0.5;
}

// The split of a table Acquire answered (split_sine.h), built and checked with it: empty for null, for a
// table longer than kLongestSplitTable, and for one whose split does not give every entry bit for bit.
// Like the table, it does not change while the table is held.
SplitSine SplitSineOf(const float* table);

// Gives up one hold on a table Acquire answered; null is ignored.
void ReleaseSineTable(const float* table);

// Number of distinct tables currently held (for diagnostics and tests).
int32_t HeldSineTables();

}  // namespace vexlo

#endif  // VEXLO_SHARED_SINE_TABLE_H
