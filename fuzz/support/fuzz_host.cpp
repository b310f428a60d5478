#include "fuzz_host.h"

#include <xmmintrin.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The library's export, linked into the fuzz target rather than loaded.
extern "C" TRMod_struct* TR_CALL makeModule(int32_t index, int32_t kind, TRHostCallback host_callback,
                                            uint32_t host_handle);

namespace {

// The host whose instance is being called; the fuzzer runs one life at a time on one thread.
FuzzHost* g_host = nullptr;

int32_t TR_CALL HostCallback(TRMod_struct* record, int32_t opcode, int32_t index, int32_t value, void* ptr, float opt) {
    if (!g_host) FuzzFail("host callback outside any call into the module");
    return g_host->Serve(record, opcode, index, value, ptr, opt);
}

// The control bits of both floating-point units: rounding, precision, exception masks, flush to zero.
// A module must leave them as the host set them. The sticky exception flags are not compared.
struct FloatControl {
    uint32_t mxcsr;
    uint16_t x87;

    static FloatControl Now() {
        FloatControl control;
        control.mxcsr = _mm_getcsr() & 0xFFC0u;
        __asm__ __volatile__("fnstcw %0" : "=m"(control.x87));
        return control;
    }
    bool operator==(const FloatControl&) const = default;
};

// Marks the host as the one being called and checks the floating-point control on the way out.
class HostCall {
public:
    explicit HostCall(FuzzHost* host) : m_control(FloatControl::Now()) { g_host = host; }
    ~HostCall() {
        g_host = nullptr;
        if (!(FloatControl::Now() == m_control)) FuzzFail("floating-point control changed by the module");
    }
    HostCall(const HostCall&) = delete;
    HostCall& operator=(const HostCall&) = delete;

private:
    FloatControl m_control;
};

}  // namespace

void FuzzFail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

FuzzHost::FuzzHost() = default;

FuzzHost::~FuzzHost() { Close(); }

bool FuzzHost::Create(int32_t index, int32_t kind, bool with_callback) {
    if (m_record) return false;
    {
        HostCall call(this);
        m_record = makeModule(index, kind, with_callback ? HostCallback : nullptr, 0x46555A5Au);
    }
    if (!m_record) return false;
    if (m_record->magic != TR_PLUG_MAGIC || !m_record->dispatcher || !m_record->process || !m_record->event) {
        FuzzFail("makeModule answered an incomplete record");
    }
    Describe();
    return true;
}

void FuzzHost::Describe() {
    m_described.clear();
    for (int32_t index = 0; index < kMaxDescribedPins; ++index) {
        PinProperties record;
        std::memset(&record, 0, sizeof record);
        if (!Dispatch(DISP_GET_PIN_PROPERTIES, index, 0, &record, 0.0f)) break;
        m_described.push_back({record.direction, record.datatype, record.variable_address});
    }
}

void FuzzHost::Wire(int32_t pin_count, size_t length) {
    m_pin_count = pin_count;
    m_length = length;
    m_buffers.clear();
    for (int32_t pin = 0; pin < pin_count; ++pin) {
        m_buffers.push_back(std::make_unique<GuardedBuffer>(length));
    }
    for (int32_t pin = 0; pin < static_cast<int32_t>(m_described.size()); ++pin) {
        SetMemberBuffer(pin, true);
        SetListValue(pin, 0);
    }
}

GuardedBuffer* FuzzHost::Buffer(int32_t pin) {
    if (pin < 0 || pin >= static_cast<int32_t>(m_buffers.size())) return nullptr;
    return m_buffers[pin].get();
}

void FuzzHost::SetMemberBuffer(int32_t pin, bool wired) {
    if (!m_record || pin < 0 || pin >= static_cast<int32_t>(m_described.size())) return;
    const Pin& described = m_described[pin];
    if (described.datatype != DT_FSAMPLE || !described.member) return;
    GuardedBuffer* buffer = wired ? Buffer(pin) : nullptr;
    float* address = buffer ? buffer->Data() : nullptr;
    std::memcpy(described.member, &address, sizeof address);
}

void FuzzHost::SetListValue(int32_t pin, int16_t value) {
    if (!m_record || pin < 0 || pin >= static_cast<int32_t>(m_described.size())) return;
    const Pin& described = m_described[pin];
    if (described.datatype != DT_LIST || !described.member) return;
    std::memcpy(described.member, &value, sizeof value);
}

int32_t FuzzHost::Dispatch(uint32_t opcode, int32_t index, int32_t value, void* ptr, float opt) {
    if (!m_record) return 0;
    if (opcode == DISP_CLOSE) {
        Close();
        return 1;
    }
    HostCall call(this);
    return m_record->dispatcher(m_record, static_cast<int32_t>(opcode), index, value, ptr, opt);
}

void FuzzHost::Close() {
    if (!m_record) return;
    TRMod_struct* record = m_record;
    int32_t answer;
    {
        HostCall call(this);
        answer = record->dispatcher(record, DISP_CLOSE, 0, 0, nullptr, 0.0f);
    }
    // The record is gone: the member addresses the descriptions named died with it.
    m_record = nullptr;
    m_described.clear();
    if (answer != 1) FuzzFail("DISP_CLOSE did not answer 1");
}

void FuzzHost::Process(int32_t offset, int32_t count) {
    if (!m_record) return;
    const bool writes = offset >= 0 && count > 0;
    size_t begin = 0, end = 0;
    if (writes) {
        if (static_cast<size_t>(offset) > m_length || static_cast<size_t>(count) > m_length - offset) {
            FuzzFail("the fuzzer asked for a block beyond the host's buffers");
        }
        begin = static_cast<size_t>(offset);
        end = begin + static_cast<size_t>(count);
    }

    std::vector<bool> is_output(m_buffers.size(), false);
    for (size_t pin = 0; pin < m_described.size() && pin < m_buffers.size(); ++pin) {
        is_output[pin] = m_described[pin].direction == PIN_OUT;
    }
    for (size_t pin = 0; pin < m_buffers.size(); ++pin) {
        m_buffers[pin]->Snapshot();
        m_buffers[pin]->Fence(begin, end);
    }
    {
        HostCall call(this);
        m_record->process(m_record->object, offset, count);
    }
    for (size_t pin = 0; pin < m_buffers.size(); ++pin) {
        m_buffers[pin]->Unfence();
        bool unchanged =
            is_output[pin] ? m_buffers[pin]->UnchangedOutside(begin, end) : m_buffers[pin]->UnchangedOutside(0, 0);
        if (!unchanged) FuzzFail("the module wrote outside its block or into an input");
    }
}

int32_t FuzzHost::SendEvent(TREvent* event) {
    if (!m_record) return 0;
    HostCall call(this);
    return m_record->event(m_record->object, event);
}

int32_t FuzzHost::Serve(TRMod_struct* record, int32_t opcode, int32_t index, int32_t, void*, float) {
    if (m_record && record != m_record) FuzzFail("a callback carried another record than its own");
    switch (opcode) {
        case HOST_GET_SAMPLE_CLOCK: return static_cast<int32_t>(m_sample_clock);
        case HOST_GET_PIN_BUFFER: {
            GuardedBuffer* buffer = Buffer(index);
            return static_cast<int32_t>(reinterpret_cast<uintptr_t>(buffer ? buffer->Data() : nullptr));
        }
        case HOST_GET_PIN_COUNT: return m_pin_count;
        case HOST_SET_PIN_STATUS:
        case HOST_PROCESS_FUNCTION_CHANGED:
        default: return 0;
    }
}
