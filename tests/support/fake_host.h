// A host callback for white-box tests of modules linked into the test: serves modules created with
// FakeHost::Callback, answers the pin count, the sample clock and pin buffers from settable values, and
// logs every call with the record's process entry as it stood at the moment of the call. The FakeHost
// made last is the one served (the callback carries no context of its own but the record); when it
// goes, the one before it is served again.
#ifndef VEXLO_TESTS_FAKE_HOST_H
#define VEXLO_TESTS_FAKE_HOST_H

#include <cstdint>
#include <vector>

#include "trmod_interface.h"

class FakeHost {
public:
    struct Call {
        TRMod_struct* record;
        int32_t opcode;
        int32_t index;
        int32_t value;
        void* ptr;
        float opt;
        TRProcessEntry process_at_call;  // the record's process field when the call arrived
    };

    FakeHost() : previous_(current_) { current_ = this; }
    ~FakeHost() { current_ = previous_; }
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    // The callback to hand to a module.
    static int32_t TR_CALL Callback(TRMod_struct* record, int32_t opcode, int32_t index, int32_t value, void* ptr,
                                    float opt) {
        FakeHost* host = current_;
        if (!host) return 0;
        host->calls.push_back({record, opcode, index, value, ptr, opt, record ? record->process : nullptr});
        switch (opcode) {
            case HOST_GET_PIN_COUNT: return host->pin_count;
            case HOST_GET_SAMPLE_CLOCK: return static_cast<int32_t>(host->sample_clock);
            case HOST_GET_PIN_BUFFER: return static_cast<int32_t>(BufferFor(index));
            default: return 0;
        }
    }

    // The buffer address the host answers for HOST_GET_PIN_BUFFER on pin `index` (never dereferenced).
    static uint32_t BufferFor(int32_t index) { return 0xB0000000u + 0x100u * static_cast<uint32_t>(index); }

    std::vector<int32_t> Opcodes() const {
        std::vector<int32_t> result;
        for (const Call& c : calls) result.push_back(c.opcode);
        return result;
    }

    std::vector<Call> CallsWith(int32_t opcode) const {
        std::vector<Call> found;
        for (const Call& call : calls) {
            if (call.opcode == opcode) found.push_back(call);
        }
        return found;
    }

    int32_t pin_count = 0;
    uint32_t sample_clock = 0;
    std::vector<Call> calls;

private:
    static inline FakeHost* current_ = nullptr;
    FakeHost* previous_;
};

#endif  // VEXLO_TESTS_FAKE_HOST_H
