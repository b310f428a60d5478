// The engine's scan for held inputs (HeldInputsOf) against a plain per-sample reference: each buffer
// keeps its bits when every sample of the stretch has the first sample's bits. Moves at every sample of
// stretches of every length up to 40 and of a whole stretch, in each buffer and in several at once, at
// addresses of every alignment, with different samples around the stretch; and moves that only the bits
// show (-0 after +0, NaN payloads).
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine_steps.h"

namespace {

// The five inputs in Block's order of the scan's sets.
enum Input { kIn, kDepth, kOffset, kFreq, kPhase, kInputs };
const char* const kNames[kInputs] = {"In", "Depth", "Offset", "Freq", "Phase"};

// Samples before and after the stretch in every buffer, all differing from the stretch's samples: a scan
// that reads outside the stretch sees them move.
constexpr int32_t kMargin = 24;

// Five buffers holding a stretch of `count` samples at `from`, each sample first set to the buffer's
// own held value.
class Stretch {
public:
    Stretch(int32_t from, int32_t count) : m_from(from), m_count(count) {
        const float held[kInputs] = {1.0f, 0.5f, 0.0f, 0.1f, -0.25f};
        for (int i = 0; i < kInputs; ++i) {
            m_buffers[i].assign(static_cast<size_t>(from + count + kMargin), -7.0f);
            for (int32_t k = 0; k < count; ++k) Sample(static_cast<Input>(i), k) = held[i];
        }
    }

    float& Sample(Input input, int32_t k) { return m_buffers[input][static_cast<size_t>(m_from + k)]; }

    // Flips one bit of sample k, a different bit for each sample, so that every lane and every bit of a
    // word counts.
    void Move(Input input, int32_t k) {
        float& sample = Sample(input, k);
        sample = std::bit_cast<float>(std::bit_cast<uint32_t>(sample) ^ (1u << ((k * 7 + input) % 32)));
    }

    vexlo::HeldInputs Scanned() {
        std::vector<float> out(m_buffers[kIn].size());
        const vexlo::Block block{m_buffers[kIn].data(),
                                 m_buffers[kDepth].data(),
                                 m_buffers[kOffset].data(),
                                 m_buffers[kFreq].data(),
                                 m_buffers[kPhase].data(),
                                 out.data(),
                                 0,
                                 false,
                                 false};
        return vexlo::HeldInputsOf(block, m_from, m_count);
    }

    // The reference: what separate scans of each buffer, sample by sample, answer.
    vexlo::HeldInputs Expected() {
        bool held[kInputs];
        for (int i = 0; i < kInputs; ++i) {
            held[i] = true;
            for (int32_t k = 1; k < m_count; ++k) {
                held[i] = held[i] && std::bit_cast<uint32_t>(Sample(static_cast<Input>(i), k)) ==
                                         std::bit_cast<uint32_t>(Sample(static_cast<Input>(i), 0));
            }
        }
        const bool cycle = held[kFreq] && held[kPhase];
        // A moving cycle leaves the rest unasked.
        if (!cycle) return {false, false, false};
        const bool depth = held[kDepth] && held[kOffset];
        return {true, depth, depth && held[kIn]};
    }

private:
    int32_t m_from;
    int32_t m_count;
    std::vector<float> m_buffers[kInputs];
};

std::string Answer(const vexlo::HeldInputs& held) {
    return std::string("cycle ") + (held.cycle ? "held" : "moves") + ", depth " + (held.depth ? "held" : "moves") +
           ", gains " + (held.gains ? "held" : "moves");
}

::testing::AssertionResult ScansAsReference(Stretch& stretch, const std::string& what) {
    const vexlo::HeldInputs scanned = stretch.Scanned(), expected = stretch.Expected();
    if (scanned.cycle == expected.cycle && scanned.depth == expected.depth && scanned.gains == expected.gains)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << what << ": scanned " << Answer(scanned) << ", expected "
                                         << Answer(expected);
}

std::vector<int32_t> Lengths() {
    std::vector<int32_t> lengths;
    for (int32_t count = 1; count <= 40; ++count) lengths.push_back(count);
    lengths.push_back(vexlo::kStretch - 1);
    lengths.push_back(vexlo::kStretch);
    return lengths;
}

std::string Where(int32_t from, int32_t count) {
    return "stretch of " + std::to_string(count) + " at " + std::to_string(from);
}

TEST(HeldInputs, AllHeldAtEveryLengthAndAlignment) {
    for (const int32_t count : Lengths()) {
        for (int32_t from = 0; from < 4; ++from) {
            Stretch stretch(from, count);
            ASSERT_TRUE(ScansAsReference(stretch, Where(from, count)));
            const vexlo::HeldInputs held = stretch.Scanned();
            EXPECT_TRUE(held.cycle && held.depth && held.gains) << Where(from, count);
        }
    }
}

// One buffer moves at one sample, for every buffer and every sample (the first included: then all the
// others differ from it), so that moves fall in the first group, at group boundaries, in the last
// group overlapping its predecessor and at the very last sample.
TEST(HeldInputs, OneMoveAnywhereInAnyBuffer) {
    for (const int32_t count : Lengths()) {
        for (int i = 0; i < kInputs; ++i) {
            for (int32_t at = 0; at < count; ++at) {
                const int32_t from = (at + i) % 4;
                Stretch stretch(from, count);
                stretch.Move(static_cast<Input>(i), at);
                ASSERT_TRUE(ScansAsReference(
                    stretch, Where(from, count) + ", " + kNames[i] + " moves at " + std::to_string(at)));
            }
        }
    }
}

// Several buffers move, each at its own sample, in every order the scan narrows its sets: In, then
// Depth or Offset, then the cycle, in the same group or groups apart. A move is one sample that differs
// (the buffer comes back) or a step that lasts to the end of the stretch.
TEST(HeldInputs, SeveralMovesInAnyOrder) {
    std::mt19937 random(0x5CA9u);
    for (const int32_t count : Lengths()) {
        for (int trial = 0; trial < 300; ++trial) {
            const int32_t from = static_cast<int32_t>(random() % 4);
            Stretch stretch(from, count);
            std::string what = Where(from, count);
            for (int i = 0; i < kInputs; ++i) {
                if (random() % 2 != 0) continue;
                const int32_t at = static_cast<int32_t>(random() % static_cast<uint32_t>(count));
                const bool step = random() % 2 == 0;
                stretch.Move(static_cast<Input>(i), at);
                for (int32_t k = at + 1; step && k < count; ++k)
                    stretch.Sample(static_cast<Input>(i), k) = stretch.Sample(static_cast<Input>(i), at);
                what += std::string(", ") + kNames[i] + (step ? " steps at " : " moves at ") + std::to_string(at);
            }
            ASSERT_TRUE(ScansAsReference(stretch, what));
        }
    }
}

// Bits, not values: -0 after +0 and a NaN whose payload changes are moves, though they compare equal
// (or unordered) as numbers; the same NaN throughout is held.
TEST(HeldInputs, MovesAreInTheBits) {
    const float quiet_nan = std::numeric_limits<float>::quiet_NaN();
    const float other_nan = std::bit_cast<float>(std::bit_cast<uint32_t>(quiet_nan) | 1u);
    struct Case {
        const char* name;
        float first, later;
        bool moves;
    };
    const Case cases[] = {{"+0 then -0", 0.0f, -0.0f, true},
                          {"-0 then +0", -0.0f, 0.0f, true},
                          {"NaN then another payload", quiet_nan, other_nan, true},
                          {"the same NaN", quiet_nan, quiet_nan, false},
                          {"a denormal then the next", std::numeric_limits<float>::denorm_min(),
                           2 * std::numeric_limits<float>::denorm_min(), true}};
    for (const Case& c : cases) {
        for (const int32_t count : {2, 15, 16, 17, 40, vexlo::kStretch}) {
            for (int i = 0; i < kInputs; ++i) {
                for (const int32_t at : {1, count / 2, count - 1}) {
                    Stretch stretch(1, count);
                    const Input input = static_cast<Input>(i);
                    for (int32_t k = 0; k < count; ++k) stretch.Sample(input, k) = k < at ? c.first : c.later;
                    const std::string what =
                        Where(1, count) + ", " + kNames[i] + " " + c.name + " at " + std::to_string(at);
                    ASSERT_TRUE(ScansAsReference(stretch, what));
                    const vexlo::HeldInputs held = stretch.Scanned();
                    EXPECT_EQ(held.cycle && held.depth && held.gains, !c.moves) << what;
                }
            }
        }
    }
}

}  // namespace
