// Without fork, every check runs in this process, one after another. A crash of the module cannot be
// contained; the unhandled-exception filter still names the check and its stage before the process
// ends with the checks-failed status.
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

}  // namespace

bool ChecksRunIsolated() { return false; }

CheckResult RunCheck(const Check& check, const ModuleLibrary& library, const RunOptions& options) {
    auto start = std::chrono::steady_clock::now();
    ResultBuilder builder(check.name);
    g_check = check.name;
    g_stage.clear();
    SetUnhandledExceptionFilter(ReportCrash);
    ForwardingContext context(library, CheckSeed(options.seed, check.name),
                              [&builder](MessageKind kind, const std::string& text) {
                                  if (kind == MessageKind::kStage) g_stage = text;
                                  builder.Add(kind, text);
                              });
    check.run(context);
    return builder.Finish(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}

}  // namespace trhost::validate
