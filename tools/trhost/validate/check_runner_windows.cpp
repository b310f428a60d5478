// Without fork, every check runs in this process, one after another. A crash or hang of the module
// cannot be contained; the unhandled-exception filter, or a watchdog thread when the check runs out of
// time, still names the check and its stage before the process ends with the checks-failed status.
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "check_runner.h"
#include "result_builder.h"

namespace trhost::validate {

namespace {

// The check running now and its stage, for the filter.
std::string g_check;
std::string g_stage;

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception) {
    std::printf("CRASH %s: exception 0x%08lx during: %s\n", g_check.c_str(),
                static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode), g_stage.c_str());
    std::fflush(stdout);
    ExitProcess(1);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Ends the process when the check it watches runs out of time; dismissed when the check ends.
class Watchdog {
public:
    explicit Watchdog(double seconds)
        : m_done(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          m_milliseconds(static_cast<DWORD>(seconds * 1000)),
          m_thread(CreateThread(nullptr, 0, Watch, this, 0, nullptr)) {}
    ~Watchdog() {
        SetEvent(m_done);
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
        CloseHandle(m_done);
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    static DWORD WINAPI Watch(void* self) {
        auto* watchdog = static_cast<Watchdog*>(self);
        if (WaitForSingleObject(watchdog->m_done, watchdog->m_milliseconds) == WAIT_TIMEOUT) {
            std::printf("FAIL  %s: did not finish within %lu ms (a hang?) during: %s\n", g_check.c_str(),
                        static_cast<unsigned long>(watchdog->m_milliseconds), g_stage.c_str());
            std::fflush(stdout);
            ExitProcess(1);
        }
        return 0;
    }

    HANDLE m_done;
    DWORD m_milliseconds;
    HANDLE m_thread;
};

}  // namespace

bool ChecksRunIsolated() { return false; }

CheckResult RunCheck(const Check& check, const ModuleLibrary& library, const RunOptions& options) {
    auto start = std::chrono::steady_clock::now();
    ResultBuilder builder(check.name);
    g_check = check.name;
    g_stage.clear();
    SetUnhandledExceptionFilter(ReportCrash);
    ForwardingContext context(library, CheckSeed(options.seed, check.name), options.level,
                              [&builder](MessageKind kind, const std::string& text) {
                                  if (kind == MessageKind::kStage) g_stage = text;
                                  builder.Add(kind, text);
                              });
    {
        Watchdog watchdog(options.timeout_seconds);
        check.run(context);
    }
    return builder.Finish(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}

}  // namespace trhost::validate
