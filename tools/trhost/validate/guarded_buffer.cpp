#include "guarded_buffer.h"

#include <cstring>

namespace trhost::validate {

namespace {

uint32_t Bits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

}  // namespace

bool IsCanary(float value) { return Bits(value) == kCanaryBits; }

GuardedBuffer::GuardedBuffer(int32_t length)
    : m_length(length), m_storage(static_cast<size_t>(length) + 2 * kGuard), m_snapshot(m_storage.size()) {
    FillCanaries();
}

void GuardedBuffer::FillCanaries() { FillBits(kCanaryBits); }

void GuardedBuffer::FillBits(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    for (float& sample : m_storage) sample = value;
}

void GuardedBuffer::Snapshot() { m_snapshot = m_storage; }

GuardedBuffer::OutsideWrites GuardedBuffer::WritesOutside(int32_t offset, int32_t count) const {
    OutsideWrites writes;
    auto scan = [&](int32_t from, int32_t to) {  // positions relative to Data()
        for (int32_t position = from; position < to; ++position) {
            if (!IsCanary(m_storage[position + kGuard]) && writes.count++ == 0) writes.first = position;
        }
    };
    scan(-kGuard, offset);
    scan(offset + count, m_length + kGuard);
    return writes;
}

GuardedBuffer::OutsideWrites GuardedBuffer::ChangesSinceSnapshot() const {
    OutsideWrites changes;
    if (std::memcmp(m_storage.data(), m_snapshot.data(), m_storage.size() * sizeof(float)) == 0) {
        return changes;
    }
    for (size_t i = 0; i < m_storage.size(); ++i) {
        if (Bits(m_storage[i]) != Bits(m_snapshot[i])) {
            if (changes.count++ == 0) changes.first = static_cast<int32_t>(i) - kGuard;
        }
    }
    return changes;
}

}  // namespace trhost::validate
