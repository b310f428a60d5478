#include "fake_host.h"

FakeHost* FakeHost::s_current = nullptr;

FakeHost::FakeHost() : m_previous(s_current) { s_current = this; }
FakeHost::~FakeHost() { s_current = m_previous; }

int32_t TR_CALL FakeHost::Callback(TRMod_struct* record, int32_t opcode, int32_t index, int32_t value, void* ptr,
                                   float opt) {
    FakeHost* host = s_current;
    if (!host) return 0;
    host->calls.push_back({record, opcode, index, value, ptr, opt, record ? record->process : nullptr});
    switch (opcode) {
        case HOST_GET_PIN_COUNT: return host->pin_count;
        case HOST_GET_SAMPLE_CLOCK: return static_cast<int32_t>(host->sample_clock);
        case HOST_GET_PIN_BUFFER: return static_cast<int32_t>(BufferFor(index));
        default: return 0;
    }
}

std::vector<HostCall> FakeHost::CallsWith(int32_t opcode) const {
    std::vector<HostCall> found;
    for (const HostCall& call : calls) {
        if (call.opcode == opcode) found.push_back(call);
    }
    return found;
}
