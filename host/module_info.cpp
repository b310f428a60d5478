#include "module_info.h"

namespace trhost {

namespace {

std::optional<std::string> Text(const char* text) {
    if (!text) return std::nullopt;
    return std::string(text);
}

}  // namespace

ModuleInfo ReadModuleInfo(const ModuleLibrary& library, int32_t index) {
    ModuleInfo info;
    info.described = library.GetModuleProperties()(index, &info.raw) != 0;
    info.name = Text(info.raw.name).value_or("");
    info.id = Text(info.raw.id).value_or("");
    info.about = Text(info.raw.about).value_or("");
    info.flags = info.raw.flags;
    return info;
}

PinDescription CopyPinDescription(int32_t index, const PinProperties& record) {
    PinDescription pin;
    pin.index = index;
    pin.direction = record.direction;
    pin.datatype = record.datatype;
    pin.name = Text(record.name).value_or("");
    pin.default_text = Text(record.default_value);
    pin.extra_text = Text(record.datatype_extra);
    pin.flags = record.flags;
    pin.variable_address = record.variable_address;
    pin.raw = record;
    return pin;
}

const char* DirectionName(int32_t direction) {
    switch (direction) {
        case PIN_IN: return "in";
        case PIN_OUT: return "out";
        case PIN_SETTING: return "setting";
        default: return "unknown";
    }
}

const char* DatatypeName(int32_t datatype) {
    switch (datatype) {
        case DT_LIST: return "list";
        case DT_BYTE: return "byte";
        case DT_FSAMPLE: return "audio";
        case DT_WORD32: return "word32";
        default: return "unknown";
    }
}

}  // namespace trhost
