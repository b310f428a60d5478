// The process path for stretches whose inputs move: frequency and phase modulated at audio rate.
#include "engine_steps.h"

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
        const float depth_eff =
            static_cast<float>(static_cast<double>(depth_factor) * static_cast<double>(block.depth[at]));

        // 3. Frequency in hertz.
        const float hertz =
            static_cast<float>(static_cast<double>(hertz_per_unit) * static_cast<double>(block.freq[at]));

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
                block.out[at] =
                    static_cast<float>(static_cast<double>(block.offset[at]) * static_cast<double>(block.in[at]));
                continue;
            }
            // 13 and 14. Wave value, and the output rounded to single once.
            block.out[at] =
                vexlo::OutputOf(wave_at(k, position, period), stretch.depth_eff[k], block.offset[at], block.in[at]);
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
                    block.out[at] =
                        static_cast<float>(static_cast<double>(block.offset[at]) * static_cast<double>(block.in[at]));
                    continue;
                }
                // 13 and 14. Wave value, and the output rounded to single once.
                block.out[at] = vexlo::OutputOf(table[index[k]], stretch.depth_eff[k], block.offset[at], block.in[at]);
            }
            break;
        }
        case kWaveTriangle:
            render([](int32_t, int32_t position, int32_t period) { return vexlo::TriangleAt(position, period); });
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
        default: render([](int32_t, int32_t, int32_t) { return 0.0; }); break;
    }

    // The counters for the next stretch (both -1 after an inactive sample).
    const int32_t last = count - 1;
    const bool active = stretch.period[last] != 0;
    m_count = static_cast<int32_t>(chain.counted) - 1;
    m_period = active ? stretch.period[last] : -1;
    m_period_inverse = stretch.inverse[last];
}

void VexloModule::RunModulatedStepwise(const Block& block, int32_t from, int32_t count,
                                       vexlo::SquareSmoother& smoother) {
    // In three passes: measuring has no chain from sample to sample, so those steps overlap freely;
    // the count's chain then runs alone; and the table reads of the last pass (often cache misses under
    // modulation) wait on no count and overlap too.
    Measure samples[kHeldStretch];
    int32_t positions[kHeldStretch];
    for (int32_t k = 0; k < count; ++k) {
        // 1. Inputs.
        const int32_t at = from + k;
        samples[k] =
            MeasureSample(block, {block.in[at], block.depth[at], block.offset[at], block.freq[at], block.phase[at]});
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
