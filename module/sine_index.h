// The sine-table index of a position: N x p / P truncated, with N x p formed in double first. Asked for
// position after position at a steady period, it steps by quotient and remainder instead of dividing.
//
// Why stepping gives the same index as the division, while N x N < 2^53:
//   - a = N x p is a whole number below N x P <= N x N < 2^53, so double holds it exactly.
//   - Write a = q x P + r with 0 <= r < P. If r = 0 the quotient q is exact. Otherwise a / P lies in
//     (q, q + 1 - 1/P]. Rounding is monotonic and q is representable, so the rounded quotient is at
//     least q; it could only reach q + 1 if the gap 1/P were at most half an ulp of q + 1 <= N, that
//     is at most N x 2^-53; but N x P < 2^53 makes 1/P larger. So truncation gives q = floor(a / P).
//   - With N = Q x P + S (0 <= S < P): N x (p + 1) = (q + Q) x P + (r + S) and r + S < 2P, so the next
//     index is q + Q, plus one (and r + S - P the next remainder) when r + S >= P.
//   - Position 0 has index 0.
// Above that (a sample rate beyond about 3.16 MHz) every index is the plain division.
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
        m_exact_steps = length > 0 && static_cast<double>(length) * static_cast<double>(length) < kTwoTo53;
        m_period = 0;
    }

    // The index for `position` (0 <= position < period <= length), always within the table.
    int32_t At(int32_t position, int32_t period) {
        if (m_exact_steps && period == m_period && position == m_position + 1) {
            // Next position at the same period: one step.
            if (m_step_quotient < 0) {
                m_step_quotient = m_length / period;
                m_step_rest = m_length % period;
            }
            m_index += m_step_quotient;
            m_rest += m_step_rest;
            if (m_rest >= period) {
                ++m_index;
                m_rest -= period;
            }
        } else {
            // Any other position: the division, and the remainder stepping continues from.
            if (period != m_period) m_step_quotient = -1;
            m_index = Divided(position, period);
            if (m_exact_steps) {
                // Both products are whole numbers below 2^53, so the difference is exact.
                m_rest = static_cast<int32_t>(static_cast<double>(m_length) * static_cast<double>(position) -
                                              static_cast<double>(m_index) * static_cast<double>(period));
            }
        }
        m_period = period;
        m_position = position;
        return m_index;
    }

private:
    static constexpr double kTwoTo53 = 9007199254740992.0;

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

    int32_t m_length = 0;         // N, table entries
    bool m_exact_steps = false;   // N x N < 2^53: stepping is exact
    int32_t m_period = 0;         // P of the last lookup; 0 before any
    int32_t m_position = 0;       // p of the last lookup
    int32_t m_index = 0;          // floor(N p / P) for that lookup
    int32_t m_rest = 0;           // N p - index x P, 0 <= rest < P (kept while stepping is exact)
    int32_t m_step_quotient = -1; // floor(N / P) at m_period; -1 until the first step needs it
    int32_t m_step_rest = 0;      // N - quotient x P
};

}  // namespace vexlo

#endif  // VEXLO_SINE_INDEX_H
