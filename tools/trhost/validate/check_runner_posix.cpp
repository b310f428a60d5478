// Each check in a forked child. The child writes its messages down a pipe as they happen, one per
// line, so the parent knows what the check saw and what it was doing even when the child dies.
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "allocation_counter.h"
#include "check_runner.h"
#include "result_builder.h"

namespace trhost::validate {

namespace {

void WriteAll(int fd, const std::string& data) {
    size_t written = 0;
    while (written < data.size()) {
        ssize_t n = write(fd, data.data() + written, data.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        written += static_cast<size_t>(n);
    }
}

[[noreturn]] void RunChild(const Check& check, const ModuleLibrary& library, const RunOptions& options, int pipe_out) {
    // Whatever the module prints goes to stderr, never into trhost's own output; a crash leaves no core.
    dup2(STDERR_FILENO, STDOUT_FILENO);
    rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    ForwardingContext context(
        library, CheckSeed(options.seed, check.name), options.level,
        [pipe_out](MessageKind kind, const std::string& text) { WriteAll(pipe_out, MessageLine(kind, text)); });
    check.run(context);
    WriteAll(pipe_out, CheckEndLine());
    // Straight out: the parent's atexit work and open streams are not the child's to run or flush.
    _exit(0);
}

std::string SignalText(int signal_number) {
    const char* name = nullptr;
    switch (signal_number) {
        case SIGSEGV: name = "SIGSEGV"; break;
        case SIGBUS: name = "SIGBUS"; break;
        case SIGFPE: name = "SIGFPE"; break;
        case SIGILL: name = "SIGILL"; break;
        case SIGABRT: name = "SIGABRT"; break;
        case SIGKILL: name = "SIGKILL"; break;
        case SIGTRAP: name = "SIGTRAP"; break;
        default: break;
    }
    std::string text = name ? name : "signal " + std::to_string(signal_number);
    const char* description = strsignal(signal_number);
    if (description) text += std::string(" (") + description + ")";
    return text;
}

}  // namespace

bool ChecksRunIsolated() { return true; }

CheckResult RunCheck(const Check& check, const ModuleLibrary& library, const RunOptions& options) {
    auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    ResultBuilder builder(check.name);

    int fds[2];
    if (pipe(fds) != 0) {
        builder.Failed(std::string("cannot make a pipe: ") + std::strerror(errno));
        return builder.Finish(elapsed());
    }
    std::fflush(nullptr);
    pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        builder.Failed(std::string("cannot start a child process: ") + std::strerror(errno));
        return builder.Finish(elapsed());
    }
    if (child == 0) {
        close(fds[0]);
        RunChild(check, library, options, fds[1]);
    }
    close(fds[1]);

    MessageLineReader reader(builder);
    bool timed_out = false;
    while (true) {
        double left = options.timeout_seconds - elapsed();
        if (left <= 0) {
            timed_out = true;
            break;
        }
        pollfd poll_fd{fds[0], POLLIN, 0};
        int ready = poll(&poll_fd, 1, static_cast<int>(left * 1000) + 1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;
        char chunk[4096];
        ssize_t n = read(fds[0], chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        reader.Take(chunk, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (timed_out) kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }

    if (timed_out) {
        char text[96];
        std::snprintf(text, sizeof text, "did not finish within %g s (a hang?)", options.timeout_seconds);
        builder.Failed(text);
    } else if (WIFSIGNALED(status)) {
        builder.Crashed(SignalText(WTERMSIG(status)));
    } else if (!reader.CheckEnded()) {
        builder.Failed("the check's process ended early with exit status " +
                       std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1));
    }
    return builder.Finish(elapsed());
}

}  // namespace trhost::validate
