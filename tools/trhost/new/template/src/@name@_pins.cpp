// The pins @NAME@ shows the host, and the member each one is bound to. Defaults and ranges are texts
// in volts (a sample value of 1.0 is 10 V) that the module passes on and never parses.
#include "@name@_module.h"
#include "tr_pin_table.h"

namespace {

constexpr TRPinRow kPinTable[@Class@::kPinCount] = {
    {"In", PIN_IN, DT_FSAMPLE, "0", "10,-10,10,-10"},
    {"Gain", PIN_IN, DT_FSAMPLE, "10", "10,0,10,0"},
    {"Out", PIN_OUT, DT_FSAMPLE, nullptr, nullptr},
};

}  // namespace

void* @Class@::PinMember(int32_t index) {
    switch (index) {
        case kPinIn: return &m_in;
        case kPinGain: return &m_gain;
        case kPinOut: return &m_out;
        default: return nullptr;
    }
}

bool @Class@::GetPinProperties(int32_t index, PinProperties* properties) {
    return TRDescribePin(kPinTable, kPinCount, index, PinMember(index), properties);
}
