// The counts behind allocation_counter.h, kept once for whichever way the allocators are reached
// (interposed on Linux, hooked through the module's import table on Windows): the binding calls these
// as blocks come and go.
//
// Threads: any thread may count; the window counts only on the thread that opened it.
#ifndef TRHOST_VALIDATE_ALLOCATION_TALLY_H
#define TRHOST_VALIDATE_ALLOCATION_TALLY_H

#include <cstddef>

namespace trhost::validate {

// A block of `usable` bytes came into use; `asked` is what the caller asked for.
void TallyAllocation(size_t asked, size_t usable);
// A block of `usable` bytes went out of use.
void TallyRelease(size_t usable);
// A call that takes or gives back memory without a block of its own (committing or decommitting pages of
// a reserved region): seen by the window, not by the totals.
void TallyWindowAllocation(size_t asked);
void TallyWindowRelease();

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_ALLOCATION_TALLY_H
