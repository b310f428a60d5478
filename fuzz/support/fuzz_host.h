// A minimal in-process host for fuzz targets: it creates instances with the library's makeModule and
// from then on reaches them only through the plug record, as the Tavrisk host does. It keeps a guarded
// buffer for every pin it reports, wires the module's pin-bound members, answers the module's
// callbacks, and checks after every block that the module wrote nothing outside it.
//
// One host serves one instance at a time, on the fuzzer's single thread.
#ifndef FUZZ_HOST_H
#define FUZZ_HOST_H

#include <cstdint>
#include <memory>
#include <vector>

#include "guarded_buffer.h"
#include "trmod_interface.h"

class FuzzHost {
public:
    // Descriptions asked for before the host gives up on a module that describes without end.
    static constexpr int32_t kMaxDescribedPins = 64;

    struct Pin {
        int32_t direction = 0;
        int32_t datatype = -1;
        void* member = nullptr;  // the module member the description named, or null
    };

    FuzzHost();
    ~FuzzHost();  // closes the instance if it is still alive
    FuzzHost(const FuzzHost&) = delete;
    FuzzHost& operator=(const FuzzHost&) = delete;

    // makeModule(index, kind, callback or null, handle), then the pin descriptions. False when no
    // instance came back (or one is alive already).
    bool Create(int32_t index, int32_t kind, bool with_callback);
    bool Alive() const { return m_record != nullptr; }
    TRMod_struct* Record() const { return m_record; }
    const std::vector<Pin>& Described() const { return m_described; }

    // Gives each of `pin_count` host pins a zeroed guarded buffer of `length` samples, writes the
    // buffer addresses into the described audio members and 0 into the list members, and answers
    // `pin_count` to HOST_GET_PIN_COUNT from now on.
    void Wire(int32_t pin_count, size_t length);
    int32_t PinCount() const { return m_pin_count; }
    size_t BufferLength() const { return m_length; }
    // The buffer of a host pin, or null for a pin the host keeps none for.
    GuardedBuffer* Buffer(int32_t pin);
    // Points a described audio member at nothing (an unwired pin) or back at its buffer.
    void SetMemberBuffer(int32_t pin, bool wired);
    // Writes a list value into a described list member.
    void SetListValue(int32_t pin, int16_t value);

    // The dispatcher entry, with the instance's record (DISP_CLOSE ends the instance).
    int32_t Dispatch(uint32_t opcode, int32_t index, int32_t value, void* ptr, float opt);
    void Close();

    // The process entry for one block, fenced: a block with offset >= 0 and count > 0 must lie inside
    // the buffers (the host never asks for more), and only the output pins' samples inside it may
    // change. Any other block must change nothing at all.
    void Process(int32_t offset, int32_t count);
    int32_t SendEvent(TREvent* event);

    uint32_t SampleClock() const { return m_sample_clock; }
    void AdvanceClock(uint32_t samples) { m_sample_clock += samples; }

    // The answer of the host callback to one request.
    int32_t Serve(TRMod_struct* record, int32_t opcode, int32_t index, int32_t value, void* ptr, float opt);

private:
    void Describe();

    TRMod_struct* m_record = nullptr;
    std::vector<Pin> m_described;
    std::vector<std::unique_ptr<GuardedBuffer>> m_buffers;  // one per host pin
    int32_t m_pin_count = 0;
    size_t m_length = 0;
    uint32_t m_sample_clock = 0;
};

// Ends the run with a message: libFuzzer reports it as a crash and keeps the input.
[[noreturn]] void FuzzFail(const char* what);

#endif  // FUZZ_HOST_H
