// The fifteen pins MIXER shows the host, and the members each one is bound to. Defaults and ranges are
// texts in volts (a sample value of 1.0 is 10 V): a channel starts silent, at unity gain, centred.
#include "mixer_module.h"
#include "tr_pin_table.h"

namespace {

constexpr const char* kSignalRange = "10,-10,10,-10";
constexpr const char* kGainRange = "20,-20,20,-20";

constexpr TRPinRow kPinTable[MixerModule::kPinCount] = {
    {"In 1", PIN_IN, DT_FSAMPLE, "0", kSignalRange},  {"Gain 1", PIN_IN, DT_FSAMPLE, "10", kGainRange},
    {"Pan 1", PIN_IN, DT_FSAMPLE, "0", kSignalRange}, {"In 2", PIN_IN, DT_FSAMPLE, "0", kSignalRange},
    {"Gain 2", PIN_IN, DT_FSAMPLE, "10", kGainRange}, {"Pan 2", PIN_IN, DT_FSAMPLE, "0", kSignalRange},
    {"In 3", PIN_IN, DT_FSAMPLE, "0", kSignalRange},  {"Gain 3", PIN_IN, DT_FSAMPLE, "10", kGainRange},
    {"Pan 3", PIN_IN, DT_FSAMPLE, "0", kSignalRange}, {"In 4", PIN_IN, DT_FSAMPLE, "0", kSignalRange},
    {"Gain 4", PIN_IN, DT_FSAMPLE, "10", kGainRange}, {"Pan 4", PIN_IN, DT_FSAMPLE, "0", kSignalRange},
    {"Mix", PIN_OUT, DT_FSAMPLE, nullptr, nullptr},   {"Left", PIN_OUT, DT_FSAMPLE, nullptr, nullptr},
    {"Right", PIN_OUT, DT_FSAMPLE, nullptr, nullptr},
};

}  // namespace

void* MixerModule::PinMember(int32_t index) {
    if (index >= 0 && index < kPinMix) {
        Channel& channel = m_channels[index / 3];
        switch (index % 3) {
            case 0: return &channel.in;
            case 1: return &channel.gain;
            default: return &channel.pan;
        }
    }
    switch (index) {
        case kPinMix: return &m_mix;
        case kPinLeft: return &m_left;
        case kPinRight: return &m_right;
        default: return nullptr;
    }
}

bool MixerModule::GetPinProperties(int32_t index, PinProperties* properties) {
    return TRDescribePin(kPinTable, kPinCount, index, PinMember(index), properties);
}
