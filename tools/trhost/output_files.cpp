#include "output_files.h"

#include <filesystem>
#include <system_error>

#include "command_error.h"
#include "exit_codes.h"

#if defined(_WIN32)
#include <process.h>
#define TRHOST_PROCESS_ID _getpid
#else
#include <unistd.h>
#define TRHOST_PROCESS_ID getpid
#endif

namespace trhost {

namespace fs = std::filesystem;

OutputFiles::~OutputFiles() {
    if (m_committed) return;
    std::error_code ignored;
    for (const auto& entry : m_entries) fs::remove(entry.temporary_path, ignored);
}

std::string OutputFiles::Reserve(const std::string& final_path) {
    fs::path path(final_path);
    std::error_code error;
    for (const auto& entry : m_entries) {
        if (fs::path(entry.final_path).lexically_normal() == path.lexically_normal()) {
            throw CommandError(kExitOutput, final_path + ": named for two outputs");
        }
    }
    fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    if (!fs::is_directory(folder, error)) {
        throw CommandError(kExitOutput,
                           final_path + ": cannot be written: folder " + folder.string() + " does not exist");
    }
    if (fs::is_directory(path, error)) {
        throw CommandError(kExitOutput, final_path + ": cannot be written: it is a folder");
    }
    std::string temporary = final_path + ".partial-" + std::to_string(TRHOST_PROCESS_ID());
    m_entries.push_back({final_path, temporary});
    return temporary;
}

void OutputFiles::Commit() {
    for (const auto& entry : m_entries) {
        std::error_code error;
        fs::rename(entry.temporary_path, entry.final_path, error);
        if (error) {
            throw CommandError(kExitOutput, entry.final_path + ": cannot be written: " + error.message());
        }
    }
    m_committed = true;
}

}  // namespace trhost
