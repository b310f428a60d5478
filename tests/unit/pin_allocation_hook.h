// The framework allocates its pin arrays with non-throwing array new. This test program replaces that
// allocation function so tests can make it fail and can count the arrays that are still alive.
#ifndef PIN_ALLOCATION_HOOK_H
#define PIN_ALLOCATION_HOOK_H

namespace pin_allocation {

// The next non-throwing array allocation answers null.
void FailNext();
// Non-throwing array allocations not yet released.
int Live();

}  // namespace pin_allocation

#endif  // PIN_ALLOCATION_HOOK_H
