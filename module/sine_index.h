// The sine-table index of a position: N x p / P truncated, with N x p formed in double first and then
// divided by P. Asked for position after position at one period, it steps by quotient and remainder;
// for any other position it multiplies by 1/P and corrects, instead of dividing.
//
// Why both give the same index as the division, while N x N < 2^53 (sample rates below ~3.16 MHz):
//   - a = N x p is a whole number below N x P <= N x N < 2^53, so double holds it exactly.
//   - Write a = q x P + r with 0 <= r < P. If r = 0 the quotient q is exact. Otherwise a / P lies in
//     (q, q + 1 - 1/P]. Rounding is monotonic and q is representable, so the rounded quotient is at
//     least q; it could only reach q + 1 if the gap 1/P were at most half an ulp of q + 1 <= N, that
//     is at most N x 2^-53; but N x P < 2^53 makes 1/P larger. So the literal index is q = floor(a / P).
//   - Stepping: with N = Q x P + S (0 <= S < P), N x (p + 1) = (q + Q) x P + (r + S) and r + S < 2P, so
//     the next index is q + Q, plus one (and r + S - P the next remainder) when r + S >= P. Position 0
//     has index 0.
//   - Multiplying: e = a x (1/P), both rounded, is within a relative 2^-51 of a / P < N < 2^27, so off
//     by less than 1; its truncation is q - 1, q or q + 1. The remainder a - e x P is exact in double
//     (every term is a whole number below 2^53) and says which: below 0 means one too many, P or more
//     one too few. Whatever e was, the corrected pair satisfies a = q x P + r with 0 <= r < P.
// Above that bound every index is the literal division.
#ifndef VEXLO_SINE_INDEX_H
#define VEXLO_SINE_INDEX_H

#include <cstdint>

#include "checked_convert.h"

namespace vexlo {

class SineIndex {
public:
    // A table of `length` entries (0: none). Forgets any earlier position.
    void SetUp(int32_t length) {
        m_length = length;
        m_exact = ExactProducts(length);
        m_period = 0;
    }

    // True when N x N < 2^53: then the shortcuts above are exact.
    static bool ExactProducts(int32_t length) {
        return static_cast<double>(length) * static_cast<double>(length) < 9007199254740992.0;
    }

    // The index for `position` (0 <= position < period <= length), always within the table;
    // `inverse` is 1.0 / period.
    int32_t At(int32_t position, int32_t period, double inverse) {
        if (!m_exact) return Divided(position, period);
        if (period == m_period && position == m_position + 1) {
            Step();
        } else {
            if (period != m_period) {
                m_period = period;
                m_step_quotient = -1;
            }
            Multiplied(position, inverse);
        }
        m_position = position;
        return m_index;
    }

    // floor(N x p / P) for 0 <= p < P <= N, with N x N < 2^53 and `inverse` = 1.0 / P: one multiply,
    // and the correction (see "Multiplying" above) taken from comparisons rather than branches, for
    // positions that jump about.
    static int32_t Quotient(int32_t length, int32_t position, int32_t period, double inverse) {
        const double product = static_cast<double>(length) * static_cast<double>(position);
        const double whole = static_cast<double>(period);
        const int32_t estimate = static_cast<int32_t>(product * inverse);  // below N + 1
        const double rest = product - static_cast<double>(estimate) * whole;
        return estimate - static_cast<int32_t>(rest < 0.0) + static_cast<int32_t>(rest >= whole);
    }

private:
    // The next position at the same period: one step (the step itself is found at the first one).
    void Step() {
        if (m_step_quotient < 0) {
            m_step_quotient = m_length / m_period;
            m_step_rest = m_length % m_period;
        }
        m_index += m_step_quotient;
        m_rest += m_step_rest;
        if (m_rest >= m_period) {
            ++m_index;
            m_rest -= m_period;
        }
    }

    // floor(N x p / P) by multiplication and one correction; the remainder comes with it.
    void Multiplied(int32_t position, double inverse) {
        const double product = static_cast<double>(m_length) * static_cast<double>(position);
        const double period = static_cast<double>(m_period);
        double quotient = static_cast<double>(static_cast<int32_t>(product * inverse));
        double rest = product - quotient * period;
        if (rest < 0.0) {
            quotient -= 1.0;
            rest += period;
        } else if (rest >= period) {
            quotient += 1.0;
            rest -= period;
        }
        m_index = static_cast<int32_t>(quotient);
        m_rest = static_cast<int32_t>(rest);
    }

    // N x p / P as the literal step states it; index 0 (whose entry is sin 0 = 0) for a position
    // outside the period, which the engine never asks for.
    int32_t Divided(int32_t position, int32_t period) const {
        int32_t index = 0;
        if (!TruncToInt32(static_cast<double>(m_length) * static_cast<double>(position) / static_cast<double>(period),
                          &index) ||
            index < 0 || index >= m_length) {
            return 0;
        }
        return index;
    }

    int32_t m_length = 0;          // N, table entries
    bool m_exact = false;          // N x N < 2^53: the shortcuts are exact
    int32_t m_period = 0;          // P of the last lookup; 0 before any
    int32_t m_position = 0;        // p of the last lookup
    int32_t m_index = 0;           // floor(N p / P) for that lookup
    int32_t m_rest = 0;            // N p - index x P, 0 <= rest < P
    int32_t m_step_quotient = -1;  // floor(N / P) at m_period; -1 until the first step needs it
    int32_t m_step_rest = 0;       // N - quotient x P
};

}  // namespace vexlo

#endif  // VEXLO_SINE_INDEX_H
