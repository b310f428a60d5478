// Ways a host may cut one stream into process calls: whole blocks of the size it set, single samples,
// odd and random sizes, and blocks cut at random points into calls at non-zero buffer offsets. No
// call is longer than the block size, and none reaches past it (offset + count <= block size), as
// the host's buffers hold one block.
#ifndef TRHOST_VALIDATE_PARTITION_H
#define TRHOST_VALIDATE_PARTITION_H

#include <cstdint>
#include <string>
#include <vector>

#include "random.h"

namespace trhost::validate {

struct ProcessCall {
    int32_t offset = 0;
    int32_t count = 0;
};

struct Partition {
    std::string name;                // "1-sample calls through each block"
    std::vector<ProcessCall> calls;  // in order; the counts add up to the stream's length

    // "call 12 (17 samples at offset 40)": the call that makes stream sample `sample`.
    std::string Locate(int32_t sample) const;
};

// Blocks of `block` samples at offset 0: what a host does when nothing interrupts it.
Partition WholeBlocks(int32_t length, int32_t block);

// The partitions a check at `level` tries beside WholeBlocks, for a stream of `length` samples and a
// host block size of `block`.
std::vector<Partition> OtherPartitions(int32_t length, int32_t block, int level, Random& random);

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_PARTITION_H
