// The floating-point control state a call into a module must leave as it found it: the SSE control
// and status register (MXCSR) without its sticky exception flags, and the x87 control word.
#ifndef TRHOST_VALIDATE_FP_CONTROL_H
#define TRHOST_VALIDATE_FP_CONTROL_H

#include <cstdint>
#include <string>

namespace trhost::validate {

struct FpControl {
    uint32_t mxcsr = 0;  // control bits only: masks, rounding, flush-to-zero, denormals-are-zero
    uint16_t x87 = 0;    // x87 control word

    bool operator==(const FpControl&) const = default;
};

// MXCSR's sticky exception flags (bits 0-5) change with ordinary arithmetic; they are not state a
// module is asked to keep.
constexpr uint32_t kMxcsrStatusFlags = 0x3F;
constexpr uint32_t kMxcsrDefault = 0x1F80;         // all exceptions masked, round to nearest
constexpr uint32_t kMxcsrFlushDenormals = 0x8040;  // flush-to-zero and denormals-are-zero

inline FpControl ReadFpControl() {
    FpControl control;
    uint32_t mxcsr = 0;
    __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
    __asm__ volatile("fnstcw %0" : "=m"(control.x87));
    control.mxcsr = mxcsr & ~kMxcsrStatusFlags;
    return control;
}

inline void WriteMxcsr(uint32_t mxcsr) { __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr)); }

inline void WriteFpControl(const FpControl& control) {
    WriteMxcsr(control.mxcsr);
    __asm__ volatile("fldcw %0" : : "m"(control.x87));
}

// "MXCSR 0x1f80 -> 0x9fc0" for what changed between two readings.
std::string DescribeFpChange(const FpControl& before, const FpControl& after);

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_FP_CONTROL_H
