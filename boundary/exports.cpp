// The library's outward face: the two exports through which the host learns what module the library
// holds and creates instances of it. They keep no shared state and may be called on any thread.
#include <new>
#include <type_traits>

#include "module_texts.h"
#include "trmod_interface.h"
#include "vexlo_module.h"

namespace {

// Visible from the library; everything else stays hidden (version script on Linux, .def on Windows).
#if defined(_WIN32)
#define VEXLO_EXPORT
#else
#define VEXLO_EXPORT __attribute__((visibility("default")))
#endif

// The host gives these bits their meaning; the module only announces them.
constexpr int32_t kModuleFlags = 0x00000802;

}  // namespace

extern "C" VEXLO_EXPORT int32_t TR_CALL getModuleProperties(int32_t index, ModuleProperties* properties) {
    if (!properties) return 0;
    properties->flags = kModuleFlags;
    if (index != 0) return 0;
    properties->name = kModuleName;
    properties->id = kModuleIdentifier;
    properties->about = kModuleAbout;
    return 1;
}

extern "C" VEXLO_EXPORT TRMod_struct* TR_CALL makeModule(int32_t index, int32_t kind, TRHostCallback host_callback,
                                                         uint32_t host_handle) {
    if (index != 0) return nullptr;
    if (kind != TR_KIND_MODULE) return nullptr;
    auto* module = new (std::nothrow) VexloModule(host_callback, host_handle);
    if (!module) return nullptr;
    return module->Plug();
}

// Both exports must keep the boundary's exact types.
static_assert(std::is_same_v<decltype(&getModuleProperties), TRGetModulePropertiesFunction>);
static_assert(std::is_same_v<decltype(&makeModule), TRMakeModuleFunction>);
