#include "delay_line.h"

#include <new>

#include "catmull_rom.h"

namespace companions {

namespace {

// The longest ring: 2^24 samples (64 MiB), over 87 seconds at 192 kHz.
constexpr uint32_t kMaxRingLength = uint32_t{1} << 24;

}  // namespace

bool DelayLine::SetUp(double max_delay) {
    Release();
    if (!(max_delay >= kMinDelay)) max_delay = kMinDelay;
    // Taps reach two samples beyond the whole part of the longest delay.
    const double needed = max_delay + 3.0;
    if (!(needed <= kMaxRingLength)) return false;
    uint32_t length = 4;
    while (length < needed) length <<= 1;
    m_ring = new (std::nothrow) float[length]();
    if (!m_ring) return false;
    m_mask = length - 1;
    m_write = 0;
    m_max_delay = max_delay;
    return true;
}

void DelayLine::Release() {
    delete[] m_ring;
    m_ring = nullptr;
    m_mask = 0;
    m_write = 0;
    m_max_delay = 0;
}

double DelayLine::Read(double delay) const {
    const auto whole = static_cast<uint32_t>(delay);
    const double fraction = delay - whole;
    return CatmullRom(At(whole - 1), At(whole), At(whole + 1), At(whole + 2), fraction);
}

}  // namespace companions
