// VEXLO_ASSUME(expression): a precondition that a proof beside it rests on, stated where the code
// relies on it. In the shipped library it is nothing at all (the expression is not even evaluated), so
// its code does not change. In the counted test build (path_counters.h), a false expression is
// reported through TRAssertFailed (tr_assert.h), and the differential tests, which install a handler
// for it, fail on any report.
#ifndef VEXLO_ASSUME_H
#define VEXLO_ASSUME_H

#ifdef VEXLO_PATH_COUNTERS
#include "tr_assert.h"
#define VEXLO_ASSUME(expression) \
    ((expression) ? static_cast<void>(0) : TRAssertFailed("VEXLO_ASSUME(" #expression ")", __FILE__, __LINE__))
#else
#define VEXLO_ASSUME(expression) static_cast<void>(sizeof((expression) ? 1 : 0))
#endif

#endif  // VEXLO_ASSUME_H
