#include "tr_pin.h"

#include "tr_module_base.h"

void TRPin::Init(TRModule_base* module, int32_t index, int32_t datatype, void* variable) {
    m_module = module;
    m_index = index;
    m_datatype = datatype;
    m_variable = variable;
    m_state = PIN_STATE_STATIC;
    m_storage = 0;
    if (variable) return;  // the value lives in the module member

    switch (datatype) {
        case DT_LIST:
        case DT_BYTE:
        case DT_WORD32: m_variable = &m_storage; break;
        case DT_FSAMPLE:
            m_storage = static_cast<uint32_t>(module->CallHost(HOST_GET_PIN_BUFFER, index));
            m_variable = &m_storage;
            break;
        default: break;  // no value of its own
    }
}

void TRPin::ReceiveStatus(int32_t state) {
    m_state = state;
    if (m_module) m_module->OnPinStatusChanged(this);
    if (state == PIN_STATE_CHANGED) m_state = PIN_STATE_STATIC;
}

void TRPin::TransmitStatus(uint32_t sample_clock, int32_t state) {
    if (!m_module) return;
    m_module->CallHost(HOST_SET_PIN_STATUS, m_index, state,
                       reinterpret_cast<void*>(static_cast<uintptr_t>(sample_clock)));
}
