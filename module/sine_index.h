// The sine-table index of a position without dividing. SineIndexOf (oscillator_definition.h) forms
// N x p in double and divides it by P; the process paths use two forms that give the same index:
// multiplying by 1/P and correcting, for positions that jump about, and stepping by quotient and
// remainder, for positions that follow one another at one period.
//
// Why both give SineIndexOf's index, while N x N < 2^53 (sample rates below ~3.16 MHz):
//   - a = N x p is a whole number below N x P <= N x N < 2^53, so double holds it exactly.
//   - Write a = q x P + r with 0 <= r < P. If r = 0 the quotient q is exact. Otherwise a / P lies in
//     (q, q + 1 - 1/P]. Rounding is monotonic and q is representable, so the rounded quotient is at
//     least q; it could only reach q + 1 if the gap 1/P were at most half an ulp of q + 1 <= N, that
//     is at most N x 2^-53; but N x P < 2^53 makes 1/P larger. So SineIndexOf's index is q = floor(a / P).
//   - Multiplying: x = a x (1/P), both rounded, is within a relative 2^-52 of a / P < N < 2^27, so
//     within 2^-25 of it: q - 2^-25 < x < q + 1 + 2^-25. Its nearest whole number e is therefore q or
//     q + 1 (either at a tie). The remainder a - e x P is exact in double (every term is a whole number
//     below 2^53, e x P <= N x P) and says which: below 0 means one too many.
//   - Stepping: with N = Q x P + S (0 <= S < P), N x (p + 1) = (q + Q) x P + (r + S) and r + S < 2P, so
//     the next index is q + Q, plus one (and r + S - P the next remainder) when r + S >= P. Several
//     steps at once, m of them: with mS = A x P + B (0 <= B < P, A < m), N x (p + m) =
//     (q + mQ + A) x P + (r + B), and again r + B < 2P.
// Above that bound every index is SineIndexOf's division (the stepwise path).
#ifndef VEXLO_SINE_INDEX_H
#define VEXLO_SINE_INDEX_H

#include <cstdint>

#include "checked_convert.h"
#include "oscillator_definition.h"
#include "packed_double.h"
#include "packed_int32.h"

namespace vexlo {

// True when N x N < 2^53: then the shortcuts above are exact.
inline bool ExactProducts(int32_t length) {
    return static_cast<double>(length) * static_cast<double>(length) < 9007199254740992.0;
}

// floor(N x p / P) for 0 <= p < P <= N, with N x N < 2^53 and `inverse` = 1.0 / P, in double: one
// multiply and a nearest whole number, then one correction taken from a comparison rather than a
// branch, for positions that jump about. One body for a double and for a PackedDouble (two positions).
template <class Double>
VEXLO_PER_SAMPLE Double SineIndexNearest(Double length, Double position, Double whole, Double inverse) {
    const Double product = length * position;
    const Double nearest = NearestWhole(product * inverse);  // q or q + 1, at most N
    const Double rest = product - nearest * whole;
    return nearest - Where(rest < Double(0.0), Double(1.0));
}
inline int32_t SineIndexMultiplied(int32_t length, int32_t position, int32_t period, double inverse) {
    return static_cast<int32_t>(SineIndexNearest(static_cast<double>(length), static_cast<double>(position),
                                                 static_cast<double>(period), inverse));
}

// The index floor(N x p / P) and its remainder N x p - index x P, for stepping on from there.
struct SineStep {
    int32_t index;
    int32_t rest;  // 0 <= rest < P

    // Under the same conditions as SineIndexMultiplied.
    static SineStep At(int32_t length, int32_t position, int32_t period, double inverse) {
        const int32_t index = SineIndexMultiplied(length, position, period, inverse);
        const double rest = static_cast<double>(length) * static_cast<double>(position) -
                            static_cast<double>(index) * static_cast<double>(period);
        return {index, static_cast<int32_t>(rest)};
    }
};

// Stepping m positions on: with m x N = A x P + B (0 <= B < P), the index floor(N x p / P) gains A and
// the remainder B, and a remainder that reaches P (it stays below 2P) loses P and carries one into the
// index. One body for int32_t and PackedInt32 (four lanes). StepRemainderOn answers the carry (-1 in
// a lane that carried, as MinusOneWhere gives it) for index forms with steps of their own.
template <class Int>
VEXLO_PER_SAMPLE auto StepRemainderOn(Int& rest, Int rest_step, Int period) {
    rest = rest + rest_step;
    const auto carry = rest > period - Int(1);
    rest = rest - Where(carry, period);
    return carry;
}
template <class Int>
VEXLO_PER_SAMPLE void StepIndexOn(Int& index, Int& rest, Int index_step, Int rest_step, Int period) {
    const auto carry = StepRemainderOn(rest, rest_step, period);
    index = index + index_step - MinusOneWhere(carry);
}

}  // namespace vexlo

#endif  // VEXLO_SINE_INDEX_H
