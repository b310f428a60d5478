// What a library must do to hold one module: answer getModuleProperties with the module's texts and
// makeModule with a new instance of the module class. A module library is then one class, its texts
// and one line:
//
//   TR_MODULE_LIBRARY(DelayModule, kDelayTexts)
//
// in one source file of the library. The host calls the two exports after it loads the library, on
// any of its threads, at any time, also at once; they keep no shared state. By convention the line
// lives in NAME_library.cpp beside the module's texts.
#ifndef TR_MODULE_LIBRARY_H
#define TR_MODULE_LIBRARY_H

#include <cstdint>
#include <new>
#include <type_traits>

#include "trmod_interface.h"

// The module's texts: constant storage of the library, handed out by address and never copied or
// freed. The host must neither change nor free them.
struct TRModuleTexts {
    const char* name;
    const char* identifier;
    const char* about;
};

// The work of getModuleProperties for a library holding `texts` at index 0: the flags word for every
// index, the three texts for index 0 alone. Answers 1 for index 0, else 0 (and 0 for a null record).
// The record is the host's; only name, id, about and flags are written, by address for the texts.
// The flags word is the same fixed value for every module of this interface; its bits are the host's
// to interpret, and no module chooses them.
int32_t TRDescribeModule(const TRModuleTexts& texts, int32_t index, ModuleProperties* properties);

// The work of makeModule: a new Module for index 0 and kind 1, or null (another index or kind, both
// tested before anything is allocated, or no memory). Answers the instance's embedded plug record,
// which the host then owns as its handle until it sends DISP_CLOSE; the instance deletes itself then.
// Module's constructor takes (TRHostCallback, uint32_t host_handle) and hands them to TRModule_base;
// it runs on the host's calling thread and may allocate, but makes no request of the host.
template <class Module>
TRMod_struct* TRMakeModule(int32_t index, int32_t kind, TRHostCallback host_callback, uint32_t host_handle) {
    if (index != 0) return nullptr;
    if (kind != TR_KIND_MODULE) return nullptr;
    auto* module = new (std::nothrow) Module(host_callback, host_handle);
    if (!module) return nullptr;
    return module->Plug();
}

// Visible from the library; everything else stays hidden (version script on Linux, .def on Windows).
#if defined(_WIN32)
#define TR_LIBRARY_EXPORT
#else
#define TR_LIBRARY_EXPORT __attribute__((visibility("default")))
#endif

// Defines the library's two exports for `Module` and its `texts` (a TRModuleTexts).
#define TR_MODULE_LIBRARY(Module, texts)                                                                            \
    extern "C" TR_LIBRARY_EXPORT int32_t TR_CALL getModuleProperties(int32_t index, ModuleProperties* properties) { \
        return TRDescribeModule(texts, index, properties);                                                          \
    }                                                                                                               \
    extern "C" TR_LIBRARY_EXPORT TRMod_struct* TR_CALL makeModule(                                                  \
        int32_t index, int32_t kind, TRHostCallback host_callback, uint32_t host_handle) {                          \
        return TRMakeModule<Module>(index, kind, host_callback, host_handle);                                       \
    }                                                                                                               \
    static_assert(std::is_same_v<decltype(&getModuleProperties), TRGetModulePropertiesFunction>);                   \
    static_assert(std::is_same_v<decltype(&makeModule), TRMakeModuleFunction>)

#endif  // TR_MODULE_LIBRARY_H
