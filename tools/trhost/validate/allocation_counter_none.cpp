// Where the allocators are not interposed (Windows): nothing is counted, and checks that rely on
// counting say so.
#include "allocation_counter.h"

namespace trhost::validate {

bool AllocationCountingAvailable() { return false; }
AllocationTotals CurrentAllocationTotals() { return {}; }
void OpenAllocationWindow() {}
AllocationWindow CloseAllocationWindow() { return {}; }
void ExcludeHostCallbacksFromWindow() {}

}  // namespace trhost::validate
