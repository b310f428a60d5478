#include "guarded_buffer.h"

#include <cstring>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FUZZ_HAS_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define FUZZ_HAS_ASAN 1
#endif

#if defined(FUZZ_HAS_ASAN)
#include <sanitizer/asan_interface.h>
#define FUZZ_POISON(address, bytes) __asan_poison_memory_region((address), (bytes))
#define FUZZ_UNPOISON(address, bytes) __asan_unpoison_memory_region((address), (bytes))
#else
#define FUZZ_POISON(address, bytes) ((void)(address), (void)(bytes))
#define FUZZ_UNPOISON(address, bytes) ((void)(address), (void)(bytes))
#endif

namespace {

// Canaries: a different ordinary number (about 0.0133) in every guard slot. Not a NaN, whose payload
// arithmetic would carry through unchanged from a guard read into a guard written, and not 0 or 1,
// which products preserve.
constexpr uint32_t kCanaryBits = 0x3C5A5A00u;

uint32_t CanaryBits(size_t slot) { return kCanaryBits + static_cast<uint32_t>(slot) * 0x101u; }

float Canary(size_t slot) {
    uint32_t bits = CanaryBits(slot);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace

GuardedBuffer::GuardedBuffer(size_t length)
    : m_length(length), m_storage(kGuardSamples + length + kGuardSamples, 0.0f), m_snapshot(length) {
    for (size_t i = 0; i < kGuardSamples; ++i) {
        m_storage[i] = Canary(i);
        m_storage[kGuardSamples + length + i] = Canary(kGuardSamples + i);
    }
}

GuardedBuffer::~GuardedBuffer() { Unfence(); }

uint32_t GuardedBuffer::Bits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

void GuardedBuffer::Fence(size_t begin, size_t end) {
    Unfence();
    if (end > m_length) end = m_length;
    if (begin > end) begin = end;
    float* base = m_storage.data();
    // Poison [guard + begin, ...) first and then the front: the shadow can mark "the first k bytes of a
    // granule are addressable" but not the reverse, so the block's end is exact and its start rounds
    // toward letting one sample more be touched.
    FUZZ_POISON(base + kGuardSamples + end, (m_length - end + kGuardSamples) * sizeof(float));
    FUZZ_POISON(base, (kGuardSamples + begin) * sizeof(float));
    m_fenced = true;
}

void GuardedBuffer::Unfence() {
    if (!m_fenced) return;
    FUZZ_UNPOISON(m_storage.data(), m_storage.size() * sizeof(float));
    m_fenced = false;
}

void GuardedBuffer::Snapshot() {
    if (m_length == 0) return;
    std::memcpy(m_snapshot.data(), m_storage.data() + kGuardSamples, m_length * sizeof(float));
}

bool GuardedBuffer::UnchangedOutside(size_t begin, size_t end) const {
    for (size_t i = 0; i < kGuardSamples; ++i) {
        if (Bits(m_storage[i]) != CanaryBits(i)) return false;
        if (Bits(m_storage[kGuardSamples + m_length + i]) != CanaryBits(kGuardSamples + i)) return false;
    }
    const float* data = m_storage.data() + kGuardSamples;
    for (size_t i = 0; i < m_length; ++i) {
        if (i >= begin && i < end) continue;
        if (Bits(data[i]) != Bits(m_snapshot[i])) return false;
    }
    return true;
}
