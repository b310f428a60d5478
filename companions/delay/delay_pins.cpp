// The six pins DELAY shows the host, and the members each one is bound to. Defaults and ranges are
// texts in volts (a sample value of 1.0 is 10 V).
#include "delay_module.h"
#include "tr_pin_table.h"

namespace {

constexpr TRPinRow kPinTable[DelayModule::kPinCount] = {
    {"In", PIN_IN, DT_FSAMPLE, "0", "10,-10,10,-10"},
    {"Time", PIN_IN, DT_FSAMPLE, "10", "1000,0,1000,0"},  // milliseconds
    {"Feedback", PIN_IN, DT_FSAMPLE, "0", "9.9,-9.9,9.9,-9.9"},
    {"Mix", PIN_IN, DT_FSAMPLE, "5", "10,0,10,0"},
    {"Out", PIN_OUT, DT_FSAMPLE, nullptr, nullptr},
    {"Max delay", PIN_SETTING, DT_LIST, "1000", "10 ms=10,100 ms=100,1 s=1000,10 s=10000"},
};

}  // namespace

void* DelayModule::PinMember(int32_t index) {
    switch (index) {
        case kPinIn: return &m_in;
        case kPinTime: return &m_time;
        case kPinFeedback: return &m_feedback;
        case kPinMix: return &m_mix;
        case kPinOut: return &m_out;
        case kPinMaxDelay: return &m_max_delay_ms;
        default: return nullptr;
    }
}

bool DelayModule::GetPinProperties(int32_t index, PinProperties* properties) {
    return TRDescribePin(kPinTable, kPinCount, index, PinMember(index), properties);
}
