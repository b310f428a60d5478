// The clock that timing checks read: the time the calling thread has worked, where the system
// offers it, so that a busy machine, which takes the processor away from the validator for
// milliseconds at a time, does not make a module look many times slower than it is.
//
// Linux: the thread's CPU time (CLOCK_THREAD_CPUTIME_ID, user and system, nanosecond resolution).
// Windows: the steady wall clock. Windows counts a thread's time only in scheduler ticks of about
// 15.6 ms (GetThreadTimes), too coarse for the trials of a few milliseconds the checks time, so
// there the trials' minimum is what keeps the noise of a busy machine out.
#ifndef TRHOST_VALIDATE_WORK_CLOCK_H
#define TRHOST_VALIDATE_WORK_CLOCK_H

#include <chrono>

#ifndef _WIN32
#include <ctime>
#endif

namespace trhost::validate {

#ifdef _WIN32
using WorkClock = std::chrono::steady_clock;
#else
struct WorkClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<WorkClock>;
    static constexpr bool is_steady = true;

    static time_point now() noexcept {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return time_point(std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
    }
};
#endif

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_WORK_CLOCK_H
