// A delay line: a ring of the most recent samples, written one per sample and read at a fractional
// delay through Catmull-Rom interpolation. The ring is allocated by SetUp (in the module's Open) and
// released by Release (in Close); Write and Read never allocate.
#ifndef COMPANIONS_DELAY_DELAY_LINE_H
#define COMPANIONS_DELAY_DELAY_LINE_H

#include <cstdint>

namespace companions {

class DelayLine {
public:
    // The shortest delay, in samples: the interpolator's newest tap lies one sample nearer than the
    // delay's whole part, and the newest sample that may be read is the one written before this one
    // (the current one is written after the read, with feedback taken from what was read).
    static constexpr double kMinDelay = 2.0;

    DelayLine() = default;
    DelayLine(const DelayLine&) = delete;
    DelayLine& operator=(const DelayLine&) = delete;
    ~DelayLine() { Release(); }

    // Allocates a zeroed ring for delays up to `max_delay` samples (at least kMinDelay). False, with no
    // ring, when it cannot be allocated or `max_delay` is beyond what a 32-bit index can reach.
    bool SetUp(double max_delay);
    void Release();
    bool Ready() const { return m_ring != nullptr; }
    // The longest delay Read accepts, in samples; 0 without a ring.
    double MaxDelay() const { return m_max_delay; }

    // The signal `delay` samples before the sample to be written next, interpolated. The delay must lie
    // within kMinDelay .. MaxDelay() (the caller clamps it).
    double Read(double delay) const;
    // Appends one sample.
    void Write(float sample) {
        m_ring[m_write] = sample;
        m_write = (m_write + 1) & m_mask;
    }

private:
    float At(uint32_t back) const { return m_ring[(m_write - back) & m_mask]; }

    float* m_ring = nullptr;  // owned; a power of two of samples
    uint32_t m_mask = 0;      // ring length - 1
    uint32_t m_write = 0;     // slot of the next sample written
    double m_max_delay = 0;   // samples
};

}  // namespace companions

#endif  // COMPANIONS_DELAY_DELAY_LINE_H
