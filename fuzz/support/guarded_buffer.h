// A host sample buffer with canary guards on both sides, for catching a module that reads or writes
// outside the block it was given.
//
// While a block runs, everything the block must not touch (the guards, and the buffer's samples
// before and after the block) is poisoned for AddressSanitizer, so a stray read or write is reported
// where it happens. After the block, the guards and the untouched samples are compared with what they
// held before, which catches stray writes even in a build without AddressSanitizer.
#ifndef FUZZ_GUARDED_BUFFER_H
#define FUZZ_GUARDED_BUFFER_H

#include <cstddef>
#include <cstdint>
#include <vector>

class GuardedBuffer {
public:
    // Samples on each side of the buffer; a multiple of 2 so that the buffer starts on an 8-byte
    // boundary, the granule of AddressSanitizer's shadow memory.
    static constexpr size_t kGuardSamples = 16;

    explicit GuardedBuffer(size_t length);
    ~GuardedBuffer();
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    float* Data() { return m_storage.data() + kGuardSamples; }
    size_t Length() const { return m_length; }

    // Poisons all but samples [begin, end) of the buffer, and the guards. An empty range poisons all.
    void Fence(size_t begin, size_t end);
    // Lifts every poisoning; required before the host itself reads or writes the buffer again.
    void Unfence();

    // Remembers the buffer's contents, for Unchanged.
    void Snapshot();
    // True when the guards hold their canaries and every sample outside [begin, end) is as at the
    // last Snapshot (bit for bit: NaN payloads count).
    bool UnchangedOutside(size_t begin, size_t end) const;

private:
    static uint32_t Bits(float value);

    size_t m_length;
    std::vector<float> m_storage;   // guard, buffer, guard
    std::vector<float> m_snapshot;  // the buffer at the last Snapshot
    bool m_fenced = false;
};

#endif  // FUZZ_GUARDED_BUFFER_H
