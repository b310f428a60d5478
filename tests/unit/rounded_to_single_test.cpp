// Rounding to single by splitting, against the conversion it replaces, and the square smoother's step
// with its sum held as a double against the step as defined: bit for bit across the whole range of
// singles, at every kind of tie, and where rounding carries into the next binade.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "oscillator_definition.h"
#include "rounded_to_single.h"
#include "square_smoother.h"

namespace {

uint64_t Bits(double x) { return std::bit_cast<uint64_t>(x); }

double Converted(double t) { return static_cast<double>(static_cast<float>(t)); }

// A double in [1, 2) from a 52-bit significand.
double FromSignificand(uint64_t significand) { return std::bit_cast<double>(0x3FF0000000000000ull | significand); }

// Doubles of every binade of the singles' normal range, both signs: random significands; ties of the
// rounding to 24 bits with even and with odd last kept bits, and their neighbours one double away; the
// largest doubles below each power of two (which round up into the next binade); powers of two.
std::vector<double> DoublesAcrossTheSinglesRange() {
    std::mt19937_64 rng(0x51E6);
    std::vector<double> values;
    constexpr uint64_t kDropped = (uint64_t{1} << 29) - 1;  // the 29 significand bits a single drops
    constexpr uint64_t kHalf = uint64_t{1} << 28;
    for (int exponent = -126; exponent <= 126; ++exponent) {
        std::vector<double> unit;
        for (int k = 0; k < 40; ++k) unit.push_back(FromSignificand(rng() >> 12));
        for (int k = 0; k < 8; ++k) {
            const uint64_t kept = (rng() >> 12) & ~kDropped;
            for (uint64_t last : {uint64_t{0}, kDropped + 1}) {  // the last kept bit even, then odd
                const double tie = FromSignificand((kept | last | kHalf) & ((uint64_t{1} << 52) - 1));
                unit.push_back(tie);
                unit.push_back(std::nextafter(tie, 0.0));
                unit.push_back(std::nextafter(tie, 4.0));
            }
        }
        unit.push_back(1.0);
        unit.push_back(std::nextafter(2.0, 0.0));
        unit.push_back(2.0 - 0x1p-24);  // a tie between the largest single below 2 and 2
        unit.push_back(2.0 - 0x1p-25);
        for (double u : unit) {
            values.push_back(std::ldexp(u, exponent));
            values.push_back(-std::ldexp(u, exponent));
        }
    }
    values.push_back(0.0);
    return values;
}

}  // namespace

TEST(RoundedToSingle, IsTheConversionToSingleAndBackAcrossTheSinglesRange) {
    const std::vector<double> values = DoublesAcrossTheSinglesRange();
    for (double t : values) {
        ASSERT_EQ(Bits(vexlo::RoundedToSingle(t)), Bits(Converted(t))) << std::hexfloat << t;
    }
    EXPECT_GT(values.size(), 40000u);
}

// The smoother's sums as the step meets them: every binade of the singles (subnormals included) up to
// the limit, both zeros, and sums next to the square levels, where sum + sample cancels.
TEST(RoundedToSingle, SmootherStepHeldAsDoubleIsTheIncrementalUpdate) {
    std::mt19937 rng(0xD0B1E);
    std::vector<float> sums = {0.0f, -0.0f, 1.0f, -1.0f, 2.0f, -2.0f, std::numeric_limits<float>::denorm_min(),
                               -std::numeric_limits<float>::denorm_min()};
    for (int exponent = -149; exponent < 100; ++exponent) {
        for (int k = 0; k < 60; ++k) {
            const float sum = std::ldexp(1.0f + static_cast<float>(rng() % (1u << 23)) * 0x1p-23f, exponent);
            sums.push_back(rng() % 2 ? sum : -sum);
        }
    }
    for (float level : {1.0f, 2.0f, 0.5f}) {
        for (int ulps = 1; ulps <= 64; ++ulps) {
            float below = level;
            float above = level;
            for (int k = 0; k < ulps; ++k) {
                below = std::nextafter(below, 0.0f);
                above = std::nextafter(above, 4.0f);
            }
            for (float sum : {below, above, -below, -above}) sums.push_back(sum);
        }
    }
    for (float sum : sums) {
        ASSERT_LE(std::fabs(static_cast<double>(sum)), vexlo::kHeldAsDoubleLimit);
        for (float sample : {1.0f, -1.0f}) {
            for (float leaving : {1.0f, -1.0f, 0.0f}) {
                const double held = vexlo::LeakyUpdateHeldAsDouble(sum, sample, leaving);
                const float defined = vexlo::LeakyUpdate(sum, sample, leaving);
                ASSERT_EQ(Bits(held), Bits(static_cast<double>(defined)))
                    << std::hexfloat << sum << " " << sample << " " << leaving;
            }
        }
    }
}
