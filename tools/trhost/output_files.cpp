#include "output_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "command_error.h"
#include "exit_codes.h"

#include "process_id.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace trhost {

namespace fs = std::filesystem;

namespace {

// As many links as a path may pass through before it is taken for a loop (the Linux kernel's limit).
constexpr int kMostLinks = 40;

[[noreturn]] void Refuse(const std::string& path, const std::string& why) {
    throw CommandError(kExitOutput, path + ": cannot be written: " + why);
}

// The end of the chain of symbolic links that starts at `path` (the path itself when it is none).
fs::path FollowLinks(const std::string& user_path) {
    fs::path path(user_path);
    for (int hops = 0; hops <= kMostLinks; ++hops) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error))) return path;
        fs::path target = fs::read_symlink(path, error);
        if (error) Refuse(user_path, "its link cannot be read: " + error.message());
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    Refuse(user_path, "it leads through more than " + std::to_string(kMostLinks) + " links (a loop?)");
}

std::string TemporaryName(const std::string& base) {
    static int counter = 0;
    return base + ".partial-" + std::to_string(CurrentProcessId()) + "-" + std::to_string(++counter);
}

// Copies the file at `from` into the open stream `out`; answers errno of the first failure, or 0.
int CopyBytes(const std::string& from, std::FILE* out) {
    std::FILE* in = std::fopen(from.c_str(), "rb");
    if (!in) return errno ? errno : EIO;
    char buffer[1 << 16];
    int failure = 0;
    while (!failure) {
        size_t count = std::fread(buffer, 1, sizeof buffer, in);
        if (count == 0) {
            if (std::ferror(in)) failure = errno ? errno : EIO;
            break;
        }
        errno = 0;
        if (std::fwrite(buffer, 1, count, out) != count) failure = errno ? errno : EIO;
    }
    std::fclose(in);
    errno = 0;
    if (!failure && std::fflush(out) != 0) failure = errno ? errno : EIO;
    return failure;
}

}  // namespace

OutputFiles::~OutputFiles() {
    std::error_code ignored;
    for (const auto& entry : m_entries) fs::remove(entry.temporary_path, ignored);
}

std::string OutputFiles::Reserve(const std::string& final_path) {
    Entry entry;
    entry.final_path = final_path;
    std::error_code error;
    if (final_path == kStandardOutputPath) {
        entry.kind = Kind::kStandardOutput;
        entry.target_path = final_path;
        entry.temporary_path = TemporaryName((fs::temp_directory_path(error) / "trhost").string());
    } else {
        fs::path target = FollowLinks(final_path);
        entry.target_path = target.string();
        fs::file_status status = fs::status(target, error);
        if (fs::is_directory(status)) Refuse(final_path, "it is a folder");
        if (!fs::exists(status)) {
            fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
            if (!fs::is_directory(folder, error)) Refuse(final_path, "folder " + folder.string() + " does not exist");
        }
        if (fs::exists(status) && !fs::is_regular_file(status)) {
            entry.kind = Kind::kCopyInto;
            entry.temporary_path = TemporaryName((fs::temp_directory_path(error) / "trhost").string());
        } else {
            entry.temporary_path = TemporaryName(entry.target_path);
        }
    }
    for (const auto& other : m_entries) {
        bool same = fs::path(other.target_path).lexically_normal() == fs::path(entry.target_path).lexically_normal();
        if (!same && entry.kind != Kind::kStandardOutput && other.kind != Kind::kStandardOutput) {
            same = fs::equivalent(other.target_path, entry.target_path, error) && !error;
        }
        if (same) throw CommandError(kExitOutput, final_path + ": named for two outputs");
    }
    m_entries.push_back(entry);
    return entry.temporary_path;
}

void OutputFiles::Write(const std::string& temporary_path,
                        const std::function<void(const std::string&)>& writer) const {
    try {
        writer(temporary_path);
    } catch (const CommandError& error) {
        std::string message = error.what();
        for (const auto& entry : m_entries) {
            if (entry.temporary_path != temporary_path) continue;
            for (auto at = message.find(temporary_path); at != std::string::npos;
                 at = message.find(temporary_path, at + entry.final_path.size())) {
                message.replace(at, temporary_path.size(), entry.final_path);
            }
        }
        throw CommandError(error.ExitCode(), message);
    }
}

void OutputFiles::Deliver(const Entry& entry) const {
    std::string through =
        entry.target_path == entry.final_path ? "" : " (through its link to " + entry.target_path + ")";
    int failure = 0;
    switch (entry.kind) {
        case Kind::kReplace: {
            std::error_code error;
            // A file that is replaced keeps its permission bits.
            fs::file_status existing = fs::status(entry.target_path, error);
            if (!error && fs::is_regular_file(existing)) {
                fs::permissions(entry.temporary_path, existing.permissions(), error);
            }
            fs::rename(entry.temporary_path, entry.target_path, error);
            if (error) Refuse(entry.final_path, error.message() + through);
            return;
        }
        case Kind::kCopyInto: {
            std::FILE* out = std::fopen(entry.target_path.c_str(), "wb");
            if (!out) Refuse(entry.final_path, std::strerror(errno) + through);
            failure = CopyBytes(entry.temporary_path, out);
            errno = 0;
            if (std::fclose(out) != 0 && !failure) failure = errno ? errno : EIO;
            break;
        }
        case Kind::kStandardOutput:
#if defined(_WIN32)
            _setmode(_fileno(stdout), _O_BINARY);
#endif
            failure = CopyBytes(entry.temporary_path, stdout);
            break;
    }
    if (failure)
        Refuse(entry.kind == Kind::kStandardOutput ? "standard output" : entry.final_path,
               std::strerror(failure) + through);
}

void OutputFiles::Commit() {
    for (const auto& entry : m_entries) Deliver(entry);
}

bool OutputFiles::UsesStandardOutput() const {
    for (const auto& entry : m_entries) {
        if (entry.kind == Kind::kStandardOutput) return true;
    }
    return false;
}

}  // namespace trhost
