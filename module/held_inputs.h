// Which of a stretch's five input buffers keep the bits of their first sample, found in one scan; the
// engine asks through HeldInputsOf (engine_steps.h) once per stretch, and the answer picks the held
// path and its output loop. Bits, not values: -0 after +0, or a NaN whose payload changes, is a move,
// since a path that rests on a held input reuses its first sample's results, and those can differ in
// such bits.
//
// The scan tests groups of kScanGroup samples. First the first four samples of Freq and Phase, inlined
// into the loop over stretches: a cycle that moves there (every stretch of the modulated path, nearly)
// ends the scan at the cost of one load of each and no call. The rest is one call. Its first group is
// tested set by set, Freq and Phase first; then, while nothing moves, all five go together; at the
// first group in which one moves, that group is tested again set by set, and the scan goes on from the
// next group with only the sets still in question (the four but In after In moved; Freq and Phase
// alone after Depth or Offset moved). So each group is loaded once for the sets in question there,
// apart from the first and the one where a set first moves, and the scan stops as soon as the answer
// is known.
//
// Internal to the module.
#ifndef VEXLO_HELD_INPUTS_H
#define VEXLO_HELD_INPUTS_H

#include <emmintrin.h>

#include <bit>
#include <cstdint>

#include "oscillator_definition.h"

namespace vexlo {

// Which inputs of a stretch keep the bits of their first sample, by the steps that read them.
struct HeldInputs {
    bool cycle;  // Freq and Phase: every sample has the first one's period and phase offset, and the
                 // same activity as far as the frequency decides it
    bool depth;  // Depth and Offset: every sample has the first one's DepthEff and activity as far as
                 // the depth decides it
    bool gains;  // In, Depth and Offset: the output step's gains are the first sample's throughout
};

// The five input buffers of a stretch, each at the stretch's first sample.
struct StretchInputs {
    const float* in;
    const float* depth;
    const float* offset;
    const float* freq;
    const float* phase;
};

namespace held_inputs {

// Samples per group: four unaligned loads of each buffer (host buffers sit at any address), their
// differences or-ed into one, one test. Sixteen rather than eight halves the test and loop overhead per
// sample (seven instructions a group), while the first bits of five buffers, the differences and a load
// still fit x86-32's eight SSE registers.
inline constexpr int32_t kScanGroup = 16;

// One buffer of a stretch and the bits of its first sample.
class HeldBits {
public:
    explicit HeldBits(const float* first)
        : m_at(first), m_first(std::bit_cast<int32_t>(first[0])), m_first_lanes(_mm_set1_epi32(m_first)) {}

    // The bits in which samples k .. k + Width - 1 differ from the first sample's, or-ed lane by lane:
    // all zero exactly when none of them moved. Width kScanGroup reads four groups of four; Width 4 one;
    // Width 1 reads sample k alone (into lane 0), for stretches shorter than a group.
    template <int32_t Width>
    VEXLO_PER_SAMPLE __m128i Moved(int32_t k) const {
        if constexpr (Width == 1) {
            return _mm_cvtsi32_si128(std::bit_cast<int32_t>(m_at[k]) ^ m_first);
        } else if constexpr (Width == 4) {
            return Four(k);
        } else {
            static_assert(Width == kScanGroup);
            return _mm_or_si128(_mm_or_si128(Four(k), Four(k + 4)), _mm_or_si128(Four(k + 8), Four(k + 12)));
        }
    }

private:
    VEXLO_PER_SAMPLE __m128i Four(int32_t k) const {
        return _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m_at + k)), m_first_lanes);
    }

    const float* m_at;
    int32_t m_first;
    __m128i m_first_lanes;
};

// Two buffers the same step reads: Freq and Phase (the cycle), or Depth and Offset.
class HeldPair {
public:
    HeldPair(const float* first, const float* second) : m_first(first), m_second(second) {}

    // HeldBits::Moved of both, or-ed.
    template <int32_t Width>
    VEXLO_PER_SAMPLE __m128i Moved(int32_t k) const {
        return _mm_or_si128(m_first.Moved<Width>(k), m_second.Moved<Width>(k));
    }

private:
    HeldBits m_first;
    HeldBits m_second;
};

VEXLO_PER_SAMPLE bool AnyMoved(__m128i moved) {
    return _mm_movemask_epi8(_mm_cmpeq_epi32(moved, _mm_setzero_si128())) != 0xFFFF;
}

// The sets of buffers a test takes together.
enum class Scanned {
    kEvery,      // all five
    kAllButIn,   // Freq, Phase, Depth and Offset
    kCycleOnly,  // Freq and Phase
    kDepthOnly,  // Depth and Offset
    kInOnly,     // In
};

// The scan of one stretch of `count` samples (count >= Width) in groups of Width samples: at 0, Width,
// 2 Width, ... and a last one ending at the stretch's end (at `m_last`, overlapping its predecessor
// unless count is a multiple of Width), so that every load stays inside the stretch.
template <int32_t Width>
class StretchScan {
public:
    StretchScan(const StretchInputs& inputs, int32_t count)
        : m_in(inputs.in),
          m_depth(inputs.depth, inputs.offset),
          m_cycle(inputs.freq, inputs.phase),
          m_last(count - Width),
          m_count(count) {}

    // The start of the first group from `k` on in which any buffer of the set moves; count when there
    // is none. `k` is a group's start or the end of one (its start plus Width): an end past the last
    // start but short of count leaves the last group, which overlaps the one ending there, to test.
    template <Scanned set>
    VEXLO_PER_SAMPLE int32_t FirstMoved(int32_t k) const {
        for (; k < m_last; k += Width) {
            if (GroupMoved<set>(k)) return k;
        }
        if (k >= m_count) return m_count;
        return GroupMoved<set>(m_last) ? m_last : m_count;
    }

    // Whether any buffer of the set moves in the group at `k`.
    template <Scanned set>
    VEXLO_PER_SAMPLE bool GroupMoved(int32_t k) const {
        const auto cycle = [&] { return m_cycle.Moved<Width>(k); };
        const auto depth = [&] { return m_depth.Moved<Width>(k); };
        const auto in = [&] { return m_in.Moved<Width>(k); };
        if constexpr (set == Scanned::kEvery) return AnyMoved(_mm_or_si128(cycle(), _mm_or_si128(depth(), in())));
        if constexpr (set == Scanned::kAllButIn) return AnyMoved(_mm_or_si128(cycle(), depth()));
        if constexpr (set == Scanned::kCycleOnly) return AnyMoved(cycle());
        if constexpr (set == Scanned::kDepthOnly) return AnyMoved(depth());
        if constexpr (set == Scanned::kInOnly) return AnyMoved(in());
    }

private:
    const HeldBits m_in;
    const HeldPair m_depth;  // Depth and Offset
    const HeldPair m_cycle;  // Freq and Phase
    const int32_t m_last;
    const int32_t m_count;
};

// The scan. Out of line: inlined into the loop over stretches, its loops ran short of registers and
// took a tenth longer.
template <int32_t Width>
__attribute__((noinline)) HeldInputs Scan(const StretchInputs& inputs, int32_t count) {
    const StretchScan<Width> scan(inputs, count);

    // The first group, set by set.
    if (scan.template GroupMoved<Scanned::kCycleOnly>(0)) return {};  // the held path will not run
    bool depth_moved = scan.template GroupMoved<Scanned::kDepthOnly>(0);
    int32_t k = 0;
    if (!depth_moved && !scan.template GroupMoved<Scanned::kInOnly>(0)) {
        // Nothing moved yet: all five on.
        k = scan.template FirstMoved<Scanned::kEvery>(k + Width);
        if (k == count) return {.cycle = true, .depth = true, .gains = true};
        if (scan.template GroupMoved<Scanned::kCycleOnly>(k)) return {};
        depth_moved = scan.template GroupMoved<Scanned::kDepthOnly>(k);
    }

    // In, Depth or Offset moved in group k, and Freq and Phase did not: the gains move. If Depth and
    // Offset held, the four but In on.
    if (!depth_moved) {
        k = scan.template FirstMoved<Scanned::kAllButIn>(k + Width);
        if (k == count) return {.cycle = true, .depth = true, .gains = false};
        if (scan.template GroupMoved<Scanned::kCycleOnly>(k)) return {};
    }

    // Depth or Offset moved in group k, and Freq and Phase held up to it and in it: those two on.
    k = scan.template FirstMoved<Scanned::kCycleOnly>(k + Width);
    return {.cycle = k == count, .depth = false, .gains = false};
}

}  // namespace held_inputs

// HeldInputs for a stretch of `count` samples, count >= 1. When the cycle moves, the held path does not
// run and the scan stops there: depth and gains are then false, whatever those inputs do. The first four
// samples of Freq and Phase are tested here, inlined into the loop over stretches, so that a cycle that
// moves at once (every stretch of the modulated path, nearly) costs one load of each and no call.
VEXLO_PER_SAMPLE HeldInputs HeldInputsOf(const StretchInputs& inputs, int32_t count) {
    using held_inputs::kScanGroup;
    if (count < kScanGroup) return held_inputs::Scan<1>(inputs, count);
    if (held_inputs::AnyMoved(held_inputs::HeldPair(inputs.freq, inputs.phase).Moved<4>(0))) return {};
    return held_inputs::Scan<kScanGroup>(inputs, count);
}

}  // namespace vexlo

#endif  // VEXLO_HELD_INPUTS_H
