// Conversions from floating point to 32-bit integers that never leave the defined range. A C++
// conversion of a value outside the target's range (or of a NaN) is undefined behaviour, and on x86 it
// yields INT_MIN, which would then index tables and divide; so every such conversion goes through here.
#ifndef VEXLO_CHECKED_CONVERT_H
#define VEXLO_CHECKED_CONVERT_H

#include <cstdint>

namespace vexlo {

// Bounds of the doubles whose truncation toward zero fits a signed 32-bit integer (exclusive).
inline constexpr double kTruncBelowInt32 = -2147483649.0;
inline constexpr double kTruncAboveInt32 = 2147483648.0;

// True when truncating `x` toward zero yields a signed 32-bit integer; false for NaN.
inline bool TruncFitsInt32(double x) { return x > kTruncBelowInt32 && x < kTruncAboveInt32; }

// Truncates `x` toward zero into `*result` and answers true, or answers false and leaves `*result`.
inline bool TruncToInt32(double x, int32_t* result) {
    if (!TruncFitsInt32(x)) return false;
    *result = static_cast<int32_t>(x);
    return true;
}

// Adding 2^52 to a double in [0, 2^51] rounds it to the nearest whole number (doubles from 2^52 to 2^53
// are exactly the whole numbers); subtracting it again is exact.
inline constexpr double kRoundingBias = 4503599627370496.0;

// x in [0, 2^51] rounded to the nearest whole number (ties to even), as a double; the same for each lane
// of a PackedDouble (packed_double.h).
template <class Double>
inline Double NearestWhole(Double x) {
    return (x + kRoundingBias) - kRoundingBias;
}

}  // namespace vexlo

#endif  // VEXLO_CHECKED_CONVERT_H
