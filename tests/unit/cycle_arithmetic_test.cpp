// The process routine's shortcuts against the literal expressions they replace: the stepped and
// multiplied sine index, the rescale by reciprocal, the wraps by comparison, the square's half-period
// test and the smoother's single-precision leak. Each must agree for every argument the routine can pass.
#include <gtest/gtest.h>

#include <emmintrin.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "cycle_arithmetic.h"
#include "engine_steps.h"
#include "oscillator_definition.h"
#include "sine_index.h"
#include "square_smoother.h"

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

// The held loop's stepping, one position and four positions on, from the multiplied index and its
// remainder (see sine_index.h).
TEST(SineIndex, StepsOneAndFourPositionsOnExactlyAsTheDivision) {
    for (int32_t length : {30, 26430, 1323000, 1440000, 5760000}) {
        for (int32_t period : {1, 2, 3, 7, 16, 100, 441, 44100, 48000, length - 1, length}) {
            if (period > length) continue;
            const double inverse = 1.0 / period;
            const int32_t quotient = length / period, rest = length % period;
            const int32_t four_quotient = 4 * quotient + 4 * rest / period, four_rest = 4 * rest % period;
            // Runs from several starts, across a whole period.
            for (int32_t start : {0, 1, period / 3, period - 5}) {
                if (start < 0) continue;
                vexlo::SineStep one = vexlo::SineStep::At(length, start, period, inverse);
                vexlo::SineStep four = one;
                for (int32_t p = start; p < period && p < start + 200000; ++p) {
                    ASSERT_EQ(one.index, LiteralIndex(length, p, period)) << length << " " << period << " " << p;
                    ASSERT_TRUE(one.rest >= 0 && one.rest < period);
                    if ((p - start) % 4 == 0) {
                        ASSERT_EQ(four.index, one.index) << length << " " << period << " " << p;
                        ASSERT_EQ(four.rest, one.rest);
                        four.rest += four_rest;
                        const bool carry = four.rest >= period;
                        four.rest -= carry ? period : 0;
                        four.index += four_quotient + (carry ? 1 : 0);
                    }
                    one.index += quotient;
                    one.rest += rest;
                    if (one.rest >= period) {
                        ++one.index;
                        one.rest -= period;
                    }
                }
            }
        }
    }
}

TEST(SineIndex, DividedIndexIsTheLiteralOneAndStaysInTheTable) {
    std::mt19937 rng(20240611);
    for (int32_t length : {1440000, kLargestExactTable, kLargestExactTable + 1, 2147483640}) {
        std::uniform_int_distribution<int32_t> periods(1, length);
        for (int32_t k = 0; k < 200000; ++k) {
            const int32_t period = periods(rng);
            const int32_t position =
                k % 5 == 0 ? period - 1 : static_cast<int32_t>(rng() % static_cast<uint32_t>(period));
            const int32_t index = vexlo::SineIndexOf(length, position, period);
            ASSERT_EQ(index, LiteralIndex(length, position, period)) << length << " " << period << " " << position;
            ASSERT_LT(index, length);
        }
    }
    EXPECT_EQ(vexlo::SineIndexOf(100, 5, 3), 0) << "a position outside its period reads entry 0";
    EXPECT_EQ(vexlo::SineIndexOf(100, -1, 3), 0);
}

// The modulated loop's step: the count after RescaledCount plus one, from the count as a double and the ratio
// P x (1 / old P). Where it answers as decided it must be the literal step, which leaves the count as it
// is when the period holds; and a count of 0 (after a reset) stays 0 whatever the ratio.
int32_t LiteralStep(int32_t count, int32_t old_period, int32_t period) {
    return old_period != period ? LiteralRescale(count, old_period, period) : count;
}

// The chain's step as CountChain takes it: the product, its nearest whole number plus one, and whether
// that is decided.
double RescaledPlusOne(double counted, double ratio, bool* undecided) {
    const double product = vexlo::RescaledProduct(counted, ratio);
    *undecided = !vexlo::IsDecided(product);
    return vexlo::NearestPlusOne(product);
}

TEST(Rescale, UnconditionalStepIsTheLiteralWheneverDecided) {
    bool undecided = true;
    for (double ratio : {0.0, 1.0, 1.0 / 3.0, 1440000.0}) {
        ASSERT_EQ(RescaledPlusOne(0.0, ratio, &undecided), 1.0);
        ASSERT_FALSE(undecided);
    }
    // Exact halves, and products nearer a half than the roundings could move them, must hand over
    // to the literal steps.
    RescaledPlusOne(1.0, 3.0 * (1.0 / 2.0), &undecided);
    ASSERT_TRUE(undecided);
    RescaledPlusOne(1.0, 0.5 + 0x1p-21, &undecided);
    ASSERT_TRUE(undecided);
    RescaledPlusOne(1.0, 0.5 + 0x1p-19, &undecided);
    ASSERT_FALSE(undecided);

    // Rescales that land a hair from a half: from old P (odd) to old P +- 1 at a count of about half
    // old P, c x P / old P lies 1 / (2 old P) from a half, nearer than the roundings reach for the
    // longest periods. Decided or not, the step must never differ from the literal one.
    for (int32_t old_period : {3, 44101, 1440001, 5760001, kLargestExactTable - 1}) {
        for (int32_t period : {old_period - 1, old_period + 1}) {
            for (int32_t count : {(old_period - 1) / 2, (old_period + 1) / 2}) {
                const double ratio = static_cast<double>(period) * (1.0 / static_cast<double>(old_period));
                const double next = RescaledPlusOne(count, ratio, &undecided);
                if (!undecided) {
                    ASSERT_EQ(next, static_cast<double>(LiteralStep(count, old_period, period)) + 1.0)
                        << count << " " << old_period << " " << period;
                }
            }
        }
    }

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
            const double next = RescaledPlusOne(static_cast<double>(count), ratio, &undecided);
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
            ASSERT_EQ(vexlo::SineIndexMultiplied(length, position, period, 1.0 / period),
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
            ASSERT_EQ(vexlo::SquareLevel::At(p, period).value(), literal) << p << " " << period;
        }
        for (int k = 0; k < 10000; ++k) {
            const int32_t p = static_cast<int32_t>(rng() % static_cast<uint32_t>(period));
            const float literal = static_cast<double>(p) / static_cast<double>(period) < 0.5 ? 1.0f : -1.0f;
            ASSERT_EQ(vexlo::SquareLevel::At(p, period).value(), literal) << p << " " << period;
        }
    }
}

}  // namespace

namespace {

// Runs the smoother's own step and the defined step side by side over `levels`, from the same state;
// both must leave the same sum, index and ring after every sample.
void ExpectLeanStepIsTheDefinedOne(int32_t window, const std::vector<float>& levels, float start_sum) {
    std::vector<float> lean_ring(static_cast<size_t>(window) + 1, 0.0f), defined_ring = lean_ring;
    vexlo::SquareSmoother lean{start_sum, 0, window, window, window + 1, lean_ring.data()};
    float sum = start_sum;
    int32_t index = 0, last_window = window;
    for (size_t k = 0; k < levels.size(); ++k) {
        const float lean_sum = lean.StepSum(vexlo::SquareLevel::FirstHalf(levels[k] > 0.0f));
        const float defined_sum =
            vexlo::SmootherStep(levels[k], window, window + 1, defined_ring.data(), index, last_window, sum);
        ASSERT_EQ(std::bit_cast<uint32_t>(lean_sum), std::bit_cast<uint32_t>(defined_sum))
            << "window " << window << " sample " << k << ": " << lean_sum << " vs " << defined_sum;
        ASSERT_EQ(lean.index, index);
    }
    ASSERT_EQ(lean_ring, defined_ring);
}

}  // namespace

TEST(SquareSmoother, LeanStepMatchesTheDefinedStep) {
    // Held levels long enough to decay through the whole range where the shortcut applies (from about
    // W down past 2^-28, some 240,000 samples), with edges before and after.
    for (int32_t window : {2, 25, 50, 217}) {
        std::vector<float> levels;
        for (int32_t k = 0; k < 300; ++k) levels.push_back(k % 7 < 3 ? 1.0f : -1.0f);
        levels.insert(levels.end(), 260000, 1.0f);
        levels.insert(levels.end(), 3 * window, -1.0f);
        for (int32_t k = 0; k < 5000; ++k) levels.push_back((k / 97) % 2 ? 1.0f : -1.0f);
        ExpectLeanStepIsTheDefinedOne(window, levels, 0.0f);
    }
    // Sums at the edges of the range, and negative zero (which the defined step turns into +0), under
    // both levels.
    for (float start : {0x1p-28f, std::nextafter(0x1p-28f, 0.0f), -0x1p-28f, 0x1p29f, std::nextafter(0x1p29f, 0.0f),
                        -0.0f, 1e-38f, 1e-45f}) {
        ExpectLeanStepIsTheDefinedOne(50, std::vector<float>(200, -1.0f), start);
        ExpectLeanStepIsTheDefinedOne(50, std::vector<float>(200, 1.0f), start);
    }
}

namespace {

// Sums of every exponent the shortcut's range holds and a little beyond it, both signs, with random
// significands, and the values where a single-precision add of +-2 would round: just below each power
// of two, with the last significand bit set.
std::vector<float> SumsAroundTheShortcutsRange() {
    std::mt19937 rng(0x5A5A);
    std::vector<float> sums;
    for (int exponent = -32; exponent <= 31; ++exponent) {
        const float power = std::ldexp(1.0f, exponent);
        for (float sum : {power, std::nextafter(power, 0.0f), std::nextafter(2.0f * power, 0.0f),
                          std::nextafter(std::nextafter(2.0f * power, 0.0f), 0.0f)}) {
            sums.push_back(sum);
            sums.push_back(-sum);
        }
        for (int k = 0; k < 200; ++k) {
            const float sum = std::ldexp(1.0f + static_cast<float>(rng() % (1u << 23)) * 0x1p-23f, exponent);
            sums.push_back(rng() % 2 ? sum : -sum);
        }
    }
    return sums;
}

}  // namespace

// The range test on the bits is the magnitude test 2^-28 <= |sum| < 2^29, also for both zeros,
// subnormals, infinities and NaN.
TEST(SquareSmoother, ShortcutRangeOnTheBitsIsTheMagnitudeTest) {
    std::vector<float> sums = SumsAroundTheShortcutsRange();
    for (float special : {0.0f, -0.0f, 1e-45f, -1e-45f, 1e-40f, std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(),
                          -std::numeric_limits<float>::quiet_NaN()}) {
        sums.push_back(special);
    }
    for (float sum : sums) {
        const bool magnitude = std::fabs(sum) >= 0x1p-28f && std::fabs(sum) < 0x1p29f;
        ASSERT_EQ(vexlo::InShortcutRange(sum), magnitude) << sum;
    }
}

// The settled step and the moved step are the incremental update wherever the range test lets them
// run: for every square level and every sample that can leave the window (a level, or the 0 of a slot
// never written), bit for bit, including the sums whose add of 2 is not exact in single precision.
TEST(SquareSmoother, ShortcutStepsAreTheIncrementalUpdateInTheirRange) {
    int32_t in_range = 0;
    for (float sum : SumsAroundTheShortcutsRange()) {
        if (!vexlo::InShortcutRange(sum)) continue;
        ++in_range;
        for (float sample : {1.0f, -1.0f}) {
            for (float leaving : {1.0f, -1.0f, 0.0f}) {
                const uint32_t defined = std::bit_cast<uint32_t>(vexlo::LeakyUpdate(sum, sample, leaving));
                const double difference = static_cast<double>(sample) - static_cast<double>(leaving);
                ASSERT_EQ(std::bit_cast<uint32_t>(vexlo::MovedStep(sum, difference)), defined)
                    << sum << " " << sample << " " << leaving;
                ASSERT_EQ(std::bit_cast<uint32_t>(vexlo::LeakyStep(sum, vexlo::SquareLevel::FirstHalf(sample > 0.0f),
                                                                   leaving)),
                          defined);
                if (leaving == sample) {
                    ASSERT_EQ(std::bit_cast<uint32_t>(vexlo::SettledStep(sum)), defined);
                }
            }
        }
    }
    EXPECT_GT(in_range, 10000);
}

namespace {

// The two lanes of a packed result, as bits.
std::pair<uint64_t, uint64_t> LaneBits(__m128d lanes) {
    alignas(16) double both[2];
    _mm_store_pd(both, lanes);
    return {std::bit_cast<uint64_t>(both[0]), std::bit_cast<uint64_t>(both[1])};
}

uint64_t Bits(double x) { return std::bit_cast<uint64_t>(x); }

}  // namespace

// The steps written once for a double and for two (packed_double.h): each lane of the packed form must
// be the double form's bits for that lane's operands, also where the operands are zeros of either
// sign, subnormals, infinities and NaN (whose payload is not compared), and on the edges of the
// comparisons (a remainder of exactly 0, a position sum of exactly P).
TEST(PackedSteps, EachLaneIsTheDoubleStep) {
    std::mt19937 rng(0x9AC4);
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const double kSpecial[] = {0.0, -0.0, 1e-310, -1e-310, 1.0, -1.0, 0.5, 3e38, -3e38, kInf, -kInf};
    const auto any = [&]() {
        if (rng() % 3 == 0) return kSpecial[rng() % 11];
        return std::uniform_real_distribution<double>(-4.0, 4.0)(rng);
    };
    const auto same = [](uint64_t packed, double scalar) {
        return packed == Bits(scalar) || (std::isnan(std::bit_cast<double>(packed)) && std::isnan(scalar));
    };
    for (int32_t k = 0; k < 200000; ++k) {
        const double w[2] = {any(), any()}, d[2] = {any(), any()}, o[2] = {any(), any()}, i[2] = {any(), any()};
        const auto out = LaneBits(vexlo::OutputBeforeRounding<vexlo::PackedDouble>(
            _mm_setr_pd(w[0], w[1]), _mm_setr_pd(d[0], d[1]), _mm_setr_pd(o[0], o[1]), _mm_setr_pd(i[0], i[1])));
        ASSERT_TRUE(same(out.first, vexlo::OutputBeforeRounding(w[0], d[0], o[0], i[0])));
        ASSERT_TRUE(same(out.second, vexlo::OutputBeforeRounding(w[1], d[1], o[1], i[1])));
        const auto inactive = LaneBits(
            vexlo::InactiveBeforeRounding<vexlo::PackedDouble>(_mm_setr_pd(o[0], o[1]), _mm_setr_pd(i[0], i[1])));
        ASSERT_TRUE(same(inactive.first, vexlo::InactiveBeforeRounding(o[0], i[0])));
        ASSERT_TRUE(same(inactive.second, vexlo::InactiveBeforeRounding(o[1], i[1])));
    }

    // The smoothed sample of two sums, for windows that divide and windows that do not (W <= 1).
    for (int32_t window : {0, 1, 2, 54, 217}) {
        for (int32_t k = 0; k < 20000; ++k) {
            const float sums[2] = {static_cast<float>(any()), static_cast<float>(any())};
            const auto smoothed = LaneBits(vexlo::Smoothed<vexlo::PackedDouble>(
                _mm_setr_pd(sums[0], sums[1]), vexlo::PackedDouble(vexlo::SmoothingDivisor(window))));
            ASSERT_TRUE(same(smoothed.first, vexlo::SmoothedOf(sums[0], window)));
            ASSERT_TRUE(same(smoothed.second, vexlo::SmoothedOf(sums[1], window)));
        }
    }

    // Sine indexes over whole periods (every remainder, 0 included) and positions: two lanes at once.
    for (int32_t length : {26430, 1440000, 5760000, kLargestExactTable}) {
        for (int32_t period : {1, 3, 16, 441, 44100, length / 7, length}) {
            const double inverse = 1.0 / period;
            for (int32_t p = 0; p + 1 < period && p < 20000; p += 1 + period / 20000) {
                const auto index = LaneBits(vexlo::SineIndexNearest<vexlo::PackedDouble>(
                    static_cast<double>(length), _mm_setr_pd(p, p + 1), static_cast<double>(period), inverse));
                ASSERT_EQ(index.first, Bits(vexlo::SineIndexNearest<double>(length, p, period, inverse)));
                ASSERT_EQ(index.second, Bits(vexlo::SineIndexNearest<double>(length, p + 1, period, inverse)));
                ASSERT_EQ(std::bit_cast<double>(index.first), LiteralIndex(length, p, period));
            }
            // The square's first-half test and levels at every such position, two lanes at once.
            for (int32_t p = 0; p + 1 < period && p < 20000; p += 1 + period / 20000) {
                const vexlo::LaneMask first_half = vexlo::InFirstHalf<vexlo::PackedDouble>(
                    _mm_setr_pd(p, p + 1), vexlo::PackedDouble(static_cast<double>(period)));
                const auto levels = LaneBits(vexlo::SquareLevelPair::FirstHalf(first_half).values());
                ASSERT_EQ(std::bit_cast<double>(levels.first), vexlo::SquareLevel::At(p, period).value());
                ASSERT_EQ(std::bit_cast<double>(levels.second), vexlo::SquareLevel::At(p + 1, period).value());
            }
            // Counts 1 .. P with phase offsets 0 .. P - 1, around the wrap.
            for (int32_t c = 1; c <= period && c < 300; ++c) {
                for (int32_t po : {0, 1, period - c, period - c + 1, period - 1}) {
                    if (po < 0 || po >= period) continue;
                    const double whole = period;
                    const auto position = LaneBits(vexlo::PositionOfCounted<vexlo::PackedDouble>(
                        _mm_setr_pd(c, c), _mm_setr_pd(po - 1.0, po - 1.0), whole));
                    ASSERT_EQ(position.first, Bits(vexlo::PositionOfCounted<double>(c, po - 1.0, whole)));
                    ASSERT_EQ(std::bit_cast<double>(position.first), LiteralPosition(c - 1, po, period));
                }
            }
        }
    }
}
