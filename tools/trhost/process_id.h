// The running process's id, which names temporary files and folders so that two trhost runs side by
// side never pick the same name.
#ifndef TRHOST_PROCESS_ID_H
#define TRHOST_PROCESS_ID_H

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

namespace trhost {

inline long CurrentProcessId() {
#if defined(_WIN32)
    return _getpid();
#else
    return static_cast<long>(getpid());
#endif
}

}  // namespace trhost

#endif  // TRHOST_PROCESS_ID_H
