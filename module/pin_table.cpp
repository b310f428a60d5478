// The nine pins VEXLO shows the host, and the members each one is bound to. The host reads a row by
// index, writes buffer addresses and list values into the named members, and the engine reads them
// there. Defaults and ranges are texts in volts (a sample value of 1.0 is 10 V); the module passes them
// through and never parses them.
#include <cstddef>

#include "vexlo_module.h"

namespace {

// One row. A null text, or writes_flags false, marks a field the row leaves as the caller had it.
struct PinRow {
    const char* name;
    int32_t direction;
    int32_t datatype;
    const char* default_value;
    const char* datatype_extra;
    bool writes_flags;
    int32_t flags;
};

// Flag bit the host gives meaning to on the In pin; the module never tests it.
constexpr int32_t kInPinHostFlag = 0x200;

constexpr PinRow kPinTable[VexloModule::kPinCount] = {
    {"In", PIN_IN, DT_FSAMPLE, "10", nullptr, true, kInPinHostFlag},
    {"Depth", PIN_IN, DT_FSAMPLE, "5", "10,0,10,0", false, 0},
    {"Offset", PIN_IN, DT_FSAMPLE, "0", "10,0,10,0", false, 0},
    {"Freq", PIN_IN, DT_FSAMPLE, "1", "20,.0001,20,.0001", false, 0},
    {"Phase", PIN_IN, DT_FSAMPLE, "0", "360,0,360,0", false, 0},
    {"Wave", PIN_IN, DT_LIST, "0", "sine=0,triangle=1,square=2", false, 0},
    {"Out", PIN_OUT, DT_FSAMPLE, nullptr, nullptr, false, 0},
    {"Freq scale", PIN_SETTING, DT_LIST, "0", "Hz=0,kHz=1", false, 0},
    {"Depth scale", PIN_SETTING, DT_LIST, "0", "Absolute=0,Relative=1", false, 0},
};

}  // namespace

void* VexloModule::PinMember(int32_t index) {
    switch (index) {
        case kPinIn: return &m_in;
        case kPinDepth: return &m_depth;
        case kPinOffset: return &m_offset;
        case kPinFreq: return &m_freq;
        case kPinPhase: return &m_phase;
        case kPinWave: return &m_wave;
        case kPinOut: return &m_out;
        case kPinFreqScale: return &m_freq_scale;
        case kPinDepthScale: return &m_depth_scale;
        default: return nullptr;
    }
}

bool VexloModule::GetPinProperties(int32_t index, PinProperties* properties) {
    // The index is a 32-bit pattern taken as unsigned: negative ones are very large.
    const auto row_index = static_cast<uint32_t>(index);
    if (row_index >= static_cast<uint32_t>(kPinCount) || !properties) return false;

    const PinRow& row = kPinTable[row_index];
    properties->variable_address = PinMember(index);
    properties->direction = row.direction;
    properties->datatype = row.datatype;
    properties->name = row.name;
    if (row.default_value) properties->default_value = row.default_value;
    if (row.datatype_extra) properties->datatype_extra = row.datatype_extra;
    if (row.writes_flags) properties->flags = row.flags;
    return true;
}
