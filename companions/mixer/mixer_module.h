// MIXER: four channels, each an input with a gain (a VCA) and a pan, into a mono sum and a stereo pair.
//
//   Mix   = sum of In k x Gain k
//   Left  = sum of In k x Gain k x left(Pan k),  Right = the same with right(Pan k)
//
// Gain is linear, 10 V to unity, and may be negative (inverted); Pan runs from -10 V (hard left) to
// 10 V (hard right) by the constant-power law of pan_law.h. Each output is the sum carried in double
// and rounded once, so a channel alone at unity gain is an exact copy of its input. Nothing is
// allocated; one thread at a time per instance (the host's).
#ifndef COMPANIONS_MIXER_MIXER_MODULE_H
#define COMPANIONS_MIXER_MIXER_MODULE_H

#include <cstdint>

#include "tr_module_base.h"

class MixerModule : public TRModule_base {
public:
    static constexpr int32_t kChannels = 4;
    // Pins: In, Gain and Pan of channel k (0-based) at 3k, 3k + 1, 3k + 2; then the three outputs.
    enum Pin : int32_t {
        kPinFirstChannel = 0,
        kPinMix = 3 * kChannels,
        kPinLeft,
        kPinRight,
        kPinCount,
    };
    static int32_t InPin(int32_t channel) { return 3 * channel; }
    static int32_t GainPin(int32_t channel) { return 3 * channel + 1; }
    static int32_t PanPin(int32_t channel) { return 3 * channel + 2; }

    MixerModule(TRHostCallback host_callback, uint32_t host_handle);

    // Names the process routine, builds the pins and marks the outputs as running.
    void Open() override;
    bool GetPinProperties(int32_t index, PinProperties* properties) override;

    // Produces `count` samples at `offset` of the pin buffers. A block that cannot be processed (an
    // unwired buffer, a negative offset, an end beyond 32 bits) writes nothing.
    void Process(int32_t offset, int32_t count);

private:
    void* PinMember(int32_t index);

    struct Channel {
        float* in = nullptr;    // In buffer (1.0 = 10 V)
        float* gain = nullptr;  // Gain buffer (1.0 = 10 V = unity)
        float* pan = nullptr;   // Pan buffer (-1.0 hard left .. 1.0 hard right)
    };
    // Pin-bound members, written by the host, read by the module.
    Channel m_channels[kChannels];
    float* m_mix = nullptr;    // Mix buffer
    float* m_left = nullptr;   // Left buffer
    float* m_right = nullptr;  // Right buffer
};

#endif  // COMPANIONS_MIXER_MIXER_MODULE_H
