#include "module_library.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "dependency_problem.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace trhost {

namespace {

#if defined(_WIN32)
std::string SystemMessage(DWORD code) {
    char* text = nullptr;
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length && text ? std::string(text, length) : "";
    if (text) LocalFree(text);
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return (message.empty() ? "system error" : message) + " (error " + std::to_string(code) + ")";
}
void* OpenLibrary(const std::string& path, std::string* reason) {
    // LoadLibrary wants backslashes; a path written with slashes, "/" first included, is as good.
    std::string native = path;
    for (char& c : native) c = c == '/' ? '\\' : c;
    HMODULE handle = LoadLibraryA(native.c_str());
    if (!handle) *reason = SystemMessage(GetLastError());
    return reinterpret_cast<void*>(handle);
}
void* FindSymbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
void CloseLibrary(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
#else
void* OpenLibrary(const std::string& path, std::string* reason) {
    // A bare file name would make dlopen search the system folders; a module is always named by path.
    std::string name = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* message = dlerror();
        *reason = message ? message : "dlopen failed";
    }
    return handle;
}
void* FindSymbol(void* handle, const char* name) { return dlsym(handle, name); }
void CloseLibrary(void* handle) { dlclose(handle); }
#endif

// What the file at `path` is, when that explains why it cannot be loaded here; empty when it looks
// like a library this process could load (the loader's own reason then tells the rest).
std::string WhatTheFileIs(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::exists(path, error)) return "no such file";
    if (fs::is_directory(path, error)) return "it is a folder, not a library";
    unsigned char head[64] = {};
    std::ifstream file(path, std::ios::binary);
    file.read(reinterpret_cast<char*>(head), sizeof head);
    std::streamsize count = file.gcount();
    bool elf = count >= 5 && std::memcmp(head,
                                         "\x7f"
                                         "ELF",
                                         4) == 0;
    bool pe = count >= 64 && head[0] == 'M' && head[1] == 'Z';
    if (elf && head[4] == 2) return "a 64-bit library; trhost loads 32-bit modules";
    if (pe) {
        // The PE header's machine field says 32- or 64-bit.
        uint32_t offset = head[60] | (head[61] << 8) | (head[62] << 16) | (static_cast<uint32_t>(head[63]) << 24);
        unsigned char machine[6] = {};
        file.clear();
        file.seekg(offset);
        file.read(reinterpret_cast<char*>(machine), sizeof machine);
        bool is_64 =
            file.gcount() == 6 && std::memcmp(machine, "PE\0\0", 4) == 0 && machine[4] == 0x64 && machine[5] == 0x86;
        if (is_64) return "a 64-bit library; trhost loads 32-bit modules";
#if !defined(_WIN32)
        return "a Windows DLL: use trhost.exe";
#endif
    }
#if defined(_WIN32)
    if (elf) return "a Linux library: use the Linux build of trhost";
#endif
    if (!elf && !pe) return "not a shared library";
    return "";
}

}  // namespace

std::unique_ptr<ModuleLibrary> ModuleLibrary::Load(const std::string& path, std::string* error) {
    std::string reason;
    void* handle = OpenLibrary(path, &reason);
    if (!handle) {
        std::string what = WhatTheFileIs(path);
        if (what.empty()) what = DependencyProblem(path, reason);
        if (error) *error = path + ": cannot be loaded: " + (what.empty() ? reason : what);
        return nullptr;
    }
    std::unique_ptr<ModuleLibrary> library(new ModuleLibrary);
    library->m_path = path;
    library->m_handle = handle;
    library->m_get_module_properties =
        reinterpret_cast<TRGetModulePropertiesFunction>(FindSymbol(handle, TR_EXPORT_GET_MODULE_PROPERTIES));
    library->m_make_module = reinterpret_cast<TRMakeModuleFunction>(FindSymbol(handle, TR_EXPORT_MAKE_MODULE));

    std::string missing;
    if (!library->m_get_module_properties) missing = TR_EXPORT_GET_MODULE_PROPERTIES;
    if (!library->m_make_module) {
        missing += missing.empty() ? "" : " and ";
        missing += TR_EXPORT_MAKE_MODULE;
    }
    if (!missing.empty()) {
        if (error) *error = path + ": not a module library: missing export " + missing;
        return nullptr;
    }
    return library;
}

ModuleLibrary::~ModuleLibrary() {
    if (m_handle) CloseLibrary(m_handle);
}

}  // namespace trhost
