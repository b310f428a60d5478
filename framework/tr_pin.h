// One pin of one module instance, matching one of the pins the host keeps for it.
#ifndef TR_PIN_H
#define TR_PIN_H

#include <cstdint>

#include "trmod_interface.h"

class TRModule_base;

class TRPin {
public:
    // Leaves the pin empty: null variable, no owner, static. Init gives it its contents.
    TRPin() = default;
    virtual ~TRPin() = default;  // the pin owns no memory

    // Binds the pin to its module and value. With a null variable the pin gets storage of its own by
    // data type; a DT_FSAMPLE pin then asks the host for its buffer (HOST_GET_PIN_BUFFER).
    void Init(TRModule_base* module, int32_t index, int32_t datatype, void* variable);

    // A state reported by the host: stored, announced to the module, and PIN_STATE_CHANGED falls back
    // to PIN_STATE_STATIC once the module has been told.
    void ReceiveStatus(int32_t state);

    // Tells the host the pin is in `state` from `sample_clock` on. The pin's own state is unchanged: it
    // follows only what the host reports.
    void TransmitStatus(uint32_t sample_clock, int32_t state);

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
