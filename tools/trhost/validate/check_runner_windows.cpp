// Each check in a child process: this executable started again with a check child's command line
// (check_child.h). The child writes its messages down an inherited pipe as they happen, so the parent
// knows what the check saw and what it was doing even when the child dies; its exit status is the
// exception code when an exception ended it.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "check_child.h"
#include "check_runner.h"
#include "result_builder.h"

namespace trhost::validate {

namespace {

// One argument as the C runtime's command-line parser reads it back: quoted, with the backslashes
// before a quote (and before the closing quote) doubled and the quote escaped.
std::string Quoted(const std::string& argument) {
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

std::string OwnPath() {
    std::string path(MAX_PATH, '\0');
    while (true) {
        DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string SystemError(const char* what) {
    return std::string(what) + " (error " + std::to_string(GetLastError()) + ")";
}

// The exit status of a process that an exception ended, named; empty for an ordinary exit status.
std::string ExceptionText(DWORD code) {
    const char* name = nullptr;
    switch (code) {
        case EXCEPTION_ACCESS_VIOLATION: name = "access violation"; break;
        case EXCEPTION_ILLEGAL_INSTRUCTION: name = "illegal instruction"; break;
        case EXCEPTION_PRIV_INSTRUCTION: name = "privileged instruction"; break;
        case EXCEPTION_INT_DIVIDE_BY_ZERO: name = "integer division by zero"; break;
        case EXCEPTION_INT_OVERFLOW: name = "integer overflow"; break;
        case EXCEPTION_STACK_OVERFLOW: name = "stack overflow"; break;
        case EXCEPTION_DATATYPE_MISALIGNMENT: name = "misaligned data"; break;
        case EXCEPTION_BREAKPOINT: name = "breakpoint"; break;
        case EXCEPTION_IN_PAGE_ERROR: name = "in-page error"; break;
        case EXCEPTION_FLT_DIVIDE_BY_ZERO: name = "floating-point division by zero"; break;
        case EXCEPTION_FLT_INVALID_OPERATION: name = "invalid floating-point operation"; break;
        case EXCEPTION_FLT_OVERFLOW: name = "floating-point overflow"; break;
        case EXCEPTION_FLT_UNDERFLOW: name = "floating-point underflow"; break;
        case EXCEPTION_FLT_INEXACT_RESULT: name = "inexact floating-point result"; break;
        case EXCEPTION_FLT_DENORMAL_OPERAND: name = "denormal floating-point operand"; break;
        case EXCEPTION_FLT_STACK_CHECK: name = "floating-point stack check"; break;
        case 0xC0000409: name = "stack buffer overrun"; break;
        case 0xC0000374: name = "heap corruption"; break;
        default: break;
    }
    // Status codes of the error severity (top bits 11) are exceptions, not exit statuses.
    if (!name && (code & 0xC0000000u) != 0xC0000000u) return "";
    char text[64];
    std::snprintf(text, sizeof text, "exception 0x%08lx", static_cast<unsigned long>(code));
    return name ? std::string(text) + " (" + name + ")" : text;
}

// The handles a child inherits: the message pipe's write end and its own copies of this process's
// standard handles (its output goes to this process's standard error). Closed when the child started.
class InheritedHandles {
public:
    ~InheritedHandles() {
        for (HANDLE handle : m_handles) CloseHandle(handle);
    }
    HANDLE Copy(HANDLE handle) {
        HANDLE copy = nullptr;
        if (!handle || handle == INVALID_HANDLE_VALUE ||
            !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                             DUPLICATE_SAME_ACCESS)) {
            return nullptr;
        }
        m_handles.push_back(copy);
        return copy;
    }
    void Keep(HANDLE handle) { m_handles.push_back(handle); }

private:
    std::vector<HANDLE> m_handles;
};

}  // namespace

bool ChecksRunIsolated() { return true; }

CheckResult RunCheck(const Check& check, const ModuleLibrary& library, const RunOptions& options) {
    auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    ResultBuilder builder(check.name);

    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, nullptr, 0)) {
        builder.Failed(SystemError("cannot make a pipe"));
        return builder.Finish(elapsed());
    }
    PROCESS_INFORMATION process{};
    bool started;
    {
        InheritedHandles inherited;
        HANDLE child_pipe = inherited.Copy(write_end);
        CloseHandle(write_end);
        HANDLE child_output = inherited.Copy(GetStdHandle(STD_ERROR_HANDLE));
        CheckChildTask task{check.name, library.Path(), options.seed, options.level,
                            reinterpret_cast<uintptr_t>(child_pipe)};
        std::string command_line = Quoted(OwnPath());
        for (const auto& argument : CheckChildArguments(task)) command_line += " " + Quoted(argument);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = inherited.Copy(GetStdHandle(STD_INPUT_HANDLE));
        startup.hStdOutput = child_output;
        startup.hStdError = child_output;
        std::fflush(nullptr);
        started = CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                 &process);
        if (!started) builder.Failed(SystemError("cannot start a child process"));
    }
    if (!started) {
        CloseHandle(read_end);
        return builder.Finish(elapsed());
    }
    CloseHandle(process.hThread);

    // The pipe is read on a thread of its own until the child's end of it closes, while this one
    // keeps the time.
    std::string received;
    std::thread reader([&] {
        char chunk[4096];
        DWORD n = 0;
        while (ReadFile(read_end, chunk, sizeof chunk, &n, nullptr) && n > 0) received.append(chunk, n);
    });
    bool timed_out =
        WaitForSingleObject(process.hProcess, static_cast<DWORD>(options.timeout_seconds * 1000)) == WAIT_TIMEOUT;
    if (timed_out) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    reader.join();
    CloseHandle(read_end);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);

    MessageLineReader lines(builder);
    lines.Take(received.data(), received.size());
    if (timed_out) {
        char text[96];
        std::snprintf(text, sizeof text, "did not finish within %g s (a hang?)", options.timeout_seconds);
        builder.Failed(text);
    } else if (std::string exception = ExceptionText(status); !exception.empty()) {
        builder.Crashed(exception);
    } else if (!lines.CheckEnded()) {
        builder.Failed("the check's process ended early with exit status " + std::to_string(status));
    }
    return builder.Finish(elapsed());
}

}  // namespace trhost::validate
