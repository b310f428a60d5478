#include "mixer_module.h"

#include <initializer_list>

#include "pan_law.h"
#include "tr_process_routine.h"

MixerModule::MixerModule(TRHostCallback host_callback, uint32_t host_handle)
    : TRModule_base(host_callback, host_handle) {}

void MixerModule::Open() {
    SetProcessFunction(TRProcessRoutine<MixerModule, &MixerModule::Process>);
    TRModule_base::Open();
    for (int32_t pin : {kPinMix, kPinLeft, kPinRight}) AnnouncePinState(pin, PIN_STATE_RUNNING);
}

void MixerModule::Process(int32_t offset, int32_t count) {
    for (const Channel& channel : m_channels) {
        if (!channel.in || !channel.gain || !channel.pan) return;
    }
    if (!m_mix || !m_left || !m_right || !TRProcessableBlock(offset, count)) return;

    const int32_t end = offset + count;
    for (int32_t i = offset; i < end; ++i) {
        // Several inputs may share one buffer (one source wired to two of them), and are only read;
        // each output has a buffer of its own, which no input of this module shares.
        double mix = 0.0, left = 0.0, right = 0.0;
        for (const Channel& channel : m_channels) {
            const double signal = static_cast<double>(channel.in[i]) * channel.gain[i];
            const companions::PanGains pan = companions::PanLaw(channel.pan[i]);
            mix += signal;
            left += signal * pan.left;
            right += signal * pan.right;
        }
        m_mix[i] = static_cast<float>(mix);
        m_left[i] = static_cast<float>(left);
        m_right[i] = static_cast<float>(right);
    }
}
