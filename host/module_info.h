// What a module library says of itself: its properties and its pin descriptions, copied into host
// memory so that they outlive the instance that gave them.
#ifndef TRHOST_MODULE_INFO_H
#define TRHOST_MODULE_INFO_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "module_library.h"
#include "trmod_interface.h"

namespace trhost {

struct ModuleInfo {
    bool described = false;  // getModuleProperties answered non-zero
    std::string name;
    std::string id;
    std::string about;
    int32_t flags = 0;
    ModuleProperties raw{};  // the record as the library left it
};

struct PinDescription {
    int32_t index = 0;
    int32_t direction = 0;
    int32_t datatype = 0;
    std::string name;
    std::optional<std::string> default_text;  // absent when the module gives none
    std::optional<std::string> extra_text;    // range text or list text; absent when none
    int32_t flags = 0;
    void* variable_address = nullptr;  // inside the instance that described it
    PinProperties raw{};

    bool IsAudio() const { return datatype == DT_FSAMPLE; }
    bool IsList() const { return datatype == DT_LIST; }
};

// Asks getModuleProperties for `index` with a zeroed record.
ModuleInfo ReadModuleInfo(const ModuleLibrary& library, int32_t index = 0);

// Copies one description out of a record the module filled.
PinDescription CopyPinDescription(int32_t index, const PinProperties& record);

const char* DirectionName(int32_t direction);
const char* DatatypeName(int32_t datatype);

}  // namespace trhost

#endif  // TRHOST_MODULE_INFO_H
