// A minimal host for white-box tests: serves the host callback for modules created with
// FakeHost::Callback, answers the pin count and sample clock it is given, and logs every call.
// One FakeHost is current at a time (the callback carries no context of its own but the record).
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
        uintptr_t ptr;
        float opt;
        TRProcessEntry process_at_call;  // the record's process field when the call arrived
    };

    FakeHost() { current_ = this; }
    ~FakeHost() { current_ = nullptr; }
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    static int32_t TR_CALL Callback(TRMod_struct* record, int32_t opcode, int32_t index, int32_t value, void* ptr,
                                    float opt) {
        FakeHost* host = current_;
        if (!host) return 0;
        host->calls.push_back(
            {record, opcode, index, value, reinterpret_cast<uintptr_t>(ptr), opt, record ? record->process : nullptr});
        switch (opcode) {
            case HOST_GET_PIN_COUNT: return host->pin_count;
            case HOST_GET_SAMPLE_CLOCK: return static_cast<int32_t>(host->sample_clock);
            default: return 0;
        }
    }

    std::vector<int32_t> Opcodes() const {
        std::vector<int32_t> result;
        for (const Call& c : calls) result.push_back(c.opcode);
        return result;
    }

    int32_t pin_count = 9;
    uint32_t sample_clock = 0;
    std::vector<Call> calls;

private:
    static inline FakeHost* current_ = nullptr;
};

#endif  // VEXLO_TESTS_FAKE_HOST_H
