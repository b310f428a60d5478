#include "check_child.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "allocation_counter.h"
#include "result_builder.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace trhost::validate {

namespace {

void WriteAll(uintptr_t pipe, const std::string& data) {
    size_t written = 0;
    while (written < data.size()) {
#if defined(_WIN32)
        DWORD n = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(pipe), data.data() + written, static_cast<DWORD>(data.size() - written),
                       &n, nullptr) ||
            n == 0) {
            return;
        }
#else
        ssize_t n = write(static_cast<int>(pipe), data.data() + written, data.size() - written);
        if (n <= 0) return;
#endif
        written += static_cast<size_t>(n);
    }
}

#if defined(_WIN32)
// Ends the process with the exception's code as its exit status, which the runner reads; no dialog,
// no debugger.
LONG WINAPI EndWithException(EXCEPTION_POINTERS* exception) {
    TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}
#endif

}  // namespace

std::vector<std::string> CheckChildArguments(const CheckChildTask& task) {
    return {kCheckChildFlag,          std::to_string(task.pipe), std::to_string(task.seed), std::to_string(task.level),
            task.check, task.library};
}

bool IsCheckChild(int argc, char** argv) { return argc == 7 && std::strcmp(argv[1], kCheckChildFlag) == 0; }

int RunCheckChild(int, char** argv) {
    CheckChildTask task;
    task.pipe = static_cast<uintptr_t>(std::strtoull(argv[2], nullptr, 10));
    task.seed = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10));
    task.level = std::atoi(argv[4]);
    task.check = argv[5];
    task.library = argv[6];
    auto send = [&](MessageKind kind, const std::string& text) { WriteAll(task.pipe, MessageLine(kind, text)); };
#if defined(_WIN32)
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(EndWithException);
#endif
    // Whatever the module prints goes to stderr, never into trhost's own output.
    std::fflush(stdout);
#if defined(_WIN32)
    _dup2(_fileno(stderr), _fileno(stdout));
#else
    dup2(STDERR_FILENO, STDOUT_FILENO);
#endif

    const Check* check = nullptr;
    for (const auto& candidate : AllChecks()) {
        if (task.check == candidate.name) check = &candidate;
    }
    if (!check) {
        send(MessageKind::kFail, "no check is named " + task.check);
        return 1;
    }
    std::string error;
    auto library = ModuleLibrary::Load(task.library, &error);
    if (!library) {
        send(MessageKind::kFail, error);
        return 1;
    }
    WatchModuleAllocations(*library);
    ForwardingContext context(*library, CheckSeed(task.seed, check->name), task.level, send);
    try {
        check->run(context);
    } catch (const std::exception& exception) {
        send(MessageKind::kFail, std::string("the check stopped at an exception: ") + exception.what());
    }
    WriteAll(task.pipe, CheckEndLine());
    std::fflush(nullptr);
    // Straight out: the library stays loaded and nothing else runs (static destructors, unloading),
    // since the module may have left the process in any state.
#if defined(_WIN32)
    TerminateProcess(GetCurrentProcess(), 0);
#endif
    _exit(0);
}

}  // namespace trhost::validate
