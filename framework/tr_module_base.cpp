#include "tr_module_base.h"

#include <cstring>
#include <limits>
#include <new>

#include "tr_assert.h"

namespace {

const char kSource[] = "TRModule_base";

// The lines at which each check reports; hosts' logs and the module's documentation refer to them.
constexpr int kLineOpcode7 = 91;
constexpr int kLineOpcode10 = 105;
constexpr int kLinePinsBuilt = 123;
constexpr int kLinePinIndex = 124;
constexpr int kLineEventTime = 238;

// No host keeps anywhere near this many pins for one instance; a larger count would take more than a
// gigabyte of the 32-bit address space, so it is treated like an array that cannot be allocated.
constexpr int32_t kMaxPins = static_cast<int32_t>(std::numeric_limits<int32_t>::max() / sizeof(TRPin) / 2);

}  // namespace

TRModule_base::TRModule_base(TRHostCallback host_callback, uint32_t host_handle) : m_host_callback(host_callback) {
    std::memset(&m_plug, 0, sizeof m_plug);
    m_plug.magic = TR_PLUG_MAGIC;
    m_plug.version = TR_PLUG_VERSION;
    m_plug.host_handle = host_handle;
    m_plug.object = this;
    m_plug.dispatcher = DispatcherEntry;
    m_plug.process = m_process_function;
    m_plug.event = EventEntry;
}

TRModule_base::~TRModule_base() { ReleasePins(); }

void TRModule_base::ReleasePins() {
    delete[] m_pins;
    m_pins = nullptr;
    m_pin_count = 0;
}

void TRModule_base::OnPinStatusChanged(TRPin*) {}

int32_t TRModule_base::HandleEvent(TREvent* e) {
    if (!e) return 0;
    if (e->time_stamp != SampleClock()) {
        TRAssertFailed("e->time_stamp == SampleClock()", kSource, kLineEventTime);
    }
    switch (e->event_type) {
        case EVT_PIN_STATUS: {
            auto index = static_cast<int32_t>(reinterpret_cast<uintptr_t>(e->ptr_param));
            if (TRPin* pin = GetPin(index)) {
                pin->ReceiveStatus(e->int_param1);
            }
            break;
        }
        case EVT_DATA: OnDataEvent(e->time_stamp, e->int_param1, static_cast<uint16_t>(e->int_param2 & 0xFFFF)); break;
        case EVT_RUN_ROUTINE:
            if (e->ptr_param) {
                reinterpret_cast<TRModuleRoutine>(e->ptr_param)(m_plug.object);
            }
            break;
        default: break;
    }
    return 0;
}

int32_t TRModule_base::Dispatch(uint32_t opcode, int32_t index, int32_t value, void* ptr, float opt) {
    switch (opcode) {
        case DISP_OPEN: Open(); return 0;
        case DISP_CLOSE:
            // The record this call came through dies here: nothing may touch the instance afterwards.
            Close();
            delete this;
            return 1;
        case DISP_SET_SAMPLE_RATE: SetSampleRate(opt); return 0;
        case DISP_SET_BLOCK_SIZE: SetBlockSize(value); return 0;
        case DISP_GET_PIN_PROPERTIES:
            if (!ptr) return 0;
            return GetPinProperties(index, static_cast<PinProperties*>(ptr)) ? 1 : 0;
        case DISP_FORBIDDEN_7: TRAssertFailed("false", kSource, kLineOpcode7); return 0;
        case DISP_NOTIFY: OnHostNotify(); return 0;
        case DISP_FORBIDDEN_10: TRAssertFailed("false", kSource, kLineOpcode10); return 0;
        case DISP_INDEXED_NOTIFY: OnHostIndexedNotify(index, ptr); return 0;
        default: return 0;
    }
}

void TRModule_base::Open() {
    // A second open replaces the pins of the first.
    ReleasePins();

    int32_t count = CallHost(HOST_GET_PIN_COUNT);
    if (count < 0) count = 0;
    if (count > kMaxPins) return;  // cannot be allocated: the module runs without pins
    m_pins = new (std::nothrow) TRPin[static_cast<size_t>(count)];
    if (!m_pins) return;
    m_pin_count = count;

    PinProperties record;
    auto describe = [&](int32_t index) {
        std::memset(&record, 0, sizeof record);
        return GetPinProperties(index, &record);
    };

    int32_t i = 0;
    bool described = describe(0);
    while (described && i < count) {
        m_pins[i].Init(this, i, record.datatype, record.variable_address);
        ++i;
        described = describe(i);
    }

    // The last described pin decides whether the remaining host pins repeat it.
    describe(i - 1);
    if (record.flags & PIN_FLAG_REPEAT) {
        for (int32_t j = i; j < count; ++j) {
            m_pins[j].Init(this, j, record.datatype, nullptr);
        }
    }
}

void TRModule_base::Close() {}
void TRModule_base::ReservedA(int32_t, int32_t) {}
void TRModule_base::SetSampleRate(float sample_rate) { m_host_sample_rate = sample_rate; }
void TRModule_base::SetBlockSize(int32_t block_size) { m_host_block_size = block_size; }
float TRModule_base::GetSampleRate() { return m_host_sample_rate; }
int32_t TRModule_base::GetBlockSize() { return m_host_block_size; }
bool TRModule_base::GetPinProperties(int32_t, PinProperties*) { return false; }
bool TRModule_base::ReservedB(int32_t) { return false; }
bool TRModule_base::ReservedC(int32_t) { return false; }
void TRModule_base::OnHostNotify() {}
void TRModule_base::OnDataEvent(uint32_t, int32_t, uint16_t) {}
void TRModule_base::OnHostIndexedNotify(int32_t, void*) {}

int32_t TRModule_base::CallHost(int32_t opcode, int32_t index, int32_t value, void* ptr, float opt) {
    if (!m_host_callback) return 0;
    return m_host_callback(&m_plug, opcode, index, value, ptr, opt);
}

uint32_t TRModule_base::SampleClock() { return static_cast<uint32_t>(CallHost(HOST_GET_SAMPLE_CLOCK)); }

void TRModule_base::SetProcessFunction(TRProcessEntry routine) {
    m_process_function = routine;
    m_plug.process = routine;
    CallHost(HOST_PROCESS_FUNCTION_CHANGED);
}

TRPin* TRModule_base::GetPin(int32_t index) {
    if (!m_pins) {
        TRAssertFailed("m_pins != 0", kSource, kLinePinsBuilt);
        return nullptr;
    }
    if (index < 0 || index >= m_pin_count) {
        TRAssertFailed("index >= 0 && index < m_pin_count", kSource, kLinePinIndex);
        return nullptr;
    }
    return &m_pins[index];
}

void TRModule_base::AnnouncePinState(int32_t index, int32_t state) {
    const uint32_t clock = SampleClock();
    if (index < 0 || index >= m_pin_count) return;
    m_pins[index].TransmitStatus(clock, state);
}

int32_t TR_CALL TRModule_base::DispatcherEntry(TRMod_struct* record, int32_t opcode, int32_t index, int32_t value,
                                               void* ptr, float opt) {
    if (!record || !record->object) return 0;
    return FromObject(record->object)->Dispatch(static_cast<uint32_t>(opcode), index, value, ptr, opt);
}

int32_t TR_CALL TRModule_base::EventEntry(void* object, TREvent* event) {
    if (!object || !event) return 0;
    return FromObject(object)->HandleEvent(event);
}

void TR_CALL TRModule_base::NoProcess(void*, int32_t, int32_t) {}
