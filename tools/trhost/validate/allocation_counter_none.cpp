// Where the allocators are neither interposed nor hooked (sanitizer builds, whose runtime owns them):
// nothing is counted, and checks that rely on counting say so.
#include "allocation_counter.h"

namespace trhost::validate {

bool AllocationCountingAvailable() { return false; }
void WatchModuleAllocations(const ModuleLibrary&) {}
std::string WatchedAllocators() { return ""; }

}  // namespace trhost::validate
