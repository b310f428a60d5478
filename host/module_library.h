// A module library loaded by path, with its two exports resolved. The host side of the interface
// reaches a module only through these exports and the records they hand out.
#ifndef TRHOST_MODULE_LIBRARY_H
#define TRHOST_MODULE_LIBRARY_H

#include <memory>
#include <string>

#include "trmod_interface.h"

namespace trhost {

class ModuleLibrary {
public:
    // Loads the library at `path`. Answers null and sets `error` to one line naming the path and what
    // went wrong (cannot be loaded, and why: a library it needs by name when that is missing; or which
    // export is missing).
    static std::unique_ptr<ModuleLibrary> Load(const std::string& path, std::string* error);

    ModuleLibrary(const ModuleLibrary&) = delete;
    ModuleLibrary& operator=(const ModuleLibrary&) = delete;
    // Unloads the library. Every instance made from it must be closed first.
    ~ModuleLibrary();

    const std::string& Path() const { return m_path; }
    TRGetModulePropertiesFunction GetModuleProperties() const { return m_get_module_properties; }
    TRMakeModuleFunction MakeModule() const { return m_make_module; }

private:
    ModuleLibrary() = default;

    std::string m_path;
    void* m_handle = nullptr;  // dlopen handle or HMODULE
    TRGetModulePropertiesFunction m_get_module_properties = nullptr;
    TRMakeModuleFunction m_make_module = nullptr;
};

}  // namespace trhost

#endif  // TRHOST_MODULE_LIBRARY_H
