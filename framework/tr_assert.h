// Invariant checks of the framework. A failed check reports the expression, the source and the line
// through the current handler, and execution then goes on: a module never aborts its host's process.
#ifndef TR_ASSERT_H
#define TR_ASSERT_H

// Receives one failed check: the expression as text, the source's name and the line, all constants.
// Called on whatever thread failed it, the audio thread included: must not throw, and should be short.
using TRAssertHandler = void (*)(const char* expression, const char* source, int line);

// Replaces the handler (null restores the default) and answers the one it replaces. Not thread-safe:
// meant for tests and for set-up before any instance exists.
TRAssertHandler TRSetAssertHandler(TRAssertHandler handler);

// Reports a failed check through the current handler. The default writes one line to stderr, or to the
// debugger channel on Windows.
void TRAssertFailed(const char* expression, const char* source, int line);

#endif  // TR_ASSERT_H
