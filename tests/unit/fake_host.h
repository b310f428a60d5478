// A host callback for unit tests: answers the five requests a module makes from settable values and
// logs every call, with the record's process entry as it stood at the moment of the call.
#ifndef FAKE_HOST_H
#define FAKE_HOST_H

#include <cstdint>
#include <vector>

#include "trmod_interface.h"

struct HostCall {
    TRMod_struct* record;
    int32_t opcode;
    int32_t index;
    int32_t value;
    void* ptr;
    float opt;
    TRProcessEntry process_at_call;  // record->process when the call arrived
};

class FakeHost {
public:
    FakeHost();
    ~FakeHost();

    // The callback to hand to a module. It serves whichever FakeHost was made last.
    static int32_t TR_CALL Callback(TRMod_struct* record, int32_t opcode, int32_t index, int32_t value, void* ptr,
                                    float opt);

    // The buffer address the host answers for HOST_GET_PIN_BUFFER on pin `index` (never dereferenced).
    static uint32_t BufferFor(int32_t index) { return 0xB0000000u + 0x100u * static_cast<uint32_t>(index); }

    std::vector<HostCall> CallsWith(int32_t opcode) const;

    int32_t pin_count = 0;
    uint32_t sample_clock = 0;
    std::vector<HostCall> calls;

private:
    static FakeHost* s_current;
    FakeHost* m_previous;
};

#endif  // FAKE_HOST_H
