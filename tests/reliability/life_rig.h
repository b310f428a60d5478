// One instance of the loaded module library with every audio pin pointed at a guarded host buffer.
// Each block is checked as the host sees it: the module wrote nothing outside the block, nothing into
// an input, and, where every input in the block was finite, an output no larger than the oscillator
// can make of them.
//
// A rig is driven from one thread; rigs on different threads are independent.
#ifndef RELIABILITY_LIFE_RIG_H
#define RELIABILITY_LIFE_RIG_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "guarded_buffer.h"
#include "host_instance.h"
#include "module_library.h"

namespace reliability {

// The module's pins as the host numbers them.
enum Pin : int32_t {
    kIn = 0,
    kDepth = 1,
    kOffset = 2,
    kFreq = 3,
    kPhase = 4,
    kWave = 5,
    kOut = 6,
    kFreqScale = 7,
    kDepthScale = 8,
    kPinCount = 9,
};

class LifeRig {
public:
    // Samples in each host buffer.
    static constexpr size_t kLength = 512;

    explicit LifeRig(const trhost::ModuleLibrary& library, uint32_t host_handle = 0x52454C49u);

    // makeModule, pin descriptions, wiring: In 1.0, Depth 0.5, Offset 0, Freq 0.1 (1 Hz), Phase 0,
    // sine, Hz, Absolute. False when makeModule answered null.
    bool Create();
    trhost::HostInstance& Host() { return m_host; }

    void SetRate(float hertz) { m_host.SetSampleRate(hertz); }
    void Open() { m_host.Open(); }
    void Close() { m_host.Close(); }

    // Every sample of an audio pin, or sample i from a generator.
    void Set(int32_t pin, float value);
    void Set(int32_t pin, const std::function<float(size_t)>& sample);
    void SetList(int32_t pin, int16_t value) { m_host.SetListValue(pin, value); }
    // Points an audio pin at no buffer (an unconnected member), or back at its own.
    void Unwire(int32_t pin) { m_host.SetBuffer(pin, nullptr); }
    void Rewire(int32_t pin) { m_host.SetBuffer(pin, m_buffers[pin]->Data()); }

    // One block through the record's process entry, checked. Blocks that cannot be processed (a
    // negative offset or count, an unwired pin) must change nothing at all.
    void Block(int32_t offset, int32_t count);
    // Whole buffers, one after another, with every Out sample appended to Output().
    void Run(int32_t blocks);

    const std::vector<float>& Output() const { return m_output; }
    // Every check that failed, one line each; empty when the life was sound.
    const std::vector<std::string>& Faults() const { return m_faults; }

private:
    void Fault(const std::string& what);

    trhost::HostInstance m_host;
    uint32_t m_host_handle;
    std::vector<std::unique_ptr<GuardedBuffer>> m_buffers;  // one per audio pin, by pin index
    std::vector<float> m_output;
    std::vector<std::string> m_faults;
};

}  // namespace reliability

#endif  // RELIABILITY_LIFE_RIG_H
