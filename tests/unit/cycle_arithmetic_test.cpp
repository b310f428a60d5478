// The process routine's shortcuts against the literal expressions they replace: the stepped and
// multiplied sine index, the rescale by reciprocal, the wraps by comparison and the square's
// half-period test. Each must agree for every argument the routine can pass.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "cycle_arithmetic.h"
#include "sine_index.h"

namespace {

int32_t LiteralIndex(int32_t length, int32_t position, int32_t period) {
    return static_cast<int32_t>(static_cast<double>(length) * static_cast<double>(position) /
                                static_cast<double>(period));
}

int32_t LiteralRescale(int32_t count, int32_t old_period, int32_t period) {
    return static_cast<int32_t>(
        static_cast<double>(count) / static_cast<double>(old_period) * static_cast<double>(period) + 0.5);
}

int32_t LiteralPosition(int32_t count, int32_t phase_offset, int32_t period) {
    int64_t position = (static_cast<int64_t>(count) + phase_offset) % period;
    if (position < 0) position += period;
    return static_cast<int32_t>(position);
}

// The largest table for which products stay exact (N x N < 2^53), the one above it, and the tables of
// common rates.
constexpr int32_t kLargestExactTable = 94906265;

TEST(SineIndex, StepsThroughWholePeriodsExactlyAsTheDivision) {
    for (int32_t length : {30, 26430, 1323000, 1440000, 5760000}) {
        for (int32_t period : {1, 2, 3, 7, 100, 441, 44100, 48000, length - 1, length}) {
            if (period > length) continue;
            vexlo::SineIndex index;
            index.SetUp(length);
            const double inverse = 1.0 / period;
            // Two whole periods, so the wrap to 0 and the restart of stepping are crossed.
            for (int32_t k = 0; k < 2 * period && k < 3000000; ++k) {
                const int32_t p = k % period;
                ASSERT_EQ(index.At(p, period, inverse), LiteralIndex(length, p, period))
                    << length << " " << period << " " << p;
            }
        }
    }
}

TEST(SineIndex, JumpsAndPeriodChangesMatchTheDivisionUpToTheLargestExactTable) {
    std::mt19937 rng(20240611);
    for (int32_t length : {1440000, 5760000, kLargestExactTable, kLargestExactTable + 1, 2147483640}) {
        vexlo::SineIndex index;
        index.SetUp(length);
        std::uniform_int_distribution<int32_t> periods(1, length);
        int32_t period = periods(rng);
        int32_t position = 0;
        for (int32_t k = 0; k < 200000; ++k) {
            const int kind = static_cast<int>(rng() % 4);
            if (kind == 0) period = periods(rng);  // a new period
            if (kind == 0 || kind == 1)
                position = static_cast<int32_t>(rng() % static_cast<uint32_t>(period));  // a jump
            if (kind >= 2) position = position + 1 < period ? position + 1 : 0;          // a step
            if (position >= period) position = period - 1;
            ASSERT_EQ(index.At(position, period, 1.0 / period), LiteralIndex(length, position, period))
                << length << " " << period << " " << position;
        }
    }
}

TEST(Rescale, MatchesTheLiteralDivisionIncludingExactHalves) {
    // Exact halves: count x P / old P + 0.5 is a whole number, where rounding decides the literal
    // truncation and the shortcut must hand over to it.
    struct Case {
        int32_t count, old_period, period;
    };
    for (const Case c : {Case{1, 2, 1}, Case{1, 2, 3}, Case{3, 4, 2}, Case{50, 100, 201}, Case{7, 14, 44101},
                         Case{100, 200, 1440001}}) {
        ASSERT_EQ(vexlo::Rescaled(c.count, c.old_period, 1.0 / c.old_period, c.period, true),
                  LiteralRescale(c.count, c.old_period, c.period))
            << c.count << " " << c.old_period << " " << c.period;
    }
    std::mt19937 rng(7);
    for (int32_t length : {26430, 1440000, 5760000, kLargestExactTable}) {
        std::uniform_int_distribution<int32_t> periods(1, length);
        for (int k = 0; k < 400000; ++k) {
            const int32_t old_period = k % 3 == 0 ? 1 + static_cast<int32_t>(rng() % 1000) : periods(rng);
            const int32_t period = k % 5 == 0 ? old_period + 1 - 2 * static_cast<int32_t>(rng() % 2) : periods(rng);
            if (period < 1 || period > length) continue;
            const int32_t count = 1 + static_cast<int32_t>(rng() % static_cast<uint32_t>(old_period));
            ASSERT_EQ(vexlo::Rescaled(count, old_period, 1.0 / old_period, period, true),
                      LiteralRescale(count, old_period, period))
                << count << " " << old_period << " " << period;
        }
    }
}

// The modulated loop's step: the count after step 9 plus one, from the count as a double and the ratio
// P x (1 / old P). Where it answers as decided it must be the literal step, which leaves the count as it
// is when the period holds; and a count of 0 (after a reset) stays 0 whatever the ratio.
int32_t LiteralStep(int32_t count, int32_t old_period, int32_t period) {
    return old_period != period ? LiteralRescale(count, old_period, period) : count;
}

TEST(Rescale, UnconditionalStepIsTheLiteralWheneverDecided) {
    bool undecided = true;
    for (double ratio : {0.0, 1.0, 1.0 / 3.0, 1440000.0}) {
        ASSERT_EQ(vexlo::RescaledPlusOne(0.0, ratio, &undecided), 1.0);
        ASSERT_FALSE(undecided);
    }
    // Exact halves must hand over to the literal steps.
    vexlo::RescaledPlusOne(1.0, 3.0 * (1.0 / 2.0), &undecided);
    ASSERT_TRUE(undecided);

    std::mt19937 rng(13);
    int64_t undecided_count = 0;
    for (int32_t length : {26430, 1440000, 5760000, kLargestExactTable}) {
        std::uniform_int_distribution<int32_t> periods(1, length);
        for (int k = 0; k < 400000; ++k) {
            const int32_t old_period = k % 3 == 0 ? 1 + static_cast<int32_t>(rng() % 1000) : periods(rng);
            int32_t period = periods(rng);
            if (k % 4 == 0) period = old_period;  // the period holds
            if (k % 4 == 1) period = old_period + 1 - 2 * static_cast<int32_t>(rng() % 2);
            if (period < 1 || period > length) continue;
            const int32_t count = 1 + static_cast<int32_t>(rng() % static_cast<uint32_t>(old_period));
            const double ratio = static_cast<double>(period) * (1.0 / static_cast<double>(old_period));
            const double next = vexlo::RescaledPlusOne(static_cast<double>(count), ratio, &undecided);
            if (undecided) {
                ASSERT_NE(period, old_period) << count;
                ++undecided_count;
                continue;
            }
            ASSERT_EQ(next, static_cast<double>(LiteralStep(count, old_period, period)) + 1.0)
                << count << " " << old_period << " " << period;
        }
    }
    // Small periods make exact halves common, so the hand-over was met.
    ASSERT_GT(undecided_count, 0);
}

TEST(SineIndex, BranchFreeQuotientMatchesTheDivisionUpToTheLargestExactTable) {
    std::mt19937 rng(17);
    for (int32_t length : {30, 1440000, 5760000, kLargestExactTable}) {
        std::uniform_int_distribution<int32_t> periods(1, length);
        for (int k = 0; k < 200000; ++k) {
            const int32_t period = k % 7 == 0 ? length : periods(rng);
            int32_t position = static_cast<int32_t>(rng() % static_cast<uint32_t>(period));
            if (k % 11 == 0) position = period - 1;
            ASSERT_EQ(vexlo::SineIndex::Quotient(length, position, period, 1.0 / period),
                      LiteralIndex(length, position, period))
                << length << " " << period << " " << position;
        }
    }
}

TEST(Wraps, MatchSignedRemaindersWithNegativesWrapped) {
    std::mt19937 rng(11);
    const int32_t values[] = {0, 1, -1, INT32_MAX, INT32_MIN, INT32_MIN + 1, 2147483646, -2147483647};
    for (int32_t period : {1, 2, 3, 100, 44100, 1440000, 5760000, INT32_MAX - 1, INT32_MAX}) {
        for (int32_t v : values) {
            ASSERT_EQ(vexlo::WrapAround(v, period), LiteralPosition(0, v, period)) << v << " " << period;
        }
        for (int k = 0; k < 20000; ++k) {
            const int32_t v = static_cast<int32_t>(rng());
            ASSERT_EQ(vexlo::WrapAround(v, period), LiteralPosition(0, v, period)) << v << " " << period;
            if (v >= 0) {
                ASSERT_EQ(vexlo::WrapForward(v, period), v % period) << v << " " << period;
            }
            const int32_t a = static_cast<int32_t>(rng() % static_cast<uint32_t>(period));
            const int32_t b = static_cast<int32_t>(rng() % static_cast<uint32_t>(period));
            ASSERT_EQ(vexlo::AddWrapped(a, b, period), LiteralPosition(a, b, period)) << a << " " << b << " " << period;
        }
    }
}

TEST(SquareLevel, HalfPeriodTestMatchesTheQuotientTest) {
    std::mt19937 rng(5);
    for (int32_t period : {1, 2, 3, 99, 100, 101, 44100, 2147483646, INT32_MAX}) {
        for (int32_t p : {0, period / 2 - 1, period / 2, period / 2 + 1, period - 1}) {
            if (p < 0 || p >= period) continue;
            const float literal = static_cast<double>(p) / static_cast<double>(period) < 0.5 ? 1.0f : -1.0f;
            ASSERT_EQ(vexlo::SquareLevel(p, period), literal) << p << " " << period;
        }
        for (int k = 0; k < 10000; ++k) {
            const int32_t p = static_cast<int32_t>(rng() % static_cast<uint32_t>(period));
            const float literal = static_cast<double>(p) / static_cast<double>(period) < 0.5 ? 1.0f : -1.0f;
            ASSERT_EQ(vexlo::SquareLevel(p, period), literal) << p << " " << period;
        }
    }
}

}  // namespace
