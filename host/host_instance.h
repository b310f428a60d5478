// One module instance as the host keeps it: the record makeModule answered, the pins' buffers and
// values, the sample clock, and the host's side of the callback. Every callback the module makes is
// logged, so that tests and the validator can check what the module asked and in which order.
//
// Threads: an instance is driven from one thread at a time. Instances on different threads are
// independent; the callback finds its instance through the thread's current call into the module.
#ifndef TRHOST_HOST_INSTANCE_H
#define TRHOST_HOST_INSTANCE_H

#include <cstdint>
#include <map>
#include <vector>

#include "module_info.h"
#include "module_library.h"
#include "trmod_interface.h"

namespace trhost {

// One callback as the module made it.
struct HostCall {
    TRMod_struct* record = nullptr;  // the module's first argument
    int32_t opcode = 0;
    int32_t index = 0;
    int32_t value = 0;
    uint32_t ptr = 0;  // the address argument as a 32-bit number
    float opt = 0.0f;
    int32_t answer = 0;
    TRProcessEntry process_entry = nullptr;  // the record's `process` field when the call arrived
};

// A pin state the module announced with HOST_SET_PIN_STATUS.
struct PinStatusReport {
    int32_t pin = 0;
    int32_t state = 0;
    uint32_t sample_clock = 0;
};

// Called on the calling thread around every callback the host serves, so that a tool can tell the
// module's own work apart from the host's (allocation counting while a block runs). Either may be
// null. Process-wide; set it before any instance runs.
struct HostCallbackHooks {
    void (*enter)() = nullptr;
    void (*leave)() = nullptr;
};
void SetHostCallbackHooks(HostCallbackHooks hooks);

// How the host calls the module's entries (makeModule, the dispatcher, process and event): directly,
// unless a tool routes every call through a caller of its own, which gets the entry and its
// arguments as 32-bit words in order and answers the entry's 32-bit answer (0 for process). The
// validator calls them this way on a stack aligned otherwise than the host's own. Process-wide; null
// goes back to direct calls. Set it while no instance is in a call.
using EntryCaller = uint32_t (*)(const void* entry, const uint32_t* arguments, int32_t count);
void SetEntryCaller(EntryCaller caller);

class HostInstance {
public:
    // Pins asked for by DescribePins before giving up on a module that describes without end.
    static constexpr int32_t kMaxDescribedPins = 1024;

    explicit HostInstance(const ModuleLibrary& library);
    HostInstance(const HostInstance&) = delete;
    HostInstance& operator=(const HostInstance&) = delete;
    // Closes the instance if it is still alive.
    ~HostInstance();

    // makeModule(index, kind, callback, host_handle). False when it answered null. The host handle
    // defaults to a number unique to this instance.
    bool Create(int32_t index = 0, int32_t kind = TR_KIND_MODULE);
    bool Create(int32_t index, int32_t kind, uint32_t host_handle);
    bool Alive() const { return m_record != nullptr; }
    TRMod_struct* Record() const { return m_record; }
    uint32_t HostHandle() const { return m_host_handle; }

    // The dispatcher entry, with this instance's record. DISP_CLOSE goes through Close().
    int32_t Dispatch(uint32_t opcode, int32_t index = 0, int32_t value = 0, void* ptr = nullptr, float opt = 0.0f);
    void SetSampleRate(float hertz) { Dispatch(DISP_SET_SAMPLE_RATE, 0, 0, nullptr, hertz); }
    void SetBlockSize(int32_t samples) { Dispatch(DISP_SET_BLOCK_SIZE, 0, samples); }

    // Asks DISP_GET_PIN_PROPERTIES for 0, 1, ... with a zeroed record until the module answers 0.
    std::vector<PinDescription> DescribePins();

    // Gives every pin host storage: for each of `pin_count` pins a buffer of `buffer_length` floats
    // (zeroed), and for described pins with a member the buffer address, or the list default, written
    // into that member. The host then answers `pin_count` to HOST_GET_PIN_COUNT.
    void Wire(const std::vector<PinDescription>& pins, size_t buffer_length);
    void Wire(const std::vector<PinDescription>& pins, size_t buffer_length, int32_t pin_count);

    // The host buffer of a pin (null for a pin it keeps none for), and re-pointing a pin at another
    // buffer: the module's member and the HOST_GET_PIN_BUFFER answer both follow.
    float* Buffer(int32_t pin);
    void SetBuffer(int32_t pin, float* buffer);
    // Writes a list value into a DT_LIST pin's member.
    void SetListValue(int32_t pin, int16_t value);
    int32_t PinCount() const { return m_pin_count; }
    void SetPinCount(int32_t count) { m_pin_count = count; }

    int32_t Open() { return Dispatch(DISP_OPEN); }
    // DISP_CLOSE; the record is gone afterwards. Answers the module's answer (0 if not alive).
    int32_t Close();

    // Calls the record's current process entry with the record's object.
    void Process(int32_t offset, int32_t count);
    // Calls the record's event entry.
    int32_t SendEvent(TREvent* event);
    // A pin-status event at the current sample clock.
    int32_t SendPinStatus(int32_t pin, int32_t state);

    uint32_t SampleClock() const { return m_sample_clock; }
    void SetSampleClock(uint32_t clock) { m_sample_clock = clock; }
    void AdvanceClock(uint32_t samples) { m_sample_clock += samples; }

    // Everything the module asked of the host, in order.
    const std::vector<HostCall>& Calls() const { return m_calls; }
    void ClearCalls() { m_calls.clear(); }
    const std::vector<PinStatusReport>& StatusReports() const { return m_status_reports; }
    // Calls whose first argument was not this instance's record.
    int32_t ForeignRecordCalls() const { return m_foreign_record_calls; }

private:
    friend struct HostCallbackAccess;
    int32_t Serve(TRMod_struct* record, int32_t opcode, int32_t index, int32_t value, void* ptr, float opt);

    const ModuleLibrary& m_library;
    TRMod_struct* m_record = nullptr;
    uint32_t m_host_handle = 0;
    int32_t m_pin_count = 0;
    uint32_t m_sample_clock = 0;
    std::map<int32_t, std::vector<float>> m_buffers;  // host storage per pin index
    std::map<int32_t, float*> m_buffer_of_pin;        // what HOST_GET_PIN_BUFFER answers
    std::map<int32_t, void*> m_member_of_pin;         // the module member of a described pin
    std::map<int32_t, int32_t> m_datatype_of_pin;
    std::vector<HostCall> m_calls;
    std::vector<PinStatusReport> m_status_reports;
    int32_t m_foreign_record_calls = 0;
};

// The host callback every HostInstance hands to makeModule.
int32_t TR_CALL HostCallback(TRMod_struct* record, int32_t opcode, int32_t index, int32_t value, void* ptr, float opt);

}  // namespace trhost

#endif  // TRHOST_HOST_INSTANCE_H
