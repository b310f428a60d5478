#include "tr_module_library.h"

namespace {

// The host gives these bits their meaning; a module only announces them.
constexpr int32_t kModuleFlags = 0x00000802;

}  // namespace

int32_t TRDescribeModule(const TRModuleTexts& texts, int32_t index, ModuleProperties* properties) {
    if (!properties) return 0;
    properties->flags = kModuleFlags;
    if (index != 0) return 0;
    properties->name = texts.name;
    properties->id = texts.identifier;
    properties->about = texts.about;
    return 1;
}
