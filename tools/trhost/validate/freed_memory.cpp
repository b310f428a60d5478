#include "freed_memory.h"

#include <atomic>
#include <cstring>
#include <mutex>

namespace trhost::validate {

namespace {

struct HeldBlock {
    void* block;
    size_t size;
    ReleaseFreedBlock release;
    void* owner;
};

// A ring of held blocks, oldest at m_first. Static storage: it is used from inside free, where it must
// not allocate.
class Quarantine {
public:
    void Hold(const HeldBlock& held) {
        std::lock_guard<std::mutex> lock(m_mutex);
        while (m_count == kHeldFreedBlocks || (m_count > 0 && m_bytes + held.size > kHeldFreedBytes)) ReleaseOldest();
        m_ring[(m_first + m_count) % kHeldFreedBlocks] = held;
        ++m_count;
        m_bytes += held.size;
    }

    void ReleaseOf(void* owner) {
        std::lock_guard<std::mutex> lock(m_mutex);
        size_t kept = 0;
        for (size_t i = 0; i < m_count; ++i) {
            HeldBlock& held = m_ring[(m_first + i) % kHeldFreedBlocks];
            if (held.owner == owner) {
                held.release(held.block, held.owner);
                m_bytes -= held.size;
            } else {
                m_ring[(m_first + kept++) % kHeldFreedBlocks] = held;
            }
        }
        m_count = kept;
    }

private:
    void ReleaseOldest() {
        HeldBlock& oldest = m_ring[m_first];
        oldest.release(oldest.block, oldest.owner);
        m_bytes -= oldest.size;
        m_first = (m_first + 1) % kHeldFreedBlocks;
        --m_count;
    }

    std::mutex m_mutex;
    HeldBlock m_ring[kHeldFreedBlocks];
    size_t m_first = 0;
    size_t m_count = 0;
    size_t m_bytes = 0;
};

Quarantine g_quarantine;
std::atomic<uint32_t> g_frees{0};

void Fill(void* block, size_t size, uint32_t word) {
    auto* bytes = static_cast<unsigned char*>(block);
    size_t words = size / sizeof word;
    for (size_t i = 0; i < words; ++i) std::memcpy(bytes + i * sizeof word, &word, sizeof word);
    // Little-endian: the word's high byte carries the sign and exponent.
    std::memset(bytes + words * sizeof word, static_cast<int>(word >> 24), size % sizeof word);
}

}  // namespace

uint32_t FreedPattern(uint32_t serial) {
    // A multiplicative hash spreads consecutive serials over the mantissa; the top nine bits make the
    // float negative with exponent 0 (-1.x) and the double's high word 0xBF8.....
    uint32_t spread = serial * 2654435761u;
    return 0xBF800000u | (spread >> 9);
}

void HoldFreedBlock(void* block, size_t size, ReleaseFreedBlock release, void* owner) {
    Fill(block, size, FreedPattern(g_frees.fetch_add(1, std::memory_order_relaxed)));
    if (size > kHeldFreedBytes) {
        release(block, owner);
        return;
    }
    g_quarantine.Hold({block, size, release, owner});
}

void ReleaseHeldBlocksOf(void* owner) { g_quarantine.ReleaseOf(owner); }

}  // namespace trhost::validate
