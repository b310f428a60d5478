// Measuring: what each sample asks of the oscillator before it is counted (DepthEffOf, HertzOf,
// PhaseFractionOf, Active, PeriodOf and PhaseOffsetOf), written once over the lane width (lane_widths.h)
// and taken for one sample (MeasureOne) and for four (MeasureFour); the held cycle's activity test
// takes its DepthEff and DepthActive steps too (DepthEffAt, DepthActiveOf). Internal to the module, and
// with internal linkage for the reason held_loop.h gives.
//
// Why each step gives the defined function's bits, in every lane:
//   - DepthEffOf, HertzOf and PhaseFractionOf: the double product of two singles is exact (24 + 24
//     significant bits, and no exponent of a single's product leaves double's range), so rounding it to
//     single is rounding the exact product once, which is what the single multiply does.
//   - Active: F > 1/30 as F >= kLowestHertzAbove (both false for NaN); DepthEff != 0 as |DepthEff| > 0
//     (false for NaN and for either zero).
//   - PeriodOf's divisor: the larger of F and kLowestHertzAbove, and kLowestHertzAbove for NaN, as Max
//     answers its second operand when the first is not a number; then at most 2R, so that a truncation
//     of 0 (F above 2R, R / F + 0.5 below 1) becomes the 1 PeriodOf answers: R / 2R + 0.5 is 1 exactly,
//     and a divisor of at most 2R already gives at least 1 (R / F >= 1/2, rounding being monotonic).
//     2R is a single exactly: tables with exact products have R below 2^22.
//   - The phase offset's range test, 0 <= PO < P, as PO < P unsigned (P >= 1).
//   - PeriodOf, the inverse and PhaseOffsetOf: the same double operations; the truncation is the scalar
//     one wherever it fits 32 bits (the period always does, see PeriodOf). A phase offset that does not
//     fit truncates to -2^31, which stays negative after adding P < 2^31 once; its lane is then taken
//     again by PhaseOffsetOf, as is every lane still outside 0 .. P - 1. A fraction that is not finite
//     makes P x PF + 0.5 infinite or NaN (P >= 1), which does not fit either, so PhaseFractionOf's
//     finiteness test is taken only in those lanes.
#ifndef VEXLO_MEASURE_LANES_H
#define VEXLO_MEASURE_LANES_H

#include <cstdint>

#include "assume.h"
#include "engine_steps.h"
#include "lane_widths.h"
#include "oscillator_definition.h"

namespace vexlo {

namespace {

// What measuring holds fixed over a stretch.
template <class Width>
struct MeasureConstants {
    MeasureConstants(const Block& block, int32_t rate)
        : per_unit(block.kilohertz ? kHertzPerUnitKilo : kHertzPerUnit),
          whole_rate(static_cast<double>(rate)),
          twice_rate(static_cast<float>(2 * rate)) {
        VEXLO_ASSUME(rate < (1 << 22));
    }
    typename Width::Single per_unit;    // HertzOf's factor
    typename Width::Double whole_rate;  // R
    typename Width::Single twice_rate;  // 2R, the largest divisor PeriodOf needs
};

// DepthEffOf for the samples from `at`.
template <class Width>
VEXLO_PER_SAMPLE typename Width::Single DepthEffAt(const Block& block, int32_t at) {
    using Single = typename Width::Single;
    const Single factor = block.relative ? Width::Load(block.offset + at) : Single(kAbsoluteDepth);
    return factor * Width::Load(block.depth + at);
}

// DepthActive.
template <class Single>
VEXLO_PER_SAMPLE auto DepthActiveOf(Single depth_eff) {
    return Magnitude(depth_eff) > Single(0.0f);
}

// The samples from `at` into measured[k, k + kCount); answers the active ones as bits 0 to kCount - 1.
template <class Width>
VEXLO_PER_SAMPLE int MeasureLanes(const Block& block, int32_t at, const MeasureConstants<Width>& c,
                                  Measured& measured, int32_t k) {
    using Single = typename Width::Single;
    using Double = typename Width::Double;
    using Int = typename Width::Int;

    // DepthEffOf, HertzOf and PhaseFractionOf (but for its finiteness test).
    const Single depth_eff = DepthEffAt<Width>(block, at);
    const Single hertz = c.per_unit * Width::Load(block.freq + at);
    const Single fraction = Width::Load(block.phase + at) * Single(kPeriodsPerUnit);

    // Active.
    const auto active = And(hertz >= Single(kLowestHertzAbove), DepthActiveOf(depth_eff));

    // PeriodOf, at least 1; 0 in `period` for an inactive sample, which is still measured for `whole`
    // and `inverse`.
    const Single divisor = Min(Max(hertz, Single(kLowestHertzAbove)), c.twice_rate);
    const Int period = Truncated(c.whole_rate / Widened(divisor) + Double(0.5));
    Width::Store(measured.period + k, Where(active, period));
    Width::Store(measured.depth_eff + k, depth_eff);

    // P and 1 / P as doubles, off the count's chain.
    const Double whole = Widened(period);
    Width::Store(measured.whole + k, whole);
    Width::Store(measured.inverse + k, Double(1.0) / whole);

    // PhaseOffsetOf, plus P once when negative; the lanes still outside 0 .. P - 1 taken again.
    Int phase_offset = Truncated(whole * Widened(fraction) + Double(0.5));
    phase_offset = phase_offset + Where(phase_offset < Int(0), period);
    const auto inside = UnsignedLess(phase_offset, period);
    const int outside = ~LaneBits(inside) & ((1 << Width::kCount) - 1);
    if (outside != 0) {
        Width::Store(measured.phase_offset + k, phase_offset);
        for (int32_t lane = 0; lane < Width::kCount; ++lane) {
            if (outside & (1 << lane)) {
                measured.phase_offset[k + lane] = PhaseOffsetOf(static_cast<int32_t>(measured.whole[k + lane]),
                                                                PhaseFractionOf(block.phase[at + lane]));
            }
        }
        phase_offset = Width::Load(measured.phase_offset + k);
    }
    Width::Store(measured.offset_less_one + k, Widened(phase_offset) - Double(1.0));
    return LaneBits(active);
}

// Sample `at` of the block into measured[k].
VEXLO_PER_SAMPLE void MeasureOne(const Block& block, int32_t at, int32_t rate, Measured& measured, int32_t k) {
    MeasureLanes<OneLane>(block, at, MeasureConstants<OneLane>(block, rate), measured, k);
}

// Samples at .. at + 3 into measured[k, k + 4); answers the active ones as bits 0 to 3.
VEXLO_PER_SAMPLE int MeasureFour(const Block& block, int32_t at, const MeasureConstants<FourLanes>& c,
                                 Measured& measured, int32_t k) {
    return MeasureLanes<FourLanes>(block, at, c, measured, k);
}

}  // namespace

}  // namespace vexlo

#endif  // VEXLO_MEASURE_LANES_H
