// The process path for stretches whose cycle holds still: Freq and Phase keep their bits, so every sample
// has the first one's F and PF, hence its period and phase offset. When every sample is also active
// there is no rescale and no reset: the count and position move on by one per sample, mod P, and the
// wave at each position does not depend on In, Depth or Offset, which only the output step reads (and
// the activity test, checked first). One full step, then a lean loop per wave, then the output step
// with the gains held (In, Depth and Offset keep their bits too), In alone per sample (a tremolo), or
// all per sample (audio on Depth or Offset).
#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "engine_steps.h"
#include "path_counters.h"
#include "shared_sine_table.h"

namespace vexlo {

// One class of the residue order per second of the table's cycle, so that each holds R entries.
static_assert(kResidueClasses == kTableSecondsPerCycle);

namespace {

// The held cycle of a stretch.
struct HeldSamples {
    int32_t position;  // of the sample before the first: the first sample's position is the next one
    int32_t period;    // P
    double inverse;    // 1.0 / P
};

VEXLO_PER_SAMPLE int32_t NextPosition(int32_t position, int32_t period) {
    return position + 1 < period ? position + 1 : 0;
}

// The output step runs on pairs of doubles, and each pair goes in and out of single precision on its
// own: two singles load and convert as one pair, and a pair's two outputs store as they are rounded.
// Packing four singles into one register and taking its halves apart costs a shuffle per pair, and
// the shuffles and conversions share the execution port that bounds these loops.
// Two singles from memory as a pair of doubles: one load and one conversion, no shuffle.
VEXLO_PER_SAMPLE __m128d SinglesPair(const float* at) {
    return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at))));
}
// Two table entries as a pair of doubles.
VEXLO_PER_SAMPLE __m128d EntryPair(float first, float second) {
    return _mm_cvtps_pd(_mm_unpacklo_ps(_mm_set_ss(first), _mm_set_ss(second)));
}
// A pair of outputs rounded to single and stored at out[0, 2).
VEXLO_PER_SAMPLE void StorePair(float* out, __m128d outputs) {
    _mm_storel_pi(reinterpret_cast<__m64*>(out), _mm_cvtpd_ps(outputs));
}

// The output step's gains over the stretch, sample k counted from its first sample: Output for one
// sample, Pair for samples k and k + 1 (before rounding to single), each lane as OutputOf.
//   Held: In, Depth and Offset keep their bits, so every sample has the first one's.
struct HeldGains {
    double depth_eff;
    double offset;
    double in;
    VEXLO_PER_SAMPLE float Output(int32_t, double wave) const { return OutputOf(wave, depth_eff, offset, in); }
    VEXLO_PER_SAMPLE __m128d Pair(int32_t, __m128d waves) const {
        return OutputBeforeRounding<PackedDouble>(waves, _mm_set1_pd(depth_eff), _mm_set1_pd(offset), _mm_set1_pd(in));
    }
};
//   Per sample: each sample's own DepthEff (measured first) and its Offset and In.
struct SampleGains {
    const float* depth_eff;
    const float* offset;
    const float* in;
    VEXLO_PER_SAMPLE float Output(int32_t k, double wave) const {
        return OutputOf(wave, depth_eff[k], offset[k], in[k]);
    }
    VEXLO_PER_SAMPLE __m128d Pair(int32_t k, __m128d waves) const {
        return OutputBeforeRounding<PackedDouble>(waves, SinglesPair(depth_eff + k), SinglesPair(offset + k),
                                                  SinglesPair(in + k));
    }
};
//   In alone per sample: Depth and Offset keep their bits (a tremolo), so DepthEff and Offset are the
//   first sample's.
struct InGains {
    double depth_eff;
    double offset;
    const float* in;
    VEXLO_PER_SAMPLE float Output(int32_t k, double wave) const { return OutputOf(wave, depth_eff, offset, in[k]); }
    VEXLO_PER_SAMPLE __m128d Pair(int32_t k, __m128d waves) const {
        return OutputBeforeRounding<PackedDouble>(waves, _mm_set1_pd(depth_eff), _mm_set1_pd(offset),
                                                  SinglesPair(in + k));
    }
};

// The stretch's samples, out[0, n) for the n positions after held.position, one at a time: the
// triangle (whose division per sample bounds it; a packed form runs no faster), and short sine periods.
template <class Wave, class Gains>
void HeldLoopStepwise(const Wave& wave, const HeldSamples& held, const Gains& gains, float* out, int32_t n) {
    VEXLO_COUNT_PATH(HeldLoopStepwise);
    int32_t position = held.position;
    for (int32_t k = 0; k < n; ++k) {
        position = NextPosition(position, held.period);
        out[k] = gains.Output(k, wave.At(position, held.period, held.inverse));
    }
}

// The triangle: one at a time.
template <class Gains>
void HeldLoop(const TriangleWave& wave, const HeldSamples& held, const Gains& gains, float* out, int32_t n) {
    HeldLoopStepwise(wave, held, gains, out, n);
}

// Any other selector: a wave of 0 throughout; with held gains every sample has the same output.
template <class Gains>
void HeldLoop(const SilentWave& wave, const HeldSamples& held, const Gains& gains, float* out, int32_t n) {
    VEXLO_COUNT_PATH(HeldSilent);
    if constexpr (std::is_same_v<Gains, HeldGains>) {
        std::fill(out, out + n, gains.Output(0, 0.0));
    } else {
        int32_t k = 0;
        for (; k + 2 <= n; k += 2) StorePair(out + k, gains.Pair(k, _mm_setzero_pd()));
        for (; k < n; ++k) out[k] = gains.Output(k, 0.0);
        static_cast<void>(wave);
        static_cast<void>(held);
    }
}

// The sine-table indexes of the n positions after held.position into index[0, n), for P >= 8, or with
// kByResidue their addresses in the residue order (N a multiple of 30); up to seven entries beyond n
// are written too (index has room for n + 7). Each run of positions without a wrap steps eight
// positions on at once, in two sets of four lanes: the run's first eight indexes one by one, then
// quotient and remainder eight positions on per step. The two sets do not depend on each other, so
// their steps overlap (one set's chain of add, compare, mask and subtract would bound the loop). In the
// residue order the address of index i = 30c + r is r x N / 30 + c; it follows the index's steps
// exactly: adding 30 dc + dr to the index adds dr x N / 30 + dc to the address, and when r + dr
// reaches 30 (it stays below 60), r loses 30 and c gains one, which adds 1 - N.
template <bool kByResidue>
void SteppedIndexes(int32_t length, const HeldSamples& held, int32_t* index, int32_t n) {
    if constexpr (kByResidue) {
        VEXLO_COUNT_PATH(SteppedIndexesByResidue);
    } else {
        VEXLO_COUNT_PATH(SteppedIndexes);
    }
    constexpr int32_t kLanes = 8;
    const int32_t period = held.period;
    // N = Q x P + S, and 8S = A x P + B. Here P <= N < 2^27, so 8S, 8Q + A and r + B stay well inside
    // 32 bits.
    const int32_t quotient = length / period;
    const int32_t rest = length % period;
    const int32_t eight_on = kLanes * quotient + kLanes * rest / period;
    const __m128i eight_on_index = _mm_set1_epi32(eight_on);
    const __m128i eight_on_rest = _mm_set1_epi32(kLanes * rest % period);
    const __m128i last_rest = _mm_set1_epi32(period - 1);
    const __m128i whole = _mm_set1_epi32(period);
    const int32_t class_length = length / kResidueClasses;
    const __m128i eight_on_residue = _mm_set1_epi32(eight_on % kResidueClasses);
    const __m128i eight_on_address =
        _mm_set1_epi32(eight_on % kResidueClasses * class_length + eight_on / kResidueClasses);
    const __m128i next_class = _mm_set1_epi32(class_length);
    const __m128i last_residue = _mm_set1_epi32(kResidueClasses - 1);
    const __m128i classes = _mm_set1_epi32(kResidueClasses);
    const __m128i class_wrap = _mm_set1_epi32(1 - length);

    // Four lanes' index (or address), remainder and residue class, stepped eight positions on.
    struct Lanes {
        __m128i index, remainder, residue;
    };
    const auto eight_on_of = [&](Lanes& lanes) {
        // A remainder of P or more carries one into the index (the mask is -1).
        lanes.remainder = _mm_add_epi32(lanes.remainder, eight_on_rest);
        const __m128i carry = _mm_cmpgt_epi32(lanes.remainder, last_rest);
        lanes.remainder = _mm_sub_epi32(lanes.remainder, _mm_and_si128(carry, whole));
        if constexpr (kByResidue) {
            lanes.index = _mm_add_epi32(_mm_add_epi32(lanes.index, eight_on_address), _mm_and_si128(carry, next_class));
            lanes.residue = _mm_sub_epi32(_mm_add_epi32(lanes.residue, eight_on_residue), carry);
            const __m128i wrap = _mm_cmpgt_epi32(lanes.residue, last_residue);
            lanes.residue = _mm_sub_epi32(lanes.residue, _mm_and_si128(wrap, classes));
            lanes.index = _mm_add_epi32(lanes.index, _mm_and_si128(wrap, class_wrap));
        } else {
            lanes.index = _mm_sub_epi32(_mm_add_epi32(lanes.index, eight_on_index), carry);
        }
    };

    int32_t position = held.position;
    for (int32_t done = 0; done < n;) {
        // A run of positions from the next one up to the end of the period (or of the stretch).
        position = NextPosition(position, period);
        const int32_t run = std::min(n - done, period - position);

        // The indexes of the run's first eight positions, one by one (with P >= 8 they are in the
        // period, but lanes beyond the run are overwritten by the next run or lie past n).
        alignas(16) int32_t lane_index[kLanes];
        alignas(16) int32_t lane_rest[kLanes];
        alignas(16) int32_t lane_residue[kLanes];
        SineStep step = SineStep::At(length, position, period, held.inverse);
        for (int32_t lane = 0; lane < kLanes; ++lane) {
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
        const auto load = [](const int32_t* at) { return _mm_load_si128(reinterpret_cast<const __m128i*>(at)); };
        Lanes low{load(lane_index), load(lane_rest), load(lane_residue)};
        Lanes high{load(lane_index + 4), load(lane_rest + 4), load(lane_residue + 4)};
        for (int32_t k = 0; k < run; k += kLanes) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(index + done + k), low.index);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(index + done + k + 4), high.index);
            eight_on_of(low);
            eight_on_of(high);
        }
        done += run;
        position += run - 1;
    }
}

// OutputOf for In = 1, an Offset of zero (of either sign) and a finite DepthEff, four samples per
// single-precision multiply. Why it equals OutputOf: w and DepthEff are singles, so their
// product p (48 significant bits) is exact in double, and multiplying by In = 1 changes nothing.
// Adding Offset = -0 changes no value, so the literal output is p rounded once to single, which is
// what the single multiply gives. Adding +0 changes only an exact zero: p is +-0 exactly when w is 0
// (DepthEff is not 0 in an active sample, and finite), and then the literal output is +0; every other
// p is unchanged, and rounded once as before (a p that rounds to -0 in single stays -0 in double too).
void UnitGainOutputs(const float* table, const int32_t* index, float depth_eff, float offset, float* out, int32_t n) {
    VEXLO_COUNT_PATH(UnitGainOutputs);
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

// The sine, in two passes: first the table indexes of all n positions, eight at a time (see "Stepping"
// in sine_index.h), then the reads and outputs, a pair of doubles at a time. Kept apart, each loop
// holds its constants in registers, and the reads, which mostly miss the first-level cache, depend on
// nothing but the index array, so many of them are in flight at once.
// Short periods, whose runs are too short to gain from it, take the stepwise loop.
template <class Gains>
void HeldLoop(const SineWave& wave, const HeldSamples& held, const Gains& gains, float* out, int32_t n) {
    constexpr int32_t kShortestStepped = 16;
    if (held.period < kShortestStepped) {
        HeldLoopStepwise(wave, held, gains, out, n);
        return;
    }
    alignas(16) int32_t index[kStretch + 8];
    const bool by_residue = DenserByResidue(wave.length, held.period);
    if (by_residue) {
        SteppedIndexes<true>(wave.length, held, index, n);
    } else {
        SteppedIndexes<false>(wave.length, held, index, n);
    }

    const float* const table = by_residue ? ResidueOrder(wave.table, wave.length) : wave.table;
    if constexpr (std::is_same_v<Gains, HeldGains>) {
        if (gains.in == 1.0 && gains.offset == 0.0 && std::isfinite(gains.depth_eff)) {
            UnitGainOutputs(table, index, static_cast<float>(gains.depth_eff), static_cast<float>(gains.offset), out,
                            n);
            return;
        }
    }
    int32_t k = 0;
    for (; k + 4 <= n; k += 4) {
        StorePair(out + k, gains.Pair(k, EntryPair(table[index[k]], table[index[k + 1]])));
        StorePair(out + k + 2, gains.Pair(k + 2, EntryPair(table[index[k + 2]], table[index[k + 3]])));
    }
    for (; k < n; ++k) out[k] = gains.Output(k, table[index[k]]);
}

// The square: first the smoother's sums (its chain), then the averages and outputs two at a time.
//
// Settled runs: once the last W + 1 samples written are one level, every ring slot holds it, so each
// further sample of that level leaves the ring as it is and (see SquareSmoother::StepSum) makes the sum
// sum x leak in single precision, while 2^-28 <= |sum| < 2^29. The magnitude never grows under the
// leak (rounding is monotonic and the leak below 1), so a run that ends with |sum| >= 2^-28 stayed in
// range throughout; one that does not is taken again step by step. Such a run costs one multiply per
// sample, and the write slot moves on by the run's length.
template <class Gains>
void HeldLoop(const SquareWave& wave, const HeldSamples& held, const Gains& gains, float* out, int32_t n) {
    VEXLO_COUNT_PATH(HeldSquareSums);
    float sums[kStretch];
    SquareSmoother local = *wave.smoother;
    const int32_t period = held.period;
    const bool leaky = local.window > 1 && local.window == local.last_window && local.ring_length == local.window + 1;
    int32_t position = held.position;
    SquareLevel level = SquareLevel::At(position, period);  // the level written last (the first sample's)
    int32_t same = 0;  // samples of that level written last in a row, at most W + 1
    for (int32_t k = 0; k < n;) {
        const int32_t next = NextPosition(position, period);
        const SquareLevel sample = SquareLevel::At(next, period);
        const float size = std::fabs(local.sum);
        if (leaky && same > local.window && sample == level && size >= 0x1p-28f && size < 0x1p29f) {
            // The rest of this level: up to the half period, or up to the end of the period.
            const int32_t level_end = sample.high() ? (period + 1) / 2 : period;
            const int32_t run = std::min(n - k, level_end - next);
            float sum = local.sum;
            for (int32_t j = 0; j < run; ++j) {
                sum = sum * kSmootherLeak;
                sums[k + j] = sum;
            }
            if (std::fabs(sum) >= 0x1p-28f) {
                VEXLO_COUNT_PATH(SettledRun);
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

    // The averages (SmoothedOf: dividing by 1 changes nothing, so W <= 1 divides by 1), then OutputOf.
    const __m128d window = _mm_set1_pd(local.window > 1 ? static_cast<double>(local.window) : 1.0);
    int32_t k = 0;
    for (; k + 4 <= n; k += 4) {
        StorePair(out + k, gains.Pair(k, _mm_div_pd(SinglesPair(sums + k), window)));
        StorePair(out + k + 2, gains.Pair(k + 2, _mm_div_pd(SinglesPair(sums + k + 2), window)));
    }
    for (; k < n; ++k) out[k] = gains.Output(k, SmoothedOf(sums[k], local.window));
}

// DepthEffOf and DepthActive for every sample of the stretch: DepthEff into depth_eff[0, count), and
// whether each is a non-zero number. Four at a time by single multiplies: the double product of two
// singles is exact, so rounding it to single is the single multiply; |DepthEff| > 0 is false exactly
// for either zero and NaN.
bool AllDepthsActive(const Block& block, int32_t from, int32_t count, float* depth_eff) {
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128 absolute = _mm_set1_ps(kAbsoluteDepth);
    __m128 active = _mm_castsi128_ps(_mm_set1_epi32(-1));
    int32_t k = 0;
    for (; k + 4 <= count; k += 4) {
        const int32_t at = from + k;
        const __m128 factor = block.relative ? _mm_loadu_ps(block.offset + at) : absolute;
        const __m128 d = _mm_mul_ps(factor, _mm_loadu_ps(block.depth + at));
        _mm_storeu_ps(depth_eff + k, d);
        active = _mm_and_ps(active, _mm_cmpgt_ps(_mm_and_ps(d, magnitude), _mm_setzero_ps()));
    }
    bool all = _mm_movemask_ps(active) == 0xF;
    for (; k < count; ++k) {
        depth_eff[k] = DepthEffOf(block.depth[from + k], block.offset[from + k], block.relative);
        all = all && DepthActive(depth_eff[k]);
    }
    return all;
}

// Step 7 for every sample of the stretch: each is inactive, its output Offset x In.
void WriteInactive(const Block& block, int32_t from, int32_t count) {
    for (int32_t k = 0; k < count; ++k) {
        block.out[from + k] = InactiveOutput(block.offset[from + k], block.in[from + k]);
    }
}

}  // namespace

template <class Wave>
bool RunHeldCycle(const Block& block, const Tables& tables, int32_t from, int32_t count, Cycle& cycle, Wave wave) {
    float* const out = block.out + from;
    // Only the output step reads In; Depth and Offset enter it and the activity test. When those two
    // keep their bits (In moving or not), every sample has the first one's DepthEff and activity, so
    // the first sample's full step below decides for all of them.
    const bool gains_held = GainsHeld(block, from, count);
    const bool depth_held =
        gains_held || KeepTheirBits(count, HeldBits(block.depth + from), HeldBits(block.offset + from));
    float depth_eff[kStretch];
    if (!depth_held) {
        // A frequency too low (or not a number) leaves every sample inactive, whatever its depth.
        if (!FrequencyActive(HertzOf(block.freq[from], block.kilohertz))) {
            VEXLO_COUNT_PATH(HeldInactive);
            WriteInactive(block, from, count);
            cycle = {-1, -1};
            return true;
        }
        if (!AllDepthsActive(block, from, count, depth_eff)) {
            VEXLO_COUNT_PATH(HeldDeclined);
            return false;
        }
    }

    // The first sample takes every step: it may start or rescale the cycle.
    Measured first;
    Measure(block, from, 1, tables.rate, first);
    CountChain chain = CountChain::From(cycle);
    const int32_t period = first.period[0];
    const int32_t position = chain.Step(first, 0);
    cycle = chain.ToCycle();

    // Inactive (Depth and Offset held, so every sample is), every sample is Offset x In.
    if (position < 0) {
        VEXLO_COUNT_PATH(HeldInactive);
        if (gains_held) {
            std::fill(out, out + count, InactiveOutput(block.offset[from], block.in[from]));
        } else {
            WriteInactive(block, from, count);
        }
        return true;
    }

    // The loops start from the position before the first sample's.
    const HeldSamples held{position == 0 ? period - 1 : position - 1, period, first.inverse[0]};
    if (gains_held) {
        VEXLO_COUNT_PATH(HeldGains);
        HeldLoop(wave, held, HeldGains{first.depth_eff[0], block.offset[from], block.in[from]}, out, count);
    } else if (depth_held) {
        VEXLO_COUNT_PATH(InGains);
        HeldLoop(wave, held, InGains{first.depth_eff[0], block.offset[from], block.in + from}, out, count);
    } else {
        VEXLO_COUNT_PATH(SampleGains);
        HeldLoop(wave, held, SampleGains{depth_eff, block.offset + from, block.in + from}, out, count);
    }

    // The count moved on with the position: count + (n - 1) mod P.
    cycle.count = AddWrapped(cycle.count, (count - 1) % period, period);
    return true;
}

VEXLO_PATH_FOR_EVERY_WAVE(RunHeldCycle);

}  // namespace vexlo
