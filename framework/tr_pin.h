// One pin of one module instance, matching one of the pins the host keeps for it. The base's Open
// builds one per host pin, in an array the instance owns, and deletes them when the instance is closed.
// A pin owns no memory: its value lives in the module member its description names, or in the pin's
// own storage, and a sample buffer is always the host's.
#ifndef TR_PIN_H
#define TR_PIN_H

#include <cstdint>

#include "trmod_interface.h"

class TRModule_base;

class TRPin {
public:
    // Leaves the pin empty: null variable, no owner, static. Init gives it its contents. Called by the
    // base's Open when it makes the pin array.
    TRPin() = default;
    virtual ~TRPin() = default;  // the pin owns no memory

    // Called by the base's Open, once per pin, on the host's calling thread. Binds the pin to its module
    // (not owned) and value. With a null variable the pin gets storage of its own by data type; a
    // DT_FSAMPLE pin then asks the host for its buffer (HOST_GET_PIN_BUFFER) and stores the answer as
    // given: the buffer is the host's.
    void Init(TRModule_base* module, int32_t index, int32_t datatype, void* variable);

    // Called by the module's HandleEvent for an EVT_PIN_STATUS event, on the audio thread, between
    // process calls. A state reported by the host: stored, announced to the module (OnPinStatusChanged),
    // and PIN_STATE_CHANGED falls back to PIN_STATE_STATIC once the module has been told.
    void ReceiveStatus(int32_t state);

    // Tells the host the pin is in `state` from `sample_clock` on (HOST_SET_PIN_STATUS), on the calling
    // thread. The pin's own state is unchanged: it follows only what the host reports. A module calls
    // its base's AnnouncePinState, which stamps the current sample clock.
    void TransmitStatus(uint32_t sample_clock, int32_t state);

    // Where the pin's value lives (the module member, the pin's own storage, or null), its index, its
    // state as the host last reported it, and its data type.
    void* Variable() const { return m_variable; }
    int32_t Index() const { return m_index; }
    int32_t State() const { return m_state; }
    int32_t Datatype() const { return m_datatype; }

private:
    void* m_variable = nullptr;         // the module member, m_storage, or null
    TRModule_base* m_module = nullptr;  // owner; not owned by the pin
    int32_t m_index = -1;               // the host's pin index
    int32_t m_state = PIN_STATE_STATIC;
    int32_t m_datatype = -1;  // DT_* code from the description; -1 until Init
    uint32_t m_storage = 0;   // own storage: list value, byte, buffer address or word
};

#endif  // TR_PIN_H
