// The floating-point environment the engine's arithmetic is defined in, for the length of one call
// from the host. A host, or another module on the same thread, may leave SSE rounding toward zero or
// up, flush-to-zero or denormals-are-zero set when it calls; the engine's results (and its proofs)
// assume round to nearest with neither. So Open and the process routine install the default control
// word once per call (not per sample) and hand the host back exactly the one it had, flags included.
// The x87 control word is left alone: no arithmetic of the engine runs on the x87 unit.
#ifndef VEXLO_FLOAT_ENVIRONMENT_H
#define VEXLO_FLOAT_ENVIRONMENT_H

#include <xmmintrin.h>

#include <cstdint>

namespace vexlo {

class DefaultFloatEnvironment {
public:
    // Every exception masked, round to nearest, no flush-to-zero, no denormals-are-zero, no flags.
    static constexpr uint32_t kControl = 0x1F80u;

    DefaultFloatEnvironment() : m_host(_mm_getcsr()) { _mm_setcsr(kControl); }
    ~DefaultFloatEnvironment() { _mm_setcsr(m_host); }
    DefaultFloatEnvironment(const DefaultFloatEnvironment&) = delete;
    DefaultFloatEnvironment& operator=(const DefaultFloatEnvironment&) = delete;

private:
    uint32_t m_host;  // the host's MXCSR on entry
};

}  // namespace vexlo

#endif  // VEXLO_FLOAT_ENVIRONMENT_H
