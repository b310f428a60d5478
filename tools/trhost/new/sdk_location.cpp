#include "sdk_location.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace trhost {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPackageConfig = "lib/cmake/TRFramework/TRFrameworkConfig.cmake";

#if defined(_WIN32)
constexpr char kPathListSeparator = ';';
#else
constexpr char kPathListSeparator = ':';
#endif

// The running program's own file, or empty when the system will not say.
fs::path ProgramPath() {
#if defined(_WIN32)
    wchar_t buffer[32768];
    DWORD length = GetModuleFileNameW(nullptr, buffer, sizeof buffer / sizeof buffer[0]);
    if (length == 0 || length >= sizeof buffer / sizeof buffer[0]) return {};
    return fs::path(std::wstring(buffer, length));
#else
    std::error_code error;
    fs::path path = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : path;
#endif
}

}  // namespace

std::optional<SdkLocation> SdkAt(const std::string& prefix) {
    std::error_code error;
    fs::path folder = fs::absolute(prefix, error);
    if (error || !fs::is_regular_file(folder / kPackageConfig, error)) return std::nullopt;
    std::string text = folder.lexically_normal().generic_string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return SdkLocation{text, text + "/lib/cmake/TRFramework", text + "/modules/vexlo.so"};
}

std::optional<SdkLocation> FindSdk(const std::string& chosen, std::string* problem) {
    if (!chosen.empty()) {
        auto sdk = SdkAt(chosen);
        if (!sdk && problem) *problem = chosen + " holds no module SDK (no " + kPackageConfig + ")";
        return sdk;
    }
    fs::path program = ProgramPath();
    if (!program.empty()) {
        if (auto sdk = SdkAt(program.parent_path().parent_path().string())) return sdk;
    }
    if (const char* list = std::getenv("CMAKE_PREFIX_PATH")) {
        std::string folders = list;
        std::size_t start = 0;
        while (start <= folders.size()) {
            std::size_t end = folders.find(kPathListSeparator, start);
            if (end == std::string::npos) end = folders.size();
            if (end > start) {
                if (auto sdk = SdkAt(folders.substr(start, end - start))) return sdk;
            }
            start = end + 1;
        }
    }
    if (problem) {
        *problem =
            "no module SDK found: this trhost is not installed in one and CMAKE_PREFIX_PATH names none; "
            "name one with --sdk PREFIX";
    }
    return std::nullopt;
}

}  // namespace trhost
