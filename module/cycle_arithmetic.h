// The whole-number arithmetic of the oscillator's cycle, in the forms the process routine uses, each
// equal to the literal expression it replaces for the arguments the routine passes (proofs beside).
#ifndef VEXLO_CYCLE_ARITHMETIC_H
#define VEXLO_CYCLE_ARITHMETIC_H

#include <cmath>
#include <cstdint>

#include "assume.h"
#include "checked_convert.h"
#include "packed_double.h"
#include "packed_int32.h"

namespace vexlo {

// The cycle's counters (m_count, m_period), held in locals while a block runs.
struct Cycle {
    int32_t count;   // samples into the current period, 0 <= count < period; -1 after a reset
    int32_t period;  // P of the previous active sample; -1 after a reset
};

// x mod P for 0 <= x < 2P: x, less P once when it reaches P. One body for int32_t, double (whole
// numbers, so every operation is exact) and PackedDouble (two lanes).
template <class Number>
inline Number WrapOnce(Number x, Number period) {
    return x - Where(x >= period, period);
}

// value mod P for value >= 0 and P >= 1. The engine's callers have value < 2P, where WrapOnce does it;
// the remainder is the fallback for any other value.
inline int32_t WrapForward(int32_t value, int32_t period) {
    if (value - period < period) return WrapOnce(value, period);
    return value % period;
}

// value mod P into 0 .. P - 1 (the remainder of signed division, plus P when it is negative).
inline int32_t WrapAround(int32_t value, int32_t period) {
    if (value >= 0) return WrapForward(value, period);
    if (value >= -period) return value + period;
    const int32_t rest = value % period;
    return rest == 0 ? 0 : rest + period;
}

// (a + b) mod P for a and b in 0 .. P - 1, without forming a sum that could leave 32 bits (the sum
// WrapOnce would take can, on tables too long for exact products): a - (P - b) lies in -P .. P - 1.
inline int32_t AddWrapped(int32_t a, int32_t b, int32_t period) {
    VEXLO_ASSUME(0 <= a && a < period && 0 <= b && b < period);
    return a < period - b ? a + b : a - (period - b);
}

// RescaledCount and the count moved on by one, for the count's chain in the modulated loop, without a
// branch on whether the period changed: from c, the count moved on by one (a whole number
// 0 <= c <= old P, as a double), and ratio = P x (1 / old P), it answers the rescaled count plus one,
// that is the next sample's count moved on by one (before WrappedCount). `*undecided` is set when the
// answer cannot be trusted; the caller then takes the defined steps. Only one multiply, one add and one
// subtract lie on the chain.
//
// Why it equals RescaledCount plus one whenever it is decided, while N x N < 2^53 (so P, old P <= N < 2^27):
//   - c = 0 only after a reset (both counters -1), where CountedCycle does not rescale and the count
//     is 0; here the product is 0 x ratio = 0 exactly, whatever the (finite) ratio.
//   - Otherwise 1 <= c <= old P. Let y = c x P / old P, which is at most P. ratio and the product pass
//     through three roundings of a relative 2^-53, so the product lies within 3.01 x 2^-53 x P < 2^-24
//     of y. It is decided when it lies less than 1/2 - 2^-20 from its nearest whole number t, so y
//     lies more than 2^-20 - 2^-24 from every half: then t = floor(y + 0.5).
//   - P = old P: CountedCycle keeps c, and y = c, so t = c. (The product, within 2^-24 of c, is always
//     decided.)
//   - P != old P: RescaledCount's count / old P x P + 0.5 passes through three roundings of a
//     relative 2^-53 too, so it lies within 3.01 x 2^-53 x (P + 1) < 2^-24 of y + 0.5 (P + 1 <= 2^27),
//     which is more than 2^-24 from every whole number: it truncates to floor(y + 0.5) = t.
//   - The gap: t = biased - 2^52 exactly, and product - t is exact (t and the product are within a
//     factor 2 of each other, or t = 0).
//
// The steps are split so that a loop can carry the chain alone and test the products afterwards:
// RescaledProduct, then NearestPlusOne on the chain and IsDecided off it (CountChain::CountActive).
inline constexpr double kDecided = 0.5 - 1.0 / 1048576.0;  // 1/2 - 2^-20

inline double RescaledProduct(double counted, double ratio) { return counted * ratio; }
inline double NearestPlusOne(double product) { return (product + kRoundingBias) - (kRoundingBias - 1.0); }

// The product decided: less than 1/2 - 2^-20 from its nearest whole number (not for NaN). One body
// for a double and for a PackedDouble (two products).
template <class Double>
inline auto DecidedOf(Double product) {
    const Double gap = product - NearestWhole(product);
    return Magnitude(gap) < Double(kDecided);
}
inline bool IsDecided(double product) { return DecidedOf(product); }

// Square level: +1 for the first half of the period, -1 for the second. SquareValue's test is
// p / P < 0.5 in double; InFirstHalf's 2p < P (written p < P - p, which cannot overflow) is the same
// test for 0 <= p < P < 2^31: when 2p < P, p / P <= 1/2 - 1/(2P), at least 2^-32 below 1/2 and far
// more than the half ulp (2^-55) that rounding could add, so the rounded quotient stays below 0.5; when
// 2p >= P the quotient is at least 1/2, and rounding is monotonic with 0.5 representable. One body for
// whole numbers and for doubles holding them, one or two (PackedDouble): every term is a whole number
// below 2^31, so the double operations are exact and answer as the integer ones.
template <class Number>
inline auto InFirstHalf(Number position, Number period) {
    return position < period - position;
}

// The level is a type that holds +1 or -1 and no other value: the square smoother's shortcuts
// (LeakyStep, the held square's settled runs) rest on it.
class SquareLevel {
public:
    static SquareLevel At(int32_t position, int32_t period) { return SquareLevel(InFirstHalf(position, period)); }
    // For a test already made: SquareValue's, or a packed comparison.
    static SquareLevel FirstHalf(bool first_half) { return SquareLevel(first_half); }
    float value() const { return m_value; }
    bool high() const { return m_value > 0.0f; }
    friend bool operator==(SquareLevel a, SquareLevel b) { return a.m_value == b.m_value; }

private:
    explicit SquareLevel(bool first_half) : m_value(first_half ? 1.0f : -1.0f) {}
    float m_value;
};

// Two square levels side by side, as doubles: lane by lane SquareLevel's value (+1 where the first-half
// test holds, -1 elsewhere: 2 or +0, less 1, exact), and made, like it, only from such a test.
class SquareLevelPair {
public:
    static SquareLevelPair FirstHalf(LaneMask first_half) { return SquareLevelPair(Where(first_half, 2.0) - 1.0); }
    PackedDouble values() const { return m_values; }

private:
    explicit SquareLevelPair(PackedDouble values) : m_values(values) {}
    PackedDouble m_values;
};

}  // namespace vexlo

#endif  // VEXLO_CYCLE_ARITHMETIC_H
