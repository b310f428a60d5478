// The pin descriptions, asked for through DISP_GET_PIN_PROPERTIES the way a host asks: codes, names and
// texts must make sense; fields a pin does not describe keep what the host put there; indexes past
// the last pin answer 0 and write nothing.
#include <climits>
#include <cstdio>
#include <cstring>
#include <set>

#include "checks.h"
#include "host_instance.h"
#include "pin_text.h"

namespace trhost::validate {

namespace {

constexpr uint8_t kHostByte = 0xA5;
// Buffers behind the pins while the instance is opened; nothing is processed here.
constexpr size_t kWiredBufferLength = 1024;

struct GuardedRecord {
    PinProperties record;
    uint8_t guard[32];
};

GuardedRecord Filled(uint8_t byte) {
    GuardedRecord guarded;
    std::memset(&guarded, byte, sizeof guarded);
    return guarded;
}

bool GuardIntact(const GuardedRecord& guarded, uint8_t byte) {
    for (uint8_t b : guarded.guard) {
        if (b != byte) return false;
    }
    return true;
}

// The record's eight words by name.
constexpr const char* kFieldNames[8] = {"variable_address", "direction",      "datatype", "name",
                                        "default_value",    "datatype_extra", "flags",    "reserved"};
constexpr int kReservedField = 7;

uint32_t FieldWord(const PinProperties& record, int field) {
    uint32_t word;
    std::memcpy(&word, reinterpret_cast<const uint8_t*>(&record) + 4 * field, sizeof word);
    return word;
}

struct Asked {
    int32_t answer = 0;
    GuardedRecord guarded;
};

Asked Ask(HostInstance& host, int32_t index, uint8_t fill) {
    Asked asked;
    asked.guarded = Filled(fill);
    asked.answer = host.Dispatch(DISP_GET_PIN_PROPERTIES, index, 0, &asked.guarded.record);
    return asked;
}

// Everything a host takes from a description, texts by content: what must not change between asks.
std::string Summary(const PinDescription& pin) {
    return std::to_string(pin.direction) + "|" + std::to_string(pin.datatype) + "|" + pin.name + "|" +
           pin.default_text.value_or("<none>") + "|" + pin.extra_text.value_or("<none>") + "|" +
           std::to_string(pin.flags);
}

void CheckAudioTexts(CheckContext& context, const PinDescription& pin, const std::string& label) {
    std::optional<PinRange> range;
    if (pin.extra_text) {
        range = ParseRangeText(*pin.extra_text);
        if (!range) context.Fail(label + ": range text \"" + *pin.extra_text + "\" is not four numbers");
    }
    if (pin.default_text) {
        auto value = ParseNumber(*pin.default_text);
        if (!value) {
            context.Fail(label + ": default \"" + *pin.default_text + "\" is not a number");
        } else if (range && pin.direction != PIN_OUT && (*value < range->Low() || *value > range->High())) {
            context.Warn(label + ": default " + *pin.default_text + " lies outside its range " + *pin.extra_text);
        }
    }
}

void CheckListTexts(CheckContext& context, const PinDescription& pin, const std::string& label) {
    if (!pin.extra_text) {
        context.Fail(label + ": a list pin without a list text");
        return;
    }
    auto choices = ParseListText(*pin.extra_text);
    if (!choices || choices->empty()) {
        context.Fail(label + ": list text \"" + *pin.extra_text + "\" is not name=value pairs");
        return;
    }
    std::set<int32_t> values;
    std::set<std::string> names;
    for (const auto& choice : *choices) {
        if (!values.insert(choice.value).second)
            context.Warn(label + ": list value " + std::to_string(choice.value) + " appears twice");
        if (!names.insert(choice.name).second)
            context.Warn(label + ": list name \"" + choice.name + "\" appears twice");
    }
    if (!pin.default_text) {
        if (!values.count(0)) context.Warn(label + ": no default, and 0 is none of its choices");
        return;
    }
    auto value = ParseListValue(*pin.default_text);
    if (!value) {
        context.Fail(label + ": default \"" + *pin.default_text + "\" is not a list value");
    } else if (!values.count(*value)) {
        context.Fail(label + ": default " + *pin.default_text + " is none of its choices (" + *pin.extra_text + ")");
    }
}

void CheckDescription(CheckContext& context, const PinDescription& pin) {
    std::string label = "pin " + std::to_string(pin.index) + (pin.name.empty() ? "" : " (" + pin.name + ")");
    if (!pin.raw.name || pin.name.empty()) context.Fail(label + ": no name");
    if (pin.direction != PIN_IN && pin.direction != PIN_OUT && pin.direction != PIN_SETTING) {
        context.Fail(label + ": unknown direction code " + std::to_string(pin.direction));
    }
    switch (pin.datatype) {
        case DT_FSAMPLE: CheckAudioTexts(context, pin, label); break;
        case DT_LIST: CheckListTexts(context, pin, label); break;
        case DT_BYTE:
        case DT_WORD32: break;
        default: context.Fail(label + ": unknown data type code " + std::to_string(pin.datatype));
    }
}

// Asks again over a record full of the host's bytes: each field must either keep them or come out as
// it did over a cleared record.
void CheckHostFieldsKept(CheckContext& context, HostInstance& host, const PinDescription& pin) {
    std::string label = "pin " + std::to_string(pin.index);
    context.Stage("DISP_GET_PIN_PROPERTIES " + std::to_string(pin.index) + " over the host's contents");
    Asked asked = Ask(host, pin.index, kHostByte);
    if (asked.answer == 0) {
        context.Fail(label + ": described over a cleared record but not over one holding the host's contents");
        return;
    }
    uint32_t host_word = kHostByte * 0x01010101u;
    for (int field = 0; field < 8; ++field) {
        uint32_t over_host = FieldWord(asked.guarded.record, field);
        uint32_t over_zero = FieldWord(pin.raw, field);
        if (field == kReservedField) {
            if (over_host != host_word) context.Warn(label + ": wrote the reserved field");
            continue;
        }
        if (over_host != host_word && over_host != over_zero) {
            context.Fail(label + ": " + kFieldNames[field] + " depends on what the host's record held");
        } else if (over_host == host_word && over_zero != 0) {
            context.Fail(label + ": " + kFieldNames[field] + " is written over a cleared record only");
        }
    }
    if (!GuardIntact(asked.guarded, kHostByte)) context.Fail(label + ": wrote past the end of the 32-byte record");
}

void CheckUndescribed(CheckContext& context, HostInstance& host, int32_t count) {
    for (int32_t index : {count, count + 1, count + 100, -1, -2, INT_MAX, INT_MIN}) {
        context.Stage("DISP_GET_PIN_PROPERTIES " + std::to_string(index) + " (not described)");
        for (uint8_t fill : {uint8_t{0}, kHostByte}) {
            Asked asked = Ask(host, index, fill);
            GuardedRecord untouched = Filled(fill);
            if (asked.answer != 0) {
                context.Fail("index " + std::to_string(index) + " lies past the described pins but answered " +
                             std::to_string(asked.answer));
                break;
            }
            if (std::memcmp(&asked.guarded, &untouched, sizeof untouched) != 0) {
                context.Fail("index " + std::to_string(index) + " answered 0 but the record was written");
                break;
            }
        }
    }
}

}  // namespace

void CheckPinDescriptions(CheckContext& context) {
    HostInstance host(context.Library());
    context.Stage("makeModule");
    if (!host.Create()) {
        context.Fail("makeModule(0, 1) answered null");
        return;
    }
    std::vector<PinDescription> pins;
    for (int32_t index = 0;; ++index) {
        if (index == HostInstance::kMaxDescribedPins) {
            context.Fail("describes pins without end (" + std::to_string(index) + " and more)");
            return;
        }
        context.Stage("DISP_GET_PIN_PROPERTIES " + std::to_string(index));
        Asked asked = Ask(host, index, 0);
        if (!GuardIntact(asked.guarded, 0)) {
            context.Fail("pin " + std::to_string(index) + ": wrote past the end of the 32-byte record");
        }
        if (asked.answer == 0) break;
        if (asked.answer != 1) {
            context.Warn("DISP_GET_PIN_PROPERTIES " + std::to_string(index) + " answered " +
                         std::to_string(asked.answer) + " rather than 1");
        }
        pins.push_back(CopyPinDescription(index, asked.guarded.record));
    }
    if (pins.empty()) context.Warn("describes no pins");

    std::string list;
    for (const auto& pin : pins) {
        CheckDescription(context, pin);
        CheckHostFieldsKept(context, host, pin);
        list += (list.empty() ? "" : ", ") + pin.name + " (" + DirectionName(pin.direction) + " " +
                DatatypeName(pin.datatype) + ")";
    }
    context.Info(std::to_string(pins.size()) + " pins: " + list);
    CheckUndescribed(context, host, static_cast<int32_t>(pins.size()));

    // The host may ask at any time and from any instance; the answers must not change.
    context.Stage("describing a second instance");
    HostInstance other(context.Library());
    if (!other.Create()) {
        context.Fail("a second makeModule(0, 1) answered null");
        return;
    }
    auto compare = [&](const std::vector<PinDescription>& again, const std::string& when) {
        if (again.size() != pins.size()) {
            context.Fail(when + ": " + std::to_string(again.size()) + " pins described instead of " +
                         std::to_string(pins.size()));
            return;
        }
        for (size_t i = 0; i < pins.size(); ++i) {
            if (Summary(again[i]) != Summary(pins[i])) {
                context.Fail(when + ": pin " + std::to_string(i) + " is described differently");
            }
        }
    };
    compare(other.DescribePins(), "a second instance");
    context.Stage("describing after DISP_OPEN");
    host.Wire(pins, kWiredBufferLength);
    host.Open();
    compare(host.DescribePins(), "after DISP_OPEN");
    context.Stage("DISP_CLOSE");
    host.Close();
    other.Close();
}

}  // namespace trhost::validate
