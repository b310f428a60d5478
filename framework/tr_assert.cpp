#include "tr_assert.h"

#include <cstdio>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

void DefaultAssertHandler(const char* expression, const char* source, int line) {
    char message[512];
    std::snprintf(message, sizeof message, "assertion failed: \"%s\" in %s, line %d\n", expression, source, line);
#if defined(_WIN32)
    OutputDebugStringA(message);
#else
    std::fputs(message, stderr);
#endif
}

TRAssertHandler g_handler = DefaultAssertHandler;

}  // namespace

TRAssertHandler TRSetAssertHandler(TRAssertHandler handler) {
    TRAssertHandler previous = g_handler;
    g_handler = handler ? handler : DefaultAssertHandler;
    return previous;
}

void TRAssertFailed(const char* expression, const char* source, int line) { g_handler(expression, source, line); }
