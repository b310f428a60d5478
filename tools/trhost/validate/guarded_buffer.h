// A pin's sample buffer as the validator lends it to a module: canaries fill everything outside the
// block [offset, offset + count), and 64 more samples guard each end, so that any write outside the
// block, and any change to an input, can be seen after the call.
#ifndef TRHOST_VALIDATE_GUARDED_BUFFER_H
#define TRHOST_VALIDATE_GUARDED_BUFFER_H

#include <cstdint>
#include <string>
#include <vector>

namespace trhost::validate {

// A quiet NaN with a payload no arithmetic produces: a module that reads a canary gets a NaN.
constexpr uint32_t kCanaryBits = 0x7FC0DEADu;

class GuardedBuffer {
public:
    static constexpr int32_t kGuard = 64;

    explicit GuardedBuffer(int32_t length);

    // What the module is given: the start of the buffer proper.
    float* Data() { return m_storage.data() + kGuard; }
    int32_t Length() const { return m_length; }

    // Canaries everywhere, guards included.
    void FillCanaries();
    // These bits everywhere, guards included.
    void FillBits(uint32_t bits);
    // Keeps the current contents to compare with after the call.
    void Snapshot();

    // Samples outside [offset, offset + count) that no longer hold a canary, and the position of the
    // first (relative to Data(); negative in the front guard).
    struct OutsideWrites {
        int32_t count = 0;
        int32_t first = 0;
    };
    OutsideWrites WritesOutside(int32_t offset, int32_t count) const;
    // Samples that differ, bit for bit, from the snapshot; and the first.
    OutsideWrites ChangesSinceSnapshot() const;

private:
    int32_t m_length;
    std::vector<float> m_storage;
    std::vector<float> m_snapshot;
};

bool IsCanary(float value);

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_GUARDED_BUFFER_H
