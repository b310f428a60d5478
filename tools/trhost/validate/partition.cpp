#include "partition.h"

#include <algorithm>

#include "check.h"

namespace trhost::validate {

namespace {

// Calls of the sizes `next` gives, each at the offset `place` gives for it, until `length` is made.
template <class Size, class Place>
Partition Cut(std::string name, int32_t length, int32_t block, Size next, Place place) {
    Partition partition{std::move(name), {}};
    for (int32_t made = 0; made < length;) {
        int32_t count = std::min({next(made), length - made, block});
        int32_t offset = place(made, count);
        partition.calls.push_back({offset, count});
        made += count;
    }
    return partition;
}

}  // namespace

std::string Partition::Locate(int32_t sample) const {
    int32_t made = 0;
    for (size_t i = 0; i < calls.size(); ++i) {
        if (sample < made + calls[i].count) {
            return "call " + std::to_string(i) + " (" + std::to_string(calls[i].count) + " sample" +
                   (calls[i].count == 1 ? "" : "s") + " at offset " + std::to_string(calls[i].offset) + ")";
        }
        made += calls[i].count;
    }
    return "past the last call";
}

Partition WholeBlocks(int32_t length, int32_t block) {
    return Cut(
        "blocks of " + std::to_string(block) + " (the host's block size)", length, block,
        [&](int32_t) { return block; }, [](int32_t, int32_t) { return 0; });
}

std::vector<Partition> OtherPartitions(int32_t length, int32_t block, int level, Random& random) {
    auto at_start = [](int32_t, int32_t) { return 0; };
    auto within_block = [block](int32_t made, int32_t) { return made % block; };
    std::vector<Partition> partitions;
    partitions.push_back(Cut(
        "1-sample calls through each block", length, block, [](int32_t) { return 1; }, within_block));
    if (level >= kDefaultLevel) {
        constexpr int32_t kOddSizes[] = {3, 7, 61, 127, 1, 33};
        size_t turn = 0;
        partitions.push_back(Cut(
            "calls of 3, 7, 61, 127, 1 and 33 samples in turn at offset 0", length, block,
            [&](int32_t) { return kOddSizes[turn++ % std::size(kOddSizes)]; }, at_start));
    }
    int rounds = level >= kDeepestLevel ? 3 : 1;
    for (int round = 0; round < rounds; ++round) {
        partitions.push_back(Cut(
            "random sizes from 1 to " + std::to_string(block) + " at offset 0", length, block,
            [&](int32_t) { return random.Between(1, block); }, at_start));
        // Blocks of the host's size, each cut at one to four random points, as a host that delivers
        // events within a block does: every call after the first in a block starts at its offset.
        partitions.push_back(Cut(
            "blocks of " + std::to_string(block) + " cut at random points (calls at non-zero offsets)", length, block,
            [&](int32_t made) {
                int32_t left = block - made % block;
                return random.Between(0, 3) == 0 ? left : random.Between(1, left);
            },
            within_block));
        if (level >= kDefaultLevel) {
            partitions.push_back(Cut(
                "random sizes at random offsets", length, block, [&](int32_t) { return random.Between(1, block); },
                [&](int32_t, int32_t count) { return random.Between(0, block - count); }));
        }
    }
    return partitions;
}

}  // namespace trhost::validate
