// The oscillator's steps as the process paths share them: the block and cycle records, the one
// measuring function, the two ways of counting, the waves and the output. Internal to the module:
// oscillator_engine.cpp chooses a path per stretch, and held_stretch.cpp and modulated_stretch.cpp run
// them.
//
// Exactness: every output equals DefinedOutput's (oscillator_definition.h), the steps as defined. Where
// a path takes a shortcut (a comparison instead of a remainder, a multiplied or stepped table index, a
// float product instead of a double one, several samples at once) the comment beside it names the
// defined step it replaces and says why the result is the same; the differential tests check it against
// a literal reference engine.
#ifndef VEXLO_ENGINE_STEPS_H
#define VEXLO_ENGINE_STEPS_H

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

#include "cycle_arithmetic.h"
#include "held_inputs.h"
#include "oscillator_definition.h"
#include "packed_double.h"
#include "path_counters.h"
#include "sine_index.h"
#include "square_smoother.h"

namespace vexlo {

// Samples per stretch: the unit in which a block is checked for held inputs and measured ahead of
// counting. Long enough that the check and the one full step that starts a held stretch cost little
// per sample, short enough that a block which holds its inputs only in part still runs mostly the
// held loop, and that a stretch's arrays stay in the first-level cache.
inline constexpr int32_t kStretch = 256;

// The buffers and list values of one block. The list values are read once per block: nothing else
// runs on the instance while its process routine does.
struct Block {
    const float* in;
    const float* depth;
    const float* offset;
    const float* freq;
    const float* phase;
    float* out;
    int16_t wave;
    bool kilohertz;  // Freq on the kHz scale
    bool relative;   // Depth relative to Offset
};

// What the paths read of the engine during a block; fixed from Open on.
struct Tables {
    const float* sine;  // N entries
    int32_t length;     // N
    int32_t rate;       // R, hertz
    int32_t window;     // the square smoother's W, samples
};

// Tables whose length N has N x N < 2^53 (ExactProducts), on which the exact paths' shortcuts rest (the
// multiplied and stepped sine index, the count's chain): made only by Checked, so a path that takes
// them needs no check of its own.
class ExactTables {
public:
    static std::optional<ExactTables> Checked(const Tables& tables) {
        if (!ExactProducts(tables.length)) return std::nullopt;
        return ExactTables(tables);
    }
    int32_t rate() const { return m_tables.rate; }

private:
    explicit ExactTables(const Tables& tables) : m_tables(tables) {}
    Tables m_tables;
};

// The measured samples of one stretch: what each asks of the oscillator before it is counted
// (DepthEffOf, HertzOf, PhaseFractionOf, Active, PeriodOf and PhaseOffsetOf), an array per quantity.
struct Measured {
    int32_t period[kStretch];          // P, samples, at least 1; 0 when the sample is inactive
    int32_t phase_offset[kStretch];    // PO reduced into 0 .. P - 1, samples; written only where measuring
                                       // takes a lane again (MeasureLanes), and read only there
    float depth_eff[kStretch];         // DepthEff
    double whole[kStretch];            // P as a double (at least 1, also for an inactive sample)
    double inverse[kStretch];          // 1.0 / whole
    double offset_less_one[kStretch];  // PO - 1 as a double: CountChain::Count answers the count plus one
};

// Measures samples [from, from + count) of the block into measured[0, count), 1 <= count <= kStretch.
// Samples are independent of one another, so they are measured four at a time (measure_lanes.h).
void Measure(const Block& block, int32_t from, int32_t count, int32_t rate, Measured& measured);

// Which inputs of samples [from, from + count) of the block keep their bits (held_inputs.h), 1 <= count
// <= kStretch: asked once per stretch, the answer picks the path.
VEXLO_PER_SAMPLE HeldInputs HeldInputsOf(const Block& block, int32_t from, int32_t count) {
    VEXLO_COUNT_PATH(HeldInputsOf);
    return HeldInputsOf(
        {block.in + from, block.depth + from, block.offset + from, block.freq + from, block.phase + from}, count);
}

// PositionOf from CountChain::Count's answer c for a sample (the count plus one): c + (PO - 1), less P
// once it reaches P, in double. Every term is a whole number below 2P, so each operation is exact and
// the result is PositionOf's. One body for a double and for a PackedDouble (two samples); meaningless
// for an inactive sample (c = 0), which callers mark from c.
template <class Double>
VEXLO_PER_SAMPLE Double PositionOfCounted(Double counted, Double offset_less_one, Double whole) {
    return WrapOnce(counted + offset_less_one, whole);
}

// The position of measured sample k from Count's answer for it; -1 when it is inactive.
VEXLO_PER_SAMPLE int32_t PositionOfCount(double counted, const Measured& measured, int32_t k) {
    if (counted == 0.0) return -1;
    return static_cast<int32_t>(PositionOfCounted(counted, measured.offset_less_one[k], measured.whole[k]));
}

// The count's chain while products are exact, carried as a double from sample to sample: only one
// multiply, one add and one subtract lie on it (see RescaledProduct). Made from the cycle's counters
// at the start of a stretch and turned back into them at its end.
struct CountChain {
    double counted;           // the coming sample's count moved on by one: a whole number, 0 after a reset
    int32_t previous_period;  // P of the previous active sample; -1 after a reset
    double previous_inverse;  // 1.0 / previous_period (any finite value after a reset)

    static CountChain From(const Cycle& cycle) {
        return {static_cast<double>(cycle.count) + 1.0, cycle.period,
                cycle.period >= 1 ? 1.0 / static_cast<double>(cycle.period) : 1.0};
    }
    Cycle ToCycle() const { return {static_cast<int32_t>(counted) - 1, counted == 0.0 ? -1 : previous_period}; }

    // CountedCycle for a sample with period P (0: inactive, kRestartedCycle), P as a double
    // (`whole_period`) and 1.0 / P: the wrapped count plus one (1 .. P), or 0 when the sample is inactive.
    VEXLO_PER_SAMPLE double Count(int32_t period, double whole_period, double inverse) {
        if (period == 0) {
            counted = 0.0;
            previous_inverse = inverse;
            return 0.0;
        }

        // CountActive, unless its product is too close to a half to decide RescaledCount's answer; then
        // RescaledCount itself (the same count when the period holds).
        const int32_t before = static_cast<int32_t>(counted);
        double product;
        double next = CountActive(whole_period, inverse, product);
        if (!IsDecided(product)) {
            const int32_t rescaled =
                previous_period != period ? RescaledCount(before, previous_period, period) : before;
            next = Wrapped(1.0 + static_cast<double>(rescaled), whole_period, inverse);
        }
        previous_period = period;
        return next;
    }

    // Count for an active sample, leaving the rescale's product in `product` instead of testing it, and
    // leaving previous_period as it was: the caller sets it before Count or ToCycle next reads it. From
    // the same chain, the answer and the chain after it are Count's wherever IsDecided(product) holds:
    // Count's decided branch takes the same operations (previous_period is read only when undecided),
    // and both end in Wrapped. So a run of such samples whose products all pass is Count's, sample by
    // sample; the caller tests the products afterwards and counts the run again with Count if any
    // fails. Until then a chain gone astray is harmless: it only forms doubles, none converted to an
    // integer, and the counting again starts from the chain as it was before the run.
    VEXLO_PER_SAMPLE double CountActive(double whole_period, double inverse, double& product) {
        product = RescaledProduct(counted, whole_period * previous_inverse);
        return Wrapped(NearestPlusOne(product), whole_period, inverse);
    }

    // WrappedCount: the count is at most P (see there), so only a count of exactly P wraps, once a
    // cycle.
    VEXLO_PER_SAMPLE double Wrapped(double next, double whole_period, double inverse) {
        if (next > whole_period) next -= whole_period;
        counted = next;
        previous_inverse = inverse;
        return next;
    }

    // The position of measured sample k; -1 when it is inactive.
    VEXLO_PER_SAMPLE int32_t Step(const Measured& measured, int32_t k) {
        return PositionOfCount(Count(measured.period[k], measured.whole[k], measured.inverse[k]), measured, k);
    }
};

// The paths are templates over the wave (waves/wave_list.h), so that each is compiled once per wave
// with no choice left inside its loops; each path's file makes it for every wave of the list. A wave
// has Value, its value at a position as defined, which the stepwise path takes, and At, the same value
// while products are exact, which the other paths take.
// The paths. Each runs samples [from, from + count) of the block (count <= kStretch) from the cycle
// and smoother state in `cycle` and `wave`, and leaves them as DefinedOutput would.
//   Held cycle: Freq and Phase hold their bits over the stretch (`inputs`, the stretch's HeldInputsOf,
//   with cycle true), and products are exact (held_stretch.cpp). Answers false, having written and
//   changed nothing, when the frequency is active and some samples are inactive while others are not
//   (Depth, or Offset on the Relative scale, passing through zero): the modulated path then takes the
//   stretch.
template <class Wave>
bool RunHeldCycle(const Block& block, const ExactTables& tables, int32_t from, int32_t count, HeldInputs inputs,
                  Cycle& cycle, Wave wave);
//   Modulated exact: products are exact (modulated_stretch.cpp).
template <class Wave>
void RunModulated(const Block& block, const ExactTables& tables, int32_t from, int32_t count, Cycle& cycle, Wave wave);
//   Stepwise: any table length; DefinedOutput sample by sample (modulated_stretch.cpp).
template <class Wave>
void RunStepwise(const Block& block, const Tables& tables, int32_t from, int32_t count, Cycle& cycle, Wave wave);

}  // namespace vexlo

#endif  // VEXLO_ENGINE_STEPS_H
