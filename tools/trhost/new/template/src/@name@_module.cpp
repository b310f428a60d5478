#include "@name@_module.h"

#include "tr_process_routine.h"

@Class@::@Class@(TRHostCallback host_callback, uint32_t host_handle)
    : TRModule_base(host_callback, host_handle) {}

void @Class@::Open() {
    SetProcessFunction(TRProcessRoutine<@Class@, &@Class@::Process>);
    TRModule_base::Open();
    AnnouncePinState(kPinOut, PIN_STATE_RUNNING);
}

void @Class@::Process(int32_t offset, int32_t count) {
    if (!m_in || !m_gain || !m_out || !TRProcessableBlock(offset, count)) return;
    const int32_t end = offset + count;
    for (int32_t i = offset; i < end; ++i) m_out[i] = m_in[i] * m_gain[i];
}
