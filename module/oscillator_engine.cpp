// The oscillator engine: Open sizes the tables from the sample rate, and Process turns each block of
// inputs into output samples.
//
// Exactness: every output equals a literal evaluation of the engine's fourteen steps in IEEE double,
// rounded to single exactly where noted, with SSE2 arithmetic, no contraction and no reassociation
// (build flags). A change that alters one bit of output is a defect, so keep the order of operations
// as written. Where the process routine takes a shortcut (a remembered period, a comparison instead of
// a remainder, a stepped table index, a loop for held inputs) the comment beside it says why the
// result is the same; the tests check it against a literal reference engine.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstddef>
#include <cstring>
#include <limits>

#include "checked_convert.h"
#include "cycle_arithmetic.h"
#include "shared_sine_table.h"
#include "vexlo_module.h"

// The per-sample parts are inlined into the loops that call them: a call per sample, with its
// arguments on the 32-bit stack, costs as much as the step itself.
#define VEXLO_PER_SAMPLE inline __attribute__((always_inline))

namespace {

// The sine table holds one cycle at the lowest frequency the engine accepts (just above 1/30 Hz), so
// the longest period, 30 x R samples, never outruns it.
constexpr int32_t kTableSecondsPerCycle = 30;
// The highest whole sample rate whose table length 30 x R still fits 32 bits.
constexpr int32_t kMaxSampleRate = std::numeric_limits<int32_t>::max() / kTableSecondsPerCycle;
// Frequencies must exceed 1/30 Hz (strictly) for the oscillator to run.
constexpr double kLowestHertz = 1.0 / 30.0;
// Hertz per sample unit on the Hz and kHz scales (1.0 = 10 V; 1 V = 1 Hz or 1 kHz).
constexpr float kHertzPerUnit = 10.0f;
constexpr float kHertzPerUnitKilo = 10000.0f;
// Depth factor of the Absolute scale.
constexpr float kAbsoluteDepth = 1.0f;
// Sample units to fractions of a period: 1 V per degree, 36 units per period.
constexpr float kPeriodsPerUnit = 1.0f / 36.0f;
// Samples per stretch whose inputs are checked for being held: long enough that the check and the
// one full step that starts a held stretch cost little per sample, short enough that a block which
// holds its inputs only in part still runs mostly the held loop.
constexpr int32_t kHeldStretch = 256;

static_assert(std::bit_cast<uint64_t>(kLowestHertz) == 0x3FA1111111111111ull);
static_assert(std::bit_cast<uint32_t>(kPeriodsPerUnit) == 0x3CE38E39u);
static_assert(std::bit_cast<uint32_t>(vexlo::kSmootherLeak) == 0x3F7FF972u);

// Triangle: 0 at the start, +1 at a quarter, 0 at half, -1 at three quarters, in step with the sine.
inline double TriangleAt(int32_t position, int32_t period) {
    const double x = static_cast<double>(position) * 4.0 / static_cast<double>(period);
    if (x < 1.0) return x;
    if (x < 3.0) return 2.0 - x;
    return x - 4.0;
}

// Out = (w x DepthEff + Offset) x In, in double, rounded to single once.
inline float OutputOf(double wave, double depth_eff, double offset, double in) {
    return static_cast<float>((wave * depth_eff + offset) * in);
}

// True when every sample of buffer[from, from + count) has the bits of buffer[from]: each sample
// equals the one before it, which the C library's block compare checks fast (and it stops at the first
// difference).
inline bool Held(const float* buffer, int32_t from, int32_t count) {
    return std::memcmp(buffer + from + 1, buffer + from, static_cast<size_t>(count - 1) * sizeof(float)) == 0;
}

}  // namespace

// The buffers and list values of one block. The list values are read once per block: nothing else
// runs on the instance while its process routine does.
struct VexloModule::Block {
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

// One sample of the five inputs.
struct VexloModule::Inputs {
    float in;
    float depth;
    float offset;
    float freq;
    float phase;
};

bool VexloModule::HoldSineTable(int32_t sample_rate) {
    ReleaseSineTable();
    if (sample_rate < 1 || sample_rate > kMaxSampleRate) return false;
    const int32_t length = kTableSecondsPerCycle * sample_rate;
    m_sine_table = vexlo::AcquireSineTable(length);
    if (!m_sine_table) return false;
    m_table_length = length;
    return true;
}

void VexloModule::ReleaseSineTable() {
    vexlo::ReleaseSineTable(m_sine_table);
    m_sine_table = nullptr;
    m_table_length = 0;
}

void VexloModule::ForgetShortcuts() {
    m_period_key = kNoKey;
    m_keyed_period = 0;
    m_keyed_inverse = 0.0;
    m_period_inverse = 0.0;
    m_exact_products = vexlo::SineIndex::ExactProducts(m_table_length);
    m_phase_key_period = 0;
    m_phase_key_fraction = 0;
    m_keyed_phase_offset = 0;
    m_sine_index.SetUp(m_table_length);
}

void VexloModule::Open() {
    // A second open starts afresh: the earlier tables go before new ones are taken.
    ReleaseSineTable();
    ReleaseSmoother();
    m_int_sample_rate = 0;

    // Sample rate, sine table and smoother. A rate that is not a number, below 1 Hz or too large for
    // the table, or a failed allocation, leaves no tables: the module then runs inactive.
    int32_t rate = 0;
    const bool usable = vexlo::TruncToInt32(static_cast<double>(GetSampleRate()), &rate) && rate >= 1 &&
                        rate <= kMaxSampleRate;
    if (usable && HoldSineTable(rate) && SetupSmoother(rate)) {
        m_int_sample_rate = rate;
    } else {
        ReleaseSineTable();
        ReleaseSmoother();
    }

    // The cycle starts afresh on the first active sample; nothing remembered from before applies.
    m_period = -1;
    m_count = -1;
    ForgetShortcuts();

    // Host calls, in this order whether or not the tables were built.
    SetProcessFunction(ProcessEntry);
    TRModule_base::Open();
    const uint32_t clock = SampleClock();
    // A host that keeps fewer pins than the table describes has no Out pin to announce.
    if (PinCount() > kPinOut) {
        if (TRPin* out = GetPin(kPinOut)) out->TransmitStatus(clock, PIN_STATE_RUNNING);
    }
}

void VexloModule::Close() {
    ReleaseSineTable();
    ReleaseSmoother();
}

void VexloModule::Process(int32_t offset, int32_t count) {
    if (count <= 0) return;

    // Buffers are read afresh for every block; a block that cannot be processed leaves all as it was.
    const Block block{m_in,   m_depth, m_offset,          m_freq,           m_phase,
                      m_out,  m_wave,  m_freq_scale != 0, m_depth_scale != 0};
    if (!block.in || !block.depth || !block.offset || !block.freq || !block.phase || !block.out) return;
    if (offset < 0 || offset > std::numeric_limits<int32_t>::max() - count) return;

    // Without tables the oscillator never runs: the output is the offset alone.
    if (!TablesBuilt()) {
        for (int32_t at = offset; at < offset + count; ++at) {
            block.out[at] = static_cast<float>(static_cast<double>(block.offset[at]) * static_cast<double>(block.in[at]));
        }
        m_period = -1;
        m_count = -1;
        return;
    }

    // Stretch by stretch: held inputs run the lean loop, anything else the sample-by-sample steps.
    vexlo::SquareSmoother smoother = LoadSmoother();
    const int32_t end = offset + count;
    for (int32_t from = offset; from < end;) {
        const int32_t n = std::min(end - from, kHeldStretch);
        const bool held = Held(block.freq, from, n) && Held(block.phase, from, n) && Held(block.depth, from, n) &&
                          Held(block.offset, from, n) && Held(block.in, from, n);
        if (held) {
            RunHeld(block, from, n, smoother);
        } else {
            RunModulated(block, from, n, smoother);
        }
        from += n;
    }
    StoreSmoother(smoother);
}

VEXLO_PER_SAMPLE int32_t VexloModule::PeriodFor(float hertz) {
    // P depends on F and R alone, and R is fixed from Open on.
    if (std::bit_cast<uint32_t>(hertz) == m_period_key) return m_keyed_period;
    return NewPeriodFor(hertz);
}

VEXLO_PER_SAMPLE int32_t VexloModule::NewPeriodFor(float hertz) {
    const uint32_t key = std::bit_cast<uint32_t>(hertz);
    // P = R / F + 0.5 truncated, at least 1 (hertz above twice the rate would round it to 0). Above
    // 1/30 Hz, R / F stays below 30 x R, which fits 32 bits.
    int32_t period = 1;
    if (!vexlo::TruncToInt32(static_cast<double>(m_int_sample_rate) / static_cast<double>(hertz) + 0.5, &period) ||
        period < 1) {
        period = 1;
    }
    m_period_key = key;
    if (period != m_keyed_period) m_keyed_inverse = 1.0 / static_cast<double>(period);
    m_keyed_period = period;
    return period;
}

VEXLO_PER_SAMPLE int32_t VexloModule::PhaseOffsetFor(int32_t period, float fraction) {
    if (period == m_phase_key_period && std::bit_cast<uint32_t>(fraction) == m_phase_key_fraction) {
        return m_keyed_phase_offset;
    }
    return NewPhaseOffsetFor(period, fraction);
}

VEXLO_PER_SAMPLE int32_t VexloModule::NewPhaseOffsetFor(int32_t period, float fraction) {
    const uint32_t key = std::bit_cast<uint32_t>(fraction);

    // PO = P x PF + 0.5 truncated. When that does not fit 32 bits it is reduced modulo P first, which
    // leaves the position unchanged.
    const double samples = static_cast<double>(period) * static_cast<double>(fraction) + 0.5;
    int32_t phase_offset = 0;
    if (!vexlo::TruncToInt32(samples, &phase_offset)) {
        phase_offset = static_cast<int32_t>(std::fmod(std::trunc(samples), static_cast<double>(period)));
    }
    m_phase_key_period = period;
    m_phase_key_fraction = key;
    m_keyed_phase_offset = vexlo::WrapAround(phase_offset, period);
    return m_keyed_phase_offset;
}

VexloModule::Cycle VexloModule::LoadCycle() const { return {m_count, m_period, m_period_inverse}; }

void VexloModule::StoreCycle(const Cycle& cycle) {
    m_count = cycle.count;
    m_period = cycle.period;
    m_period_inverse = cycle.inverse;
}

// The steps that do not depend on the count (2, 3, 5, 6, 8 and 11): what one sample asks of the
// oscillator. Samples can be measured ahead of counting, independently of one another.
VEXLO_PER_SAMPLE VexloModule::Measure VexloModule::MeasureSample(const Block& block, const Inputs& x) {
    // 2. Effective depth: absolute, or relative to the offset.
    const float depth_factor = block.relative ? x.offset : kAbsoluteDepth;
    const float depth_eff = static_cast<float>(static_cast<double>(depth_factor) * static_cast<double>(x.depth));

    // 3. Frequency in hertz.
    const float hertz_per_unit = block.kilohertz ? kHertzPerUnitKilo : kHertzPerUnit;
    const float hertz = static_cast<float>(static_cast<double>(hertz_per_unit) * static_cast<double>(x.freq));

    // 5. Phase as a fraction of a period; a phase that is not a finite number counts as 0.
    float phase_fraction = static_cast<float>(static_cast<double>(x.phase) * static_cast<double>(kPeriodsPerUnit));
    if (!std::isfinite(phase_fraction)) phase_fraction = 0.0f;

    // 6. Active above 1/30 Hz with a depth that is a non-zero number (NaN fails both tests).
    const bool active = static_cast<double>(hertz) > kLowestHertz && (depth_eff > 0.0f || depth_eff < 0.0f);
    if (!active) return {0, 0, 0.0, depth_eff};

    // 8. Period in whole samples (remembered while F keeps its bits).
    const int32_t period = PeriodFor(hertz);

    // 11. Phase offset in whole samples, reduced into 0 .. P - 1 (remembered while P and PF keep their
    //     bits).
    return {period, PhaseOffsetFor(period, phase_fraction), m_keyed_inverse, depth_eff};
}

// The steps that carry the count from sample to sample (4, 7, 9, 10 and 12): where a measured sample
// falls in the cycle, or -1 when it is inactive.
VEXLO_PER_SAMPLE int32_t VexloModule::Advance(const Measure& sample, Cycle& cycle) {
    // 4. Count the sample.
    int32_t count = cycle.count + 1;

    // 7. Inactive: the cycle restarts when the oscillator runs again.
    const int32_t period = sample.period;
    if (period == 0) {
        cycle.period = -1;
        cycle.count = -1;
        return -1;
    }

    // 9. A new period keeps the same fraction of the cycle: rescale the count.
    if (cycle.period >= 1 && cycle.period != period) {
        count = vexlo::Rescaled(count, cycle.period, cycle.inverse, period, m_exact_products);
    }

    // 10. Wrap the count into the period. Here 0 <= count <= P: before step 4 either both counters were
    //     -1 or 0 <= count < old P; unrescaled, the count is then at most the (same) P; rescaled from
    //     1 <= count <= old P, count / old P <= 1 and so count / old P x P + 0.5 <= P + 0.5 (rounding
    //     is monotonic and these bounds are representable). One comparison is the remainder.
    cycle.period = period;
    cycle.inverse = sample.inverse;
    cycle.count = vexlo::WrapForward(count, period);

    // 12. Position: count + phase offset mod P, which is what the signed remainder plus the wrap of a
    //     negative result give.
    return vexlo::AddWrapped(cycle.count, sample.phase_offset, period);
}

// Steps 13 and 14 (or 7's output) for one sample at `position` (-1: inactive).
VEXLO_PER_SAMPLE float VexloModule::Render(const Block& block, const Measure& sample, int32_t position, float in,
                                           float offset, vexlo::SquareSmoother& smoother) {
    // 7. Inactive: the offset alone.
    if (position < 0) return static_cast<float>(static_cast<double>(offset) * static_cast<double>(in));

    // 13. Wave value.
    const int32_t period = sample.period;
    double wave = 0.0;
    switch (block.wave) {
        case kWaveSine: wave = m_sine_table[m_sine_index.At(position, period, sample.inverse)]; break;
        case kWaveTriangle: wave = TriangleAt(position, period); break;
        case kWaveSquare: wave = smoother.Step(vexlo::SquareLevel(position, period)); break;
        default: break;
    }

    // 14. Output, rounded to single once.
    return OutputOf(wave, sample.depth_eff, offset, in);
}

// The count's chain over a modulated stretch (steps 4, 7, 9, 10 and 12), carried as a double, from
// what the measuring pass found for each sample.
struct CountChain {
    double counted;           // the count after step 4 of the coming sample: a whole number, 0 after a reset
    int32_t previous_period;  // P of the previous active sample (m_period)

    // The position of a sample with period P (0: inactive), ratio P / previous P and phase offset
    // 0 .. P - 1; -1 when it is inactive.
    VEXLO_PER_SAMPLE int32_t Step(int32_t period, double ratio, int32_t phase_offset) {
        // 7. Inactive: the cycle restarts when the oscillator runs again.
        if (period == 0) {
            counted = 0.0;
            return -1;
        }

        // 9 and 4. Rescale (to the same count when the period holds) and count the next sample; the
        //    literal steps decide the rare product too close to a half.
        bool undecided = false;
        double next = vexlo::RescaledPlusOne(counted, ratio, &undecided);
        if (undecided) {
            const int32_t whole = static_cast<int32_t>(counted);
            next = 1.0 + static_cast<double>(previous_period != period
                                                  ? vexlo::LiteralRescaled(whole, previous_period, period)
                                                  : whole);
        }

        // 10. Wrap the count into the period: it is at most P (see Advance), so only a count of exactly P
        //     wraps, once a cycle.
        const double whole_period = static_cast<double>(period);
        if (next > whole_period) next -= whole_period;
        counted = next;
        previous_period = period;

        // 12. Position: count + phase offset mod P.
        return vexlo::AddWrapped(static_cast<int32_t>(next) - 1, phase_offset, period);
    }
};

// One modulated stretch's per-sample values, an array per quantity, so that each pass streams
// through just what it needs.
struct VexloModule::Stretch {
    int32_t period[kHeldStretch];        // P, samples; 0 when the sample is inactive
    int32_t phase_offset[kHeldStretch];  // PO reduced into 0 .. P - 1, samples
    float phase_fraction[kHeldStretch];  // PF
    float depth_eff[kHeldStretch];       // DepthEff
    double inverse[kHeldStretch];        // 1.0 / P
    double ratio[kHeldStretch];          // P x (1.0 / the previous sample's P)
};

void VexloModule::RunModulated(const Block& block, int32_t from, int32_t count, vexlo::SquareSmoother& smoother) {
    // The array passes rest on products being exact (sample rates below about 3.16 MHz); above that
    // every sample takes the steps one by one.
    if (!m_exact_products) {
        RunModulatedStepwise(block, from, count, smoother);
        return;
    }
    // Measuring has no chain from sample to sample, so its divisions overlap freely; the count's short
    // chain then runs beside the rendering (whose square smoother has a chain of its own), and the sine's
    // table reads (often cache misses under modulation) come last, in a loop of their own, where they
    // wait on no count and overlap too. Under modulation nearly every sample has a new
    // period and phase offset, so no pass looks for remembered ones: it computes them, and chooses
    // by comparison rather than by branch wherever the choice is unpredictable.
    Stretch stretch;
    MeasureStretch(block, from, count, stretch);
    RenderStretch(block, from, count, stretch, smoother);
}

void VexloModule::MeasureStretch(const Block& block, int32_t from, int32_t count, Stretch& stretch) const {
    // Two loops, each short: a sample's division waits on the one before it (the period on F, its
    // inverse on the period), and shorter loops keep more samples' divisions in flight at once.
    const double rate = static_cast<double>(m_int_sample_rate);
    const float depth_unit = kAbsoluteDepth;
    const float hertz_per_unit = block.kilohertz ? kHertzPerUnitKilo : kHertzPerUnit;
    for (int32_t k = 0; k < count; ++k) {
        // 1. Inputs.
        const int32_t at = from + k;

        // 2. Effective depth: absolute, or relative to the offset.
        const float depth_factor = block.relative ? block.offset[at] : depth_unit;
        const float depth_eff = static_cast<float>(static_cast<double>(depth_factor) * static_cast<double>(block.depth[at]));

        // 3. Frequency in hertz.
        const float hertz = static_cast<float>(static_cast<double>(hertz_per_unit) * static_cast<double>(block.freq[at]));

        // 5. Phase as a fraction of a period; a phase that is not a finite number counts as 0.
        const float phase_fraction =
            static_cast<float>(static_cast<double>(block.phase[at]) * static_cast<double>(kPeriodsPerUnit));

        // 6. Active above 1/30 Hz with a depth that is a non-zero number (NaN fails both tests).
        const bool active = static_cast<double>(hertz) > kLowestHertz && (depth_eff > 0.0f || depth_eff < 0.0f);

        // 8. Period in whole samples, at least 1; 0 marks an inactive sample. An inactive sample divides
        //    by 1 Hz instead, so that the conversion is always defined: above 1/30 Hz,
        //    R / F + 0.5 <= 30 x R + 0.5, which truncates into 32 bits; at 1 Hz it is R + 0.5.
        const int32_t period = static_cast<int32_t>(rate / static_cast<double>(active ? hertz : 1.0f) + 0.5);
        stretch.period[k] = active ? (period < 1 ? 1 : period) : 0;
        stretch.phase_fraction[k] = std::isfinite(phase_fraction) ? phase_fraction : 0.0f;
        stretch.depth_eff[k] = depth_eff;
    }

    // 1 / P of the sample before the first: the cycle's (any finite value when it was reset).
    double previous_inverse = m_period_inverse;
    for (int32_t k = 0; k < count; ++k) {
        // The inverse of P, and the ratio to the previous sample's P (both finite for inactive samples,
        // whose P counts as 1 here).
        const int32_t period = stretch.period[k] < 1 ? 1 : stretch.period[k];
        const double whole = static_cast<double>(period);
        const double inverse = 1.0 / whole;
        stretch.ratio[k] = whole * previous_inverse;
        stretch.inverse[k] = inverse;
        previous_inverse = inverse;

        // 11. Phase offset in whole samples, reduced into 0 .. P - 1: P x PF + 0.5 truncated. When that
        //     leaves 32 bits it is reduced modulo P first, which leaves the position unchanged.
        const double samples = whole * static_cast<double>(stretch.phase_fraction[k]) + 0.5;
        const bool fits = vexlo::TruncFitsInt32(samples);
        int32_t phase_offset = fits ? static_cast<int32_t>(samples) : 0;
        if (!fits) phase_offset = static_cast<int32_t>(std::fmod(std::trunc(samples), whole));
        phase_offset = phase_offset < 0 ? phase_offset + period : phase_offset;
        if (static_cast<uint32_t>(phase_offset) >= static_cast<uint32_t>(period)) {
            phase_offset = vexlo::WrapAround(phase_offset, period);
        }
        stretch.phase_offset[k] = phase_offset;
    }
}

void VexloModule::RenderStretch(const Block& block, int32_t from, int32_t count, const Stretch& stretch,
                                vexlo::SquareSmoother& smoother) {
    // Steps 4, 7, 9, 10 and 12 from the cycle's counters (m_count + 1 is 0 after a reset).
    CountChain chain{static_cast<double>(m_count) + 1.0, m_period};
    const auto render = [&](auto wave_at) {
        for (int32_t k = 0; k < count; ++k) {
            const int32_t at = from + k;
            const int32_t period = stretch.period[k];
            const int32_t position = chain.Step(period, stretch.ratio[k], stretch.phase_offset[k]);
            // 7. Inactive: the offset alone.
            if (position < 0) {
                block.out[at] = static_cast<float>(static_cast<double>(block.offset[at]) * static_cast<double>(block.in[at]));
                continue;
            }
            // 13 and 14. Wave value, and the output rounded to single once.
            block.out[at] = OutputOf(wave_at(k, position, period), stretch.depth_eff[k], block.offset[at], block.in[at]);
        }
    };
    switch (block.wave) {
        case kWaveSine: {
            // The table indexes first, then the reads: under modulation they are mostly cache misses,
            // and a loop of reads alone keeps many in flight.
            int32_t index[kHeldStretch];
            const int32_t length = m_table_length;
            for (int32_t k = 0; k < count; ++k) {
                const int32_t period = stretch.period[k];
                const int32_t position = chain.Step(period, stretch.ratio[k], stretch.phase_offset[k]);
                index[k] = position < 0 ? -1 : vexlo::SineIndex::Quotient(length, position, period, stretch.inverse[k]);
            }
            const float* const table = m_sine_table;
            for (int32_t k = 0; k < count; ++k) {
                const int32_t at = from + k;
                // 7. Inactive: the offset alone.
                if (index[k] < 0) {
                    block.out[at] = static_cast<float>(static_cast<double>(block.offset[at]) * static_cast<double>(block.in[at]));
                    continue;
                }
                // 13 and 14. Wave value, and the output rounded to single once.
                block.out[at] = OutputOf(table[index[k]], stretch.depth_eff[k], block.offset[at], block.in[at]);
            }
            break;
        }
        case kWaveTriangle:
            render([](int32_t, int32_t position, int32_t period) { return TriangleAt(position, period); });
            break;
        case kWaveSquare: {
            // A local copy of the smoother, which no output store can alias.
            vexlo::SquareSmoother local = smoother;
            render([&](int32_t, int32_t position, int32_t period) {
                return local.Step(vexlo::SquareLevel(position, period));
            });
            smoother = local;
            break;
        }
        default:
            render([](int32_t, int32_t, int32_t) { return 0.0; });
            break;
    }

    // The counters for the next stretch (both -1 after an inactive sample).
    const int32_t last = count - 1;
    const bool active = stretch.period[last] != 0;
    m_count = static_cast<int32_t>(chain.counted) - 1;
    m_period = active ? stretch.period[last] : -1;
    m_period_inverse = stretch.inverse[last];
}

void VexloModule::RunModulatedStepwise(const Block& block, int32_t from, int32_t count, vexlo::SquareSmoother& smoother) {
    // In three passes: measuring has no chain from sample to sample, so those steps overlap freely;
    // the count's chain then runs alone; and the table reads of the last pass (often cache misses under
    // modulation) wait on no count and overlap too.
    Measure samples[kHeldStretch];
    int32_t positions[kHeldStretch];
    for (int32_t k = 0; k < count; ++k) {
        // 1. Inputs.
        const int32_t at = from + k;
        samples[k] = MeasureSample(block, {block.in[at], block.depth[at], block.offset[at], block.freq[at], block.phase[at]});
    }
    Cycle cycle = LoadCycle();
    for (int32_t k = 0; k < count; ++k) positions[k] = Advance(samples[k], cycle);
    StoreCycle(cycle);
    // A local copy of the smoother, which no output store can alias.
    vexlo::SquareSmoother local = smoother;
    for (int32_t k = 0; k < count; ++k) {
        const int32_t at = from + k;
        block.out[at] = Render(block, samples[k], positions[k], block.in[at], block.offset[at], local);
    }
    smoother = local;
}

void VexloModule::RunHeld(const Block& block, int32_t from, int32_t count, vexlo::SquareSmoother& smoother) {
    // The first sample takes every step: it may start or rescale the cycle, and fills the remembered
    // period and phase offset.
    const Inputs x{block.in[from], block.depth[from], block.offset[from], block.freq[from], block.phase[from]};
    const Measure sample = MeasureSample(block, x);
    Cycle cycle = LoadCycle();
    int32_t position = Advance(sample, cycle);
    StoreCycle(cycle);
    const float first = Render(block, sample, position, x.in, x.offset, smoother);
    block.out[from] = first;

    // Held inputs give every further sample the same activity: inactive, each is Offset x In again.
    if (position < 0) {
        std::fill(block.out + from + 1, block.out + from + count, first);
        return;
    }

    // Active, F, PF and DepthEff stay: the period and the phase offset are those of the first sample,
    // no rescale happens, and each sample moves the count and the position on by one, mod P.
    const int32_t period = sample.period;
    const int32_t counted = m_count;
    const double depth_eff = sample.depth_eff;
    const double offset = x.offset;
    const double in = x.in;
    const auto advance = [period](int32_t& value) { value = value + 1 < period ? value + 1 : 0; };

    const double inverse = sample.inverse;
    switch (block.wave) {
        case kWaveSine: {
            // Local copies, which no output store can alias.
            vexlo::SineIndex index = m_sine_index;
            const float* const table = m_sine_table;
            for (int32_t at = from + 1; at < from + count; ++at) {
                advance(position);
                block.out[at] = OutputOf(table[index.At(position, period, inverse)], depth_eff, offset, in);
            }
            m_sine_index = index;
            break;
        }
        case kWaveTriangle:
            for (int32_t at = from + 1; at < from + count; ++at) {
                advance(position);
                block.out[at] = OutputOf(TriangleAt(position, period), depth_eff, offset, in);
            }
            break;
        case kWaveSquare: {
            vexlo::SquareSmoother local = smoother;
            for (int32_t at = from + 1; at < from + count; ++at) {
                advance(position);
                block.out[at] = OutputOf(local.Step(vexlo::SquareLevel(position, period)), depth_eff, offset, in);
            }
            smoother = local;
            break;
        }
        default:
            std::fill(block.out + from + 1, block.out + from + count, OutputOf(0.0, depth_eff, offset, in));
            break;
    }

    // The count moved on with the position: count + (n - 1) mod P.
    m_count = vexlo::AddWrapped(counted, (count - 1) % period, period);
}

double VexloModule::Waveform(int16_t selector, int32_t position, int32_t period) {
    switch (selector) {
        case kWaveSine: {
            // Table index N x p / P, the product formed in floating point; below N for p < P.
            int32_t index = 0;
            if (!vexlo::TruncToInt32(static_cast<double>(m_table_length) * static_cast<double>(position) /
                                         static_cast<double>(period),
                                     &index) ||
                index < 0 || index >= m_table_length) {
                return 0.0;
            }
            return m_sine_table[index];
        }
        case kWaveTriangle:
            return TriangleAt(position, period);
        case kWaveSquare:
            return SmoothSquare(vexlo::SquareLevel(position, period), m_smooth_window, m_smooth_last_window, m_smooth_index,
                                m_smooth_ring, m_smooth_sum);
        default:
            return 0.0;
    }
}
