#include "module_library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace trhost {

namespace {

#if defined(_WIN32)
void* OpenLibrary(const std::string& path, std::string* reason) {
    HMODULE handle = LoadLibraryA(path.c_str());
    if (!handle) *reason = "LoadLibrary failed with error " + std::to_string(GetLastError());
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

}  // namespace

std::unique_ptr<ModuleLibrary> ModuleLibrary::Load(const std::string& path, std::string* error) {
    std::string reason;
    void* handle = OpenLibrary(path, &reason);
    if (!handle) {
        if (error) *error = path + ": cannot be loaded: " + reason;
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
