#include "host_instance.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <type_traits>

#include "pin_text.h"

namespace trhost {

namespace {

// The instance whose call into the module is running on this thread: the callback belongs to it.
thread_local HostInstance* t_current = nullptr;

// Instances by record, for callbacks that arrive outside a call into the module.
std::mutex g_registry_mutex;
std::map<TRMod_struct*, HostInstance*> g_registry;

std::atomic<uint32_t> g_next_host_handle{0x484F0001u};

HostCallbackHooks g_hooks;

class HookedCallback {
public:
    HookedCallback() {
        if (g_hooks.enter) g_hooks.enter();
    }
    ~HookedCallback() {
        if (g_hooks.leave) g_hooks.leave();
    }
    HookedCallback(const HookedCallback&) = delete;
    HookedCallback& operator=(const HookedCallback&) = delete;
};

class CurrentInstance {
public:
    explicit CurrentInstance(HostInstance* instance) : m_previous(t_current) { t_current = instance; }
    ~CurrentInstance() { t_current = m_previous; }
    CurrentInstance(const CurrentInstance&) = delete;
    CurrentInstance& operator=(const CurrentInstance&) = delete;

private:
    HostInstance* m_previous;
};

}  // namespace

void SetHostCallbackHooks(HostCallbackHooks hooks) { g_hooks = hooks; }

namespace {

EntryCaller g_entry_caller = nullptr;

template <class T>
uint32_t Word(T value) {
    static_assert(sizeof(T) == sizeof(uint32_t));
    uint32_t word;
    std::memcpy(&word, &value, sizeof word);
    return word;
}

// Calls `entry` with `arguments` directly, or through the tool's caller.
template <class Answer, class Entry, class... Arguments>
Answer CallEntry(Entry entry, Arguments... arguments) {
    if (!g_entry_caller) return entry(arguments...);
    const uint32_t words[] = {Word(arguments)...};
    uint32_t answer = g_entry_caller(reinterpret_cast<const void*>(entry), words, sizeof...(arguments));
    if constexpr (std::is_pointer_v<Answer>) {
        return reinterpret_cast<Answer>(static_cast<uintptr_t>(answer));
    } else {
        return static_cast<Answer>(answer);
    }
}

}  // namespace

void SetEntryCaller(EntryCaller caller) { g_entry_caller = caller; }

struct HostCallbackAccess {
    static int32_t Serve(HostInstance* instance, TRMod_struct* record, int32_t opcode, int32_t index, int32_t value,
                         void* ptr, float opt) {
        return instance->Serve(record, opcode, index, value, ptr, opt);
    }
};

int32_t TR_CALL HostCallback(TRMod_struct* record, int32_t opcode, int32_t index, int32_t value, void* ptr, float opt) {
    HookedCallback hooked;
    HostInstance* instance = t_current;
    if (!instance) {
        std::lock_guard<std::mutex> lock(g_registry_mutex);
        auto found = g_registry.find(record);
        if (found != g_registry.end()) instance = found->second;
    }
    if (!instance) return 0;
    return HostCallbackAccess::Serve(instance, record, opcode, index, value, ptr, opt);
}

HostInstance::HostInstance(const ModuleLibrary& library) : m_library(library) {}

HostInstance::~HostInstance() { Close(); }

bool HostInstance::Create(int32_t index, int32_t kind) { return Create(index, kind, g_next_host_handle.fetch_add(1)); }

bool HostInstance::Create(int32_t index, int32_t kind, uint32_t host_handle) {
    if (m_record) return false;
    m_host_handle = host_handle;
    {
        CurrentInstance current(this);
        m_record = CallEntry<TRMod_struct*>(m_library.MakeModule(), index, kind, &HostCallback, host_handle);
    }
    if (m_record) {
        std::lock_guard<std::mutex> lock(g_registry_mutex);
        g_registry[m_record] = this;
    }
    return m_record != nullptr;
}

int32_t HostInstance::Dispatch(uint32_t opcode, int32_t index, int32_t value, void* ptr, float opt) {
    if (!m_record) return 0;
    if (opcode == DISP_CLOSE) return Close();
    CurrentInstance current(this);
    return CallEntry<int32_t>(m_record->dispatcher, m_record, static_cast<int32_t>(opcode), index, value, ptr, opt);
}

int32_t HostInstance::Close() {
    if (!m_record) return 0;
    TRMod_struct* record = m_record;
    int32_t answer;
    {
        CurrentInstance current(this);
        answer = CallEntry<int32_t>(record->dispatcher, record, static_cast<int32_t>(DISP_CLOSE), int32_t{0}, int32_t{0},
                                    static_cast<void*>(nullptr), 0.0f);
    }
    {
        std::lock_guard<std::mutex> lock(g_registry_mutex);
        g_registry.erase(record);
    }
    m_record = nullptr;
    return answer;
}

std::vector<PinDescription> HostInstance::DescribePins() {
    std::vector<PinDescription> pins;
    for (int32_t index = 0; index < kMaxDescribedPins; ++index) {
        PinProperties record;
        std::memset(&record, 0, sizeof record);
        if (!Dispatch(DISP_GET_PIN_PROPERTIES, index, 0, &record)) break;
        pins.push_back(CopyPinDescription(index, record));
    }
    return pins;
}

void HostInstance::Wire(const std::vector<PinDescription>& pins, size_t buffer_length) {
    Wire(pins, buffer_length, static_cast<int32_t>(pins.size()));
}

void HostInstance::Wire(const std::vector<PinDescription>& pins, size_t buffer_length, int32_t pin_count) {
    m_pin_count = pin_count;
    m_buffers.clear();
    m_buffer_of_pin.clear();
    m_member_of_pin.clear();
    m_datatype_of_pin.clear();
    for (int32_t pin = 0; pin < pin_count; ++pin) {
        m_buffers[pin].assign(buffer_length, 0.0f);
        m_buffer_of_pin[pin] = m_buffers[pin].data();
    }
    for (const auto& pin : pins) {
        if (pin.index >= pin_count) continue;
        m_datatype_of_pin[pin.index] = pin.datatype;
        if (!pin.variable_address) continue;
        m_member_of_pin[pin.index] = pin.variable_address;
        if (pin.datatype == DT_FSAMPLE) {
            SetBuffer(pin.index, m_buffers[pin.index].data());
        } else if (pin.datatype == DT_LIST) {
            int32_t value = 0;
            if (pin.default_text) {
                if (auto parsed = ParseListValue(*pin.default_text)) value = *parsed;
            }
            SetListValue(pin.index, static_cast<int16_t>(value));
        }
    }
}

float* HostInstance::Buffer(int32_t pin) {
    auto found = m_buffer_of_pin.find(pin);
    return found == m_buffer_of_pin.end() ? nullptr : found->second;
}

void HostInstance::SetBuffer(int32_t pin, float* buffer) {
    m_buffer_of_pin[pin] = buffer;
    auto member = m_member_of_pin.find(pin);
    if (member != m_member_of_pin.end() && m_datatype_of_pin[pin] == DT_FSAMPLE) {
        std::memcpy(member->second, &buffer, sizeof buffer);
    }
}

void HostInstance::SetListValue(int32_t pin, int16_t value) {
    auto member = m_member_of_pin.find(pin);
    if (member != m_member_of_pin.end()) std::memcpy(member->second, &value, sizeof value);
}

void HostInstance::Process(int32_t offset, int32_t count) {
    if (!m_record) return;
    CurrentInstance current(this);
    if (!g_entry_caller) {
        m_record->process(m_record->object, offset, count);
        return;
    }
    const uint32_t words[] = {Word(m_record->object), Word(offset), Word(count)};
    g_entry_caller(reinterpret_cast<const void*>(m_record->process), words, 3);
}

int32_t HostInstance::SendEvent(TREvent* event) {
    if (!m_record) return 0;
    CurrentInstance current(this);
    return CallEntry<int32_t>(m_record->event, m_record->object, event);
}

int32_t HostInstance::SendPinStatus(int32_t pin, int32_t state) {
    TREvent event{};
    event.time_stamp = m_sample_clock;
    event.event_type = EVT_PIN_STATUS;
    event.int_param1 = state;
    event.ptr_param = reinterpret_cast<void*>(static_cast<uintptr_t>(pin));
    return SendEvent(&event);
}

int32_t HostInstance::Serve(TRMod_struct* record, int32_t opcode, int32_t index, int32_t value, void* ptr, float opt) {
    if (record != m_record) ++m_foreign_record_calls;
    int32_t answer = 0;
    switch (opcode) {
        case HOST_SET_PIN_STATUS:
            m_status_reports.push_back({index, value, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ptr))});
            break;
        case HOST_GET_SAMPLE_CLOCK: answer = static_cast<int32_t>(m_sample_clock); break;
        case HOST_GET_PIN_BUFFER: answer = static_cast<int32_t>(reinterpret_cast<uintptr_t>(Buffer(index))); break;
        case HOST_GET_PIN_COUNT: answer = m_pin_count; break;
        case HOST_PROCESS_FUNCTION_CHANGED:
        default: break;
    }
    m_calls.push_back({record, opcode, index, value, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ptr)), opt,
                       answer, m_record ? m_record->process : nullptr});
    return answer;
}

}  // namespace trhost
