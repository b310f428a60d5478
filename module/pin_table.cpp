// The nine pins VEXLO shows the host, and the members each one is bound to. The host reads a row by
// index, writes buffer addresses and list values into the named members, and the engine reads them
// there. Defaults and ranges are texts in volts (a sample value of 1.0 is 10 V); the module passes them
// through and never parses them.
#include "tr_pin_table.h"
#include "vexlo_module.h"
#include "waves/wave_list.h"

namespace {

// Flag bit the host gives meaning to on the In pin; the module never tests it.
constexpr int32_t kInPinHostFlag = 0x200;

constexpr TRPinRow kPinTable[VexloModule::kPinCount] = {
    {"In", PIN_IN, DT_FSAMPLE, "10", nullptr, true, kInPinHostFlag},
    {"Depth", PIN_IN, DT_FSAMPLE, "5", "10,0,10,0"},
    {"Offset", PIN_IN, DT_FSAMPLE, "0", "10,0,10,0"},
    {"Freq", PIN_IN, DT_FSAMPLE, "1", "20,.0001,20,.0001"},
    {"Phase", PIN_IN, DT_FSAMPLE, "0", "360,0,360,0"},
    {"Wave", PIN_IN, DT_LIST, "0", vexlo::kWaveListText.data()},
    {"Out", PIN_OUT, DT_FSAMPLE, nullptr, nullptr},
    {"Freq scale", PIN_SETTING, DT_LIST, "0", "Hz=0,kHz=1"},
    {"Depth scale", PIN_SETTING, DT_LIST, "0", "Absolute=0,Relative=1"},
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
    return TRDescribePin(kPinTable, kPinCount, index, PinMember(index), properties);
}
