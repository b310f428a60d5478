// DELAY: a modulated delay line with feedback and a dry/wet mix.
//
//   wet = In delayed by Time (fractional, Catmull-Rom), fed back through Feedback
//   Out = (1 - Mix) x In + Mix x wet
//
// Time is an audio-rate input, 1 V to the millisecond, so that a VEXLO's output (Offset as the delay,
// Depth as its variation) drives it directly; the longest delay is the Max delay setting, read when
// the module opens. One thread at a time per instance (the host's).
#ifndef COMPANIONS_DELAY_DELAY_MODULE_H
#define COMPANIONS_DELAY_DELAY_MODULE_H

#include <cstdint>

#include "delay_line.h"
#include "tr_module_base.h"

class DelayModule : public TRModule_base {
public:
    enum Pin : int32_t {
        kPinIn = 0,
        kPinTime = 1,
        kPinFeedback = 2,
        kPinMix = 3,
        kPinOut = 4,
        kPinMaxDelay = 5,
        kPinCount = 6,
    };

    // The Max delay setting when the host gives a value that is not a whole number of milliseconds
    // from 1 to kLongestMaxDelayMs.
    static constexpr int16_t kDefaultMaxDelayMs = 1000;
    static constexpr int16_t kLongestMaxDelayMs = 10000;
    // The loop gain stays below 1, so that feedback always dies away.
    static constexpr double kMaxFeedback = 0.99;

    DelayModule(TRHostCallback host_callback, uint32_t host_handle);

    // Reads the sample rate and the Max delay setting, allocates the line, names the process routine,
    // builds the pins and marks Out as running. Without a usable rate, or memory for the line, the
    // module passes In through unchanged.
    void Open() override;
    // Releases the line.
    void Close() override;
    bool GetPinProperties(int32_t index, PinProperties* properties) override;

    // Produces `count` samples at `offset` of the pin buffers. A block that cannot be processed (an
    // unwired buffer, a negative offset, an end beyond 32 bits) writes nothing and changes no state.
    void Process(int32_t offset, int32_t count);

    // The delay in samples for a Time sample (1.0 = 10 ms), clamped to what the line holds.
    double DelaySamples(float time) const;
    const companions::DelayLine& Line() const { return m_line; }

private:
    void* PinMember(int32_t index);

    // Pin-bound members, written by the host, read by the module.
    float* m_in = nullptr;                        // In buffer (1.0 = 10 V)
    float* m_time = nullptr;                      // Time buffer (1 V = 1 ms)
    float* m_feedback = nullptr;                  // Feedback buffer (10 V = a loop gain of 1, clamped to kMaxFeedback)
    float* m_mix = nullptr;                       // Mix buffer (0 V dry, 10 V wet)
    float* m_out = nullptr;                       // Out buffer
    int16_t m_max_delay_ms = kDefaultMaxDelayMs;  // Max delay list value, milliseconds

    companions::DelayLine m_line;  // owned; built by Open, released by Close
    double m_samples_per_ms = 0;   // R / 1000, read by Open; 0 while there is no line
};

#endif  // COMPANIONS_DELAY_DELAY_MODULE_H
