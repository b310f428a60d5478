#include "dependency_problem.h"

#include <cctype>
#include <vector>

#if defined(_WIN32)
#include <windows.h>

#include "pe_imports.h"
#endif

namespace trhost {

namespace {

bool StartsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The parts of a toolchain's runtime that a module should carry inside itself.
std::string RuntimeAdvice(const std::string& missing) {
    std::string name = Lower(missing);
    for (const char* runtime : {"libwinpthread", "libgcc_s", "libstdc++"}) {
        if (StartsWith(name, runtime)) {
            return " (a module carries its runtime inside it: link it statically, as tr_add_module_library does)";
        }
    }
    return "";
}

#if defined(_WIN32)
// Nested imports are followed this deep: far enough for any real chain, and an end for a cycle.
constexpr int kDeepestChain = 4;

bool InSystemFolder(const std::string& file) {
    char folder[MAX_PATH];
    UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH && StartsWith(Lower(file), Lower(std::string(folder, length)));
}

// What the loader cannot find or load among the DLLs that the image at `path` imports, and the DLLs
// that lead to it. `chain` stays empty when every DLL it imports is there.
struct Missing {
    std::vector<std::string> chain;  // from the DLL the module imports to the one that is missing
    std::string why;                 // "is not found", or the loader's error
};

Missing FindMissing(const std::string& path, int depth) {
    auto imports = PeImportNames(path);
    if (!imports) return {};
    for (const std::string& name : *imports) {
        // API sets are names the loader resolves itself, not files.
        std::string lower = Lower(name);
        if (StartsWith(lower, "api-ms-win-") || StartsWith(lower, "ext-ms-")) continue;
        // Looked for as the loader looks for a dependency, without running its entry or resolving its
        // own imports.
        HMODULE found = LoadLibraryExA(name.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
        if (!found) {
            DWORD code = GetLastError();
            return {
                {name},
                code == ERROR_MOD_NOT_FOUND ? "is not found" : "cannot be loaded (error " + std::to_string(code) + ")"};
        }
        char file[MAX_PATH];
        DWORD length = GetModuleFileNameA(found, file, MAX_PATH);
        FreeLibrary(found);
        if (depth + 1 >= kDeepestChain || length == 0 || length >= MAX_PATH) continue;
        std::string found_path(file, length);
        if (InSystemFolder(found_path)) continue;
        Missing nested = FindMissing(found_path, depth + 1);
        if (!nested.chain.empty()) {
            nested.chain.insert(nested.chain.begin(), name);
            return nested;
        }
    }
    return {};
}
#endif

}  // namespace

std::string DependencyProblem(const std::string& path, const std::string& reason) {
#if defined(_WIN32)
    (void)reason;
    Missing missing = FindMissing(path, 0);
    if (missing.chain.empty()) return "";
    std::string text = "it needs";
    for (const std::string& name : missing.chain) text += " " + name + ", which";
    return text + " " + missing.why + RuntimeAdvice(missing.chain.back());
#else
    (void)path;
    // glibc: "NAME: cannot open shared object file: No such file or directory", NAME being the library
    // that was looked for, which is a dependency since the module's own file exists.
    const std::string marker = ": cannot open shared object file";
    std::size_t end = reason.find(marker);
    if (end == std::string::npos || end == 0) return "";
    std::string missing = reason.substr(0, end);
    return "it needs " + missing + ", which is not found" + RuntimeAdvice(missing);
#endif
}

}  // namespace trhost
