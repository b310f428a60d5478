// The library's two exports: what getModuleProperties writes into the host's record, and which
// modules makeModule agrees to make.
#include <climits>
#include <cstdio>
#include <cstring>

#include "checks.h"
#include "host_instance.h"

namespace trhost::validate {

namespace {

// A distinctive pattern for host words a module should leave alone.
constexpr uint32_t kHostPattern = 0xA5A5A5A5u;
constexpr uint32_t kOtherHostPattern = 0x5A5A5A5Au;

// The host's record with a guard behind it, to see writes past its end.
struct GuardedProperties {
    ModuleProperties record;
    uint32_t guard[8];
};

GuardedProperties Patterned(uint32_t pattern) {
    GuardedProperties properties;
    std::memset(&properties, 0, sizeof properties);
    uint32_t* words = reinterpret_cast<uint32_t*>(&properties);
    for (size_t i = 0; i < sizeof properties / 4; ++i) words[i] = pattern;
    return properties;
}

uint32_t Word(const void* field) {
    uint32_t word;
    std::memcpy(&word, field, sizeof word);
    return word;
}

bool GuardIntact(const GuardedProperties& properties, uint32_t pattern) {
    for (uint32_t word : properties.guard) {
        if (word != pattern) return false;
    }
    return true;
}

void CheckText(CheckContext& context, const char* field, const char* text, bool must_have_content) {
    if (!text) {
        context.Fail(std::string("getModuleProperties(0) left ") + field + " null");
    } else if (Word(&text) == kHostPattern) {
        context.Fail(std::string("getModuleProperties(0) did not write ") + field);
    } else if (must_have_content && text[0] == '\0') {
        context.Fail(std::string("getModuleProperties(0) gave an empty ") + field);
    }
}

void CheckIndexZero(CheckContext& context, TRGetModulePropertiesFunction get_properties) {
    context.Stage("getModuleProperties(0)");
    GuardedProperties first = Patterned(kHostPattern);
    int32_t answer = get_properties(0, &first.record);
    GuardedProperties second = Patterned(kOtherHostPattern);
    get_properties(0, &second.record);

    if (answer == 0) {
        context.Fail("getModuleProperties(0) answered 0: no module at index 0");
        return;
    }
    CheckText(context, "name", first.record.name, true);
    CheckText(context, "id", first.record.id, true);
    CheckText(context, "about", first.record.about, false);
    if (Word(&first.record.flags) == kHostPattern && Word(&second.record.flags) == kOtherHostPattern) {
        context.Fail("getModuleProperties(0) did not write the flags word");
    }
    if (Word(&first.record.host_word12) != kHostPattern || Word(&first.record.host_word16) != kHostPattern) {
        context.Warn("getModuleProperties(0) changed the host's words at offsets 12 and 16");
    }
    if (!GuardIntact(first, kHostPattern)) {
        context.Fail("getModuleProperties(0) wrote past the end of the 24-byte record");
    }
    if (first.record.name && Word(&first.record.name) != kHostPattern && first.record.id &&
        Word(&first.record.id) != kHostPattern) {
        char flags[16];
        std::snprintf(flags, sizeof flags, "0x%08x", static_cast<unsigned>(first.record.flags));
        context.Info(std::string("module \"") + first.record.name + "\", id \"" + first.record.id + "\", flags " +
                     flags);
    }
}

void CheckOtherIndexes(CheckContext& context, TRGetModulePropertiesFunction get_properties) {
    for (int32_t index : {1, 2, -1, 1000, INT_MAX, INT_MIN}) {
        context.Stage("getModuleProperties(" + std::to_string(index) + ")");
        GuardedProperties properties = Patterned(kHostPattern);
        int32_t answer = get_properties(index, &properties.record);
        if (answer != 0) {
            context.Fail("getModuleProperties(" + std::to_string(index) + ") answered " + std::to_string(answer) +
                         ": only index 0 holds a module");
        } else if (Word(&properties.record.name) != kHostPattern || Word(&properties.record.id) != kHostPattern ||
                   Word(&properties.record.about) != kHostPattern) {
            context.Warn("getModuleProperties(" + std::to_string(index) +
                         ") answered 0 but wrote the name, id or about field");
        }
        if (!GuardIntact(properties, kHostPattern)) {
            context.Fail("getModuleProperties(" + std::to_string(index) + ") wrote past the end of the 24-byte record");
        }
    }
}

void CheckFactory(CheckContext& context, TRMakeModuleFunction make_module) {
    const std::pair<int32_t, int32_t> refused[] = {{1, 1}, {-1, 1}, {INT_MAX, 1}, {0, 0},
                                                   {0, 2}, {0, -1}, {0, INT_MIN}, {1, 2}};
    for (auto [index, kind] : refused) {
        std::string call = "makeModule(" + std::to_string(index) + ", " + std::to_string(kind) + ")";
        context.Stage(call);
        TRMod_struct* record = make_module(index, kind, HostCallback, 0x52454655u);
        if (record) {
            context.Fail(call + " made an instance: only index 0, kind 1 may be made");
            if (record->magic == TR_PLUG_MAGIC && record->dispatcher) {
                record->dispatcher(record, DISP_CLOSE, 0, 0, nullptr, 0.0f);
            }
        }
    }
    context.Stage("makeModule(0, 1)");
    TRMod_struct* record = make_module(0, TR_KIND_MODULE, HostCallback, 0x4D414B45u);
    if (!record) {
        context.Fail("makeModule(0, 1) answered null");
        return;
    }
    context.Stage("DISP_CLOSE after makeModule(0, 1)");
    if (record->magic == TR_PLUG_MAGIC && record->dispatcher) {
        record->dispatcher(record, DISP_CLOSE, 0, 0, nullptr, 0.0f);
    }
}

}  // namespace

void CheckExports(CheckContext& context) {
    const ModuleLibrary& library = context.Library();
    if (!library.GetModuleProperties() || !library.MakeModule()) {
        context.Fail("an export is missing");
        return;
    }
    CheckIndexZero(context, library.GetModuleProperties());
    CheckOtherIndexes(context, library.GetModuleProperties());
    CheckFactory(context, library.MakeModule());
}

}  // namespace trhost::validate
