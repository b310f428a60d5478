// The sine table's split (split_sine.h): two short tables whose angle sums give the table's entries,
// offered with a table only where the check at building finds every entry given bit for bit.
#include <gtest/gtest.h>

#include <emmintrin.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "reference/literal_engine.h"
#include "shared_sine_table.h"
#include "split_sine.h"

namespace {

using vexlo::reference::LiteralEngine;

uint32_t Bits(float value) { return std::bit_cast<uint32_t>(value); }

// A held table and its split, let go at the end of the scope.
struct HeldTable {
    explicit HeldTable(int32_t length) : length(length), entries(vexlo::AcquireSineTable(length)) {}
    ~HeldTable() { vexlo::ReleaseSineTable(entries); }
    HeldTable(const HeldTable&) = delete;
    HeldTable& operator=(const HeldTable&) = delete;
    vexlo::SplitSine Split() const { return vexlo::SplitSineOf(entries); }

    int32_t length;
    const float* entries;
};

// The indexes where an angle sum is most at risk, and a spread over the rest: the first and last
// entries and those around the half cycle (where the sine crosses zero and the sum cancels), around the
// quarter points (where it is near +-1), on both sides of each of the first coarse steps (l = 0 and
// l = M - 1), and every entry of a stride through the table.
std::vector<int32_t> TellingIndexes(int32_t length, int32_t fine_bits) {
    std::vector<int32_t> indexes;
    const auto around = [&](int64_t centre, int32_t reach) {
        for (int64_t i = centre - reach; i <= centre + reach; ++i) {
            if (i >= 0 && i < length) indexes.push_back(static_cast<int32_t>(i));
        }
    };
    around(0, 64);
    around(length - 1, 64);
    around(length / 2, 64);
    around(length / 4, 16);
    around(3 * int64_t{length} / 4, 16);
    for (int64_t h = 1; h <= 8; ++h) around(h << fine_bits, 1);
    for (int32_t i = 0; i < length; i += 1 + length / 4099) indexes.push_back(i);
    return indexes;
}

// At the common rates the split is offered, and gives the independent literal engine's entries.
TEST(SplitSineTable, CommonRatesHaveASplitThatGivesTheLiteralEntries) {
    for (const int32_t rate : {8000, 11025, 22050, 44100, 48000, 88200, 96000, 192000}) {
        const HeldTable table(30 * rate);
        ASSERT_NE(table.entries, nullptr) << rate;
        const vexlo::SplitSine split = table.Split();
        ASSERT_TRUE(split) << "no split at " << rate << " Hz";
        int32_t wrong = 0;
        for (const int32_t i : TellingIndexes(table.length, split.fine_bits)) {
            if (Bits(split.Entry(i)) != Bits(LiteralEngine::SineEntry(i, table.length))) {
                ADD_FAILURE() << "entry " << i << " of " << table.length;
                if (++wrong > 5) break;
            }
        }
    }
}

// Short tables: wherever a split is offered it gives every entry, and most lengths are offered one.
// The two tables are each about the square root of the table's length: M is the least power of two
// whose square reaches it, and the coarse pairs cover every index.
TEST(SplitSineTable, ShortTablesWhereOfferedGiveEveryEntryFromTablesNearTheSquareRoot) {
    int32_t offered = 0;
    constexpr int32_t kLongest = 400;
    for (int32_t length = 1; length <= kLongest; ++length) {
        const int32_t bits = vexlo::SplitFineBits(length);
        const int64_t fine = int64_t{1} << bits;
        EXPECT_GE(fine * fine, length);
        EXPECT_LT(fine * fine, 4 * int64_t{length}) << length;
        const int64_t coarse = vexlo::SplitCoarseCount(length, bits);
        EXPECT_GE(coarse * fine, length);
        EXPECT_LT((coarse - 1) * fine, length);

        const HeldTable table(length);
        ASSERT_NE(table.entries, nullptr);
        const vexlo::SplitSine split = table.Split();
        if (!split) continue;
        ++offered;
        EXPECT_EQ(split.fine_bits, bits);
        for (int32_t i = 0; i < length; ++i) {
            ASSERT_EQ(Bits(split.Entry(i)), Bits(LiteralEngine::SineEntry(i, length))) << i << " of " << length;
        }
    }
    EXPECT_GT(offered, kLongest * 9 / 10);
    EXPECT_FALSE(vexlo::SplitSineOf(nullptr));
}

// The check names the first entry the split does not give: a table crafted from a built one is
// accepted as built, and refused at an entry moved by one ulp, or at a zero of the other sign.
TEST(SplitSineTable, CheckRefusesACraftedTableAtItsFirstDifferentEntry) {
    const HeldTable table(30 * 881);
    const vexlo::SplitSine split = table.Split();
    ASSERT_TRUE(split);
    std::vector<float> crafted(table.entries, table.entries + table.length);
    EXPECT_EQ(vexlo::FirstEntryNotSplit(crafted.data(), table.length, split), -1);

    crafted[20000] = std::nextafter(crafted[20000], 2.0f);
    EXPECT_EQ(vexlo::FirstEntryNotSplit(crafted.data(), table.length, split), 20000);
    crafted[777] = std::nextafter(crafted[777], -2.0f);
    EXPECT_EQ(vexlo::FirstEntryNotSplit(crafted.data(), table.length, split), 777);

    ASSERT_EQ(Bits(crafted[0]), Bits(0.0f));
    crafted[0] = -0.0f;
    EXPECT_EQ(vexlo::FirstEntryNotSplit(crafted.data(), table.length, split), 0);
}

// The packed forms are the scalar ones lane by lane: offsets of four indexes, and two entries at once,
// for random indexes over a 48 kHz table (and the table's last index).
TEST(SplitSineTable, PackedOffsetsAndPairsAreTheScalarOnesLaneByLane) {
    const HeldTable table(30 * 48000);
    const vexlo::SplitSine split = table.Split();
    ASSERT_TRUE(split);
    std::mt19937 rng(0x5B17);
    std::uniform_int_distribution<int32_t> index_of(0, table.length - 1);
    for (int trial = 0; trial < 2000; ++trial) {
        int32_t index[4];
        for (int32_t& i : index) i = index_of(rng);
        if (trial == 0) index[3] = table.length - 1;
        const vexlo::PackedInt32 lanes = vexlo::PackedInt32::Load(index);
        int32_t coarse[4];
        int32_t fine[4];
        split.CoarseOffset(lanes).Store(coarse);
        split.FineOffset(lanes).Store(fine);
        for (int lane = 0; lane < 4; ++lane) {
            ASSERT_EQ(coarse[lane], split.CoarseOffset(index[lane])) << index[lane];
            ASSERT_EQ(fine[lane], split.FineOffset(index[lane])) << index[lane];
        }
        alignas(16) double pair[2];
        _mm_store_pd(pair, split.Pair(coarse[0], fine[0], coarse[1], fine[1]));
        ASSERT_EQ(Bits(static_cast<float>(pair[0])), Bits(split.At(coarse[0], fine[0]))) << index[0];
        ASSERT_EQ(Bits(static_cast<float>(pair[1])), Bits(split.At(coarse[1], fine[1]))) << index[1];
        ASSERT_EQ(Bits(split.At(coarse[2], fine[2])), Bits(table.entries[index[2]])) << index[2];
    }
}

}  // namespace
