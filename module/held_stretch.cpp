// The process path for stretches whose inputs hold still: one full step, then a lean loop per wave.
//
// Held inputs give every sample of the stretch the first one's F, PF and DepthEff: the same activity,
// period and phase offset, no rescale, and a count and position that move on by one per sample, mod P.
#include <emmintrin.h>

#include <algorithm>
#include <cmath>

#include "engine_steps.h"
#include "shared_sine_table.h"

namespace vexlo {

// One class of the residue order per second of the table's cycle, so that each holds R entries.
static_assert(kResidueClasses == kTableSecondsPerCycle);

namespace {

// The held values of a stretch after its first sample.
struct HeldSamples {
    int32_t position;  // of the first sample
    int32_t period;    // P
    double inverse;    // 1.0 / P
    double depth_eff;  // DepthEff
    double offset;
    double in;
};

VEXLO_PER_SAMPLE int32_t NextPosition(int32_t position, int32_t period) {
    return position + 1 < period ? position + 1 : 0;
}

// 14 for four wave values at once, two per register: each lane's operations and their order are those
// of OutputOf.
VEXLO_PER_SAMPLE __m128 OutputsOf(__m128 waves, __m128d depth_eff, __m128d offset, __m128d in) {
    const __m128d low = _mm_cvtps_pd(waves);
    const __m128d high = _mm_cvtps_pd(_mm_movehl_ps(waves, waves));
    const __m128 out_low = _mm_cvtpd_ps(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(low, depth_eff), offset), in));
    const __m128 out_high = _mm_cvtpd_ps(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(high, depth_eff), offset), in));
    return _mm_movelh_ps(out_low, out_high);
}

// Samples after the first: out[0, n) for the positions after held.position.
template <class Wave>
void HeldLoop(const Wave& wave, const HeldSamples& held, float* out, int32_t n) {
    int32_t position = held.position;
    for (int32_t k = 0; k < n; ++k) {
        position = NextPosition(position, held.period);
        out[k] = OutputOf(wave.At(position, held.period, held.inverse), held.depth_eff, held.offset, held.in);
    }
}

// Any other selector: every sample has the same output.
void HeldLoop(const SilentWave&, const HeldSamples& held, float* out, int32_t n) {
    std::fill(out, out + n, OutputOf(0.0, held.depth_eff, held.offset, held.in));
}

// The sine-table indexes of the n positions after held.position into index[0, n), for P >= 4, or with
// kByResidue their addresses in the residue order (N a multiple of 30); up to three entries beyond n
// are written too (index has room for n + 3). Each run of positions without a wrap steps four positions
// on at once: the run's first four indexes lane by lane, then quotient and remainder four positions on
// per step. In the residue order the address of index i = 30c + r is r x N / 30 + c; it follows the
// index's steps exactly: adding 30 dc + dr to the index adds dr x N / 30 + dc to the address, and when
// r + dr reaches 30 (it stays below 60), r loses 30 and c gains one, which adds 1 - N.
template <bool kByResidue>
void SteppedIndexes(int32_t length, const HeldSamples& held, int32_t* index, int32_t n) {
    const int32_t period = held.period;
    // N = Q x P + S, and 4S = A x P + B. Here P <= N < 2^27, so 4S, 4Q + A and r + B stay well inside
    // 32 bits.
    const int32_t quotient = length / period;
    const int32_t rest = length % period;
    const int32_t four_on = 4 * quotient + 4 * rest / period;
    const __m128i four_on_index = _mm_set1_epi32(four_on);
    const __m128i four_on_rest = _mm_set1_epi32(4 * rest % period);
    const __m128i last_rest = _mm_set1_epi32(period - 1);
    const __m128i whole = _mm_set1_epi32(period);
    const int32_t class_length = length / kResidueClasses;
    const __m128i four_on_residue = _mm_set1_epi32(four_on % kResidueClasses);
    const __m128i four_on_address =
        _mm_set1_epi32(four_on % kResidueClasses * class_length + four_on / kResidueClasses);
    const __m128i next_class = _mm_set1_epi32(class_length);
    const __m128i last_residue = _mm_set1_epi32(kResidueClasses - 1);
    const __m128i classes = _mm_set1_epi32(kResidueClasses);
    const __m128i class_wrap = _mm_set1_epi32(1 - length);

    int32_t position = held.position;
    for (int32_t done = 0; done < n;) {
        // A run of positions from the next one up to the end of the period (or of the stretch).
        position = NextPosition(position, period);
        const int32_t run = std::min(n - done, period - position);

        // The indexes of the run's first four positions, lane by lane (with P >= 4 they are in the
        // period, but lanes beyond the run are overwritten by the next run or lie past n).
        alignas(16) int32_t lane_index[4];
        alignas(16) int32_t lane_rest[4];
        alignas(16) int32_t lane_residue[4];
        SineStep step = SineStep::At(length, position, period, held.inverse);
        for (int32_t lane = 0; lane < 4; ++lane) {
            lane_index[lane] = kByResidue ? ResidueAddress(length, step.index) : step.index;
            lane_rest[lane] = step.rest;
            lane_residue[lane] = kByResidue ? step.index % kResidueClasses : 0;
            step.index += quotient;
            step.rest += rest;
            if (step.rest >= period) {
                ++step.index;
                step.rest -= period;
            }
        }
        __m128i lanes = _mm_load_si128(reinterpret_cast<const __m128i*>(lane_index));
        __m128i remainder = _mm_load_si128(reinterpret_cast<const __m128i*>(lane_rest));
        __m128i residue = _mm_load_si128(reinterpret_cast<const __m128i*>(lane_residue));
        for (int32_t k = 0; k < run; k += 4) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(index + done + k), lanes);
            // Four positions on: a remainder of P or more carries one into the index (the mask is -1).
            remainder = _mm_add_epi32(remainder, four_on_rest);
            const __m128i carry = _mm_cmpgt_epi32(remainder, last_rest);
            remainder = _mm_sub_epi32(remainder, _mm_and_si128(carry, whole));
            if constexpr (kByResidue) {
                lanes = _mm_add_epi32(_mm_add_epi32(lanes, four_on_address), _mm_and_si128(carry, next_class));
                residue = _mm_sub_epi32(_mm_add_epi32(residue, four_on_residue), carry);
                const __m128i wrap = _mm_cmpgt_epi32(residue, last_residue);
                residue = _mm_sub_epi32(residue, _mm_and_si128(wrap, classes));
                lanes = _mm_add_epi32(lanes, _mm_and_si128(wrap, class_wrap));
            } else {
                lanes = _mm_sub_epi32(_mm_add_epi32(lanes, four_on_index), carry);
            }
        }
        done += run;
        position += run - 1;
    }
}

// 14 for In = 1, an Offset of zero (of either sign) and a finite DepthEff, four samples per
// single-precision multiply. Why it equals the double steps: w and DepthEff are singles, so their
// product p (48 significant bits) is exact in double, and multiplying by In = 1 changes nothing.
// Adding Offset = -0 changes no value, so the literal output is p rounded once to single, which is
// what the single multiply gives. Adding +0 changes only an exact zero: p is +-0 exactly when w is 0
// (DepthEff is not 0 in an active sample, and finite), and then the literal output is +0; every other
// p is unchanged, and rounded once as before (a p that rounds to -0 in single stays -0 in double too).
void UnitGainOutputs(const float* table, const int32_t* index, float depth_eff, float offset, float* out, int32_t n) {
    const __m128 depth = _mm_set1_ps(depth_eff);
    const __m128 zero = _mm_setzero_ps();
    // All ones when a zero wave gives +0 (Offset +0), none when it keeps the product's sign (Offset -0).
    const __m128 plus_zero = std::signbit(offset) ? zero : _mm_castsi128_ps(_mm_set1_epi32(-1));
    int32_t k = 0;
    for (; k + 4 <= n; k += 4) {
        const __m128 waves =
            _mm_setr_ps(table[index[k]], table[index[k + 1]], table[index[k + 2]], table[index[k + 3]]);
        const __m128 to_plus_zero = _mm_and_ps(_mm_cmpeq_ps(waves, zero), plus_zero);
        _mm_storeu_ps(out + k, _mm_andnot_ps(to_plus_zero, _mm_mul_ps(waves, depth)));
    }
    for (; k < n; ++k) {
        const float wave = table[index[k]];
        out[k] = wave == 0.0f && !std::signbit(offset) ? 0.0f : wave * depth_eff;
    }
}

// The sine, in two passes: first the table indexes of all n positions, four at a time (see "Stepping"
// in sine_index.h), then the reads and outputs, four at a time in two registers. Kept apart, each loop
// holds its constants in registers, and the reads, which mostly miss the first-level cache, depend on
// nothing but the index array, so many of them are in flight at once.
// Short periods, whose runs are too short to gain from it, take the generic loop.
void HeldLoop(const SineWave& wave, const HeldSamples& held, float* out, int32_t n) {
    constexpr int32_t kShortestStepped = 16;
    if (held.period < kShortestStepped) {
        HeldLoop<SineWave>(wave, held, out, n);
        return;
    }
    alignas(16) int32_t index[kStretch + 4];
    const bool by_residue = DenserByResidue(wave.length, held.period);
    if (by_residue) {
        SteppedIndexes<true>(wave.length, held, index, n);
    } else {
        SteppedIndexes<false>(wave.length, held, index, n);
    }

    const float* const table = by_residue ? ResidueOrder(wave.table, wave.length) : wave.table;
    if (held.in == 1.0 && held.offset == 0.0 && std::isfinite(held.depth_eff)) {
        UnitGainOutputs(table, index, static_cast<float>(held.depth_eff), static_cast<float>(held.offset), out, n);
        return;
    }
    const __m128d depth_eff = _mm_set1_pd(held.depth_eff);
    const __m128d offset = _mm_set1_pd(held.offset);
    const __m128d in = _mm_set1_pd(held.in);
    int32_t k = 0;
    for (; k + 4 <= n; k += 4) {
        const __m128 waves =
            _mm_setr_ps(table[index[k]], table[index[k + 1]], table[index[k + 2]], table[index[k + 3]]);
        _mm_storeu_ps(out + k, OutputsOf(waves, depth_eff, offset, in));
    }
    for (; k < n; ++k) out[k] = OutputOf(table[index[k]], held.depth_eff, held.offset, held.in);
}

// The square: first the smoother's sums (its chain), then the averages and outputs two at a time.
//
// Settled runs: once the last W + 1 samples written are one level, every ring slot holds it, so each
// further sample of that level leaves the ring as it is and (see SquareSmoother::StepSum) makes the sum
// sum x leak in single precision, while 2^-28 <= |sum| < 2^29. The magnitude never grows under the
// leak (rounding is monotonic and the leak below 1), so a run that ends with |sum| >= 2^-28 stayed in
// range throughout; one that does not is taken again step by step. Such a run costs one multiply per
// sample, and the write slot moves on by the run's length.
void HeldLoop(const SquareWave& wave, const HeldSamples& held, float* out, int32_t n) {
    float sums[kStretch];
    SquareSmoother local = *wave.smoother;
    const int32_t period = held.period;
    const bool leaky = local.window > 1 && local.window == local.last_window && local.ring_length == local.window + 1;
    int32_t position = held.position;
    float level = SquareLevel(position, period);  // the level written last (the first sample's)
    int32_t same = 0;                             // samples of that level written last in a row, at most W + 1
    for (int32_t k = 0; k < n;) {
        const int32_t next = NextPosition(position, period);
        const float sample = SquareLevel(next, period);
        const float size = std::fabs(local.sum);
        if (leaky && same > local.window && sample == level && size >= 0x1p-28f && size < 0x1p29f) {
            // The rest of this level: up to the half period, or up to the end of the period.
            const int32_t level_end = sample > 0.0f ? (period + 1) / 2 : period;
            const int32_t run = std::min(n - k, level_end - next);
            float sum = local.sum;
            for (int32_t j = 0; j < run; ++j) {
                sum = sum * kSmootherLeak;
                sums[k + j] = sum;
            }
            if (std::fabs(sum) >= 0x1p-28f) {
                local.sum = sum;
                local.index = static_cast<int32_t>((static_cast<int64_t>(local.index) + run) % local.ring_length);
                position = next + run - 1;
                k += run;
                continue;
            }
        }
        sums[k] = local.StepSum(sample);
        same = sample == level ? std::min(same + 1, local.window + 1) : 1;
        level = sample;
        position = next;
        ++k;
    }
    *wave.smoother = local;

    const __m128d window = _mm_set1_pd(local.window > 1 ? static_cast<double>(local.window) : 1.0);
    const __m128d depth_eff = _mm_set1_pd(held.depth_eff);
    const __m128d offset = _mm_set1_pd(held.offset);
    const __m128d in = _mm_set1_pd(held.in);
    int32_t k = 0;
    for (; k + 2 <= n; k += 2) {
        const __m128d smoothed = _mm_div_pd(_mm_setr_pd(sums[k], sums[k + 1]), window);
        const __m128 outputs = _mm_cvtpd_ps(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(smoothed, depth_eff), offset), in));
        _mm_storel_pi(reinterpret_cast<__m64*>(out + k), outputs);
    }
    if (k < n) out[k] = OutputOf(SmoothedOf(sums[k], local.window), held.depth_eff, held.offset, held.in);
}

}  // namespace

template <class Wave>
void RunHeld(const Block& block, const Tables& tables, int32_t from, int32_t count, Cycle& cycle, Wave wave) {
    // The first sample takes every step: it may start or rescale the cycle.
    Measured first;
    Measure(block, from, 1, tables.rate, first);
    CountChain chain = CountChain::From(cycle);
    const int32_t period = first.period[0];
    const int32_t position = chain.Step(period, first.inverse[0], first.phase_offset[0]);
    cycle = chain.ToCycle();
    const float in = block.in[from];
    const float offset = block.offset[from];

    // Inactive, every sample is Offset x In again.
    if (position < 0) {
        std::fill(block.out + from, block.out + from + count, InactiveOutput(offset, in));
        return;
    }
    block.out[from] = OutputOf(wave.At(position, period, first.inverse[0]), first.depth_eff[0], offset, in);

    HeldLoop(wave, {position, period, first.inverse[0], first.depth_eff[0], offset, in}, block.out + from + 1,
             count - 1);

    // The count moved on with the position: count + (n - 1) mod P.
    cycle.count = AddWrapped(cycle.count, (count - 1) % period, period);
}

template void RunHeld<SineWave>(const Block&, const Tables&, int32_t, int32_t, Cycle&, SineWave);
template void RunHeld<TriangleWave>(const Block&, const Tables&, int32_t, int32_t, Cycle&, TriangleWave);
template void RunHeld<SquareWave>(const Block&, const Tables&, int32_t, int32_t, Cycle&, SquareWave);
template void RunHeld<SilentWave>(const Block&, const Tables&, int32_t, int32_t, Cycle&, SilentWave);

}  // namespace vexlo
