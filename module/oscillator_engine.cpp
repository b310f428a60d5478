// The oscillator engine: Open takes the tables for the sample rate, and Process splits each block
// into stretches, run by the held path (held_stretch.cpp) when their inputs hold still and by the
// modulated path (modulated_stretch.cpp) otherwise. The steps themselves are in engine_steps.h.
#include "engine_steps.h"

bool VexloModule::HoldSineTable(int32_t sample_rate) {
    if (sample_rate < 1 || sample_rate > kMaxSampleRate) {
        ReleaseSineTable();
        return false;
    }
    // The new table is taken before the old one is let go, so that re-opening the only instance at a
    // rate keeps the table rather than building it again.
    const int32_t length = kTableSecondsPerCycle * sample_rate;
    const float* table = vexlo::AcquireSineTable(length);
    ReleaseSineTable();
    if (!table) return false;
    m_sine_table = table;
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
    // A second open starts afresh: the earlier smoother goes, and the sine table is exchanged for the
    // one at the current rate.
    ReleaseSmoother();
    m_int_sample_rate = 0;

    // Sample rate, sine table and smoother. A rate that is not a number, below 1 Hz or too large for
    // the table, or a failed allocation, leaves no tables: the module then runs inactive.
    int32_t rate = 0;
    const bool usable =
        vexlo::TruncToInt32(static_cast<double>(GetSampleRate()), &rate) && rate >= 1 && rate <= kMaxSampleRate;
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
    const Block block{m_in, m_depth, m_offset, m_freq, m_phase, m_out, m_wave, m_freq_scale != 0, m_depth_scale != 0};
    if (!block.in || !block.depth || !block.offset || !block.freq || !block.phase || !block.out) return;
    if (offset < 0 || offset > std::numeric_limits<int32_t>::max() - count) return;

    // Without tables the oscillator never runs: the output is the offset alone.
    if (!TablesBuilt()) {
        for (int32_t at = offset; at < offset + count; ++at) {
            block.out[at] =
                static_cast<float>(static_cast<double>(block.offset[at]) * static_cast<double>(block.in[at]));
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
        const bool held = vexlo::Held(block.freq, from, n) && vexlo::Held(block.phase, from, n) &&
                          vexlo::Held(block.depth, from, n) && vexlo::Held(block.offset, from, n) &&
                          vexlo::Held(block.in, from, n);
        if (held) {
            RunHeld(block, from, n, smoother);
        } else {
            RunModulated(block, from, n, smoother);
        }
        from += n;
    }
    StoreSmoother(smoother);
}

VexloModule::Cycle VexloModule::LoadCycle() const { return {m_count, m_period, m_period_inverse}; }

void VexloModule::StoreCycle(const Cycle& cycle) {
    m_count = cycle.count;
    m_period = cycle.period;
    m_period_inverse = cycle.inverse;
}

double VexloModule::Waveform(int16_t selector, int32_t position, int32_t period) {
    switch (selector) {
        case kWaveSine: {
            // Table index N x p / P, the product formed in floating point; below N for p < P.
            int32_t index = 0;
            if (!vexlo::TruncToInt32(
                    static_cast<double>(m_table_length) * static_cast<double>(position) / static_cast<double>(period),
                    &index) ||
                index < 0 || index >= m_table_length) {
                return 0.0;
            }
            return m_sine_table[index];
        }
        case kWaveTriangle: return vexlo::TriangleAt(position, period);
        case kWaveSquare:
            return SmoothSquare(vexlo::SquareLevel(position, period), m_smooth_window, m_smooth_last_window,
                                m_smooth_index, m_smooth_ring, m_smooth_sum);
        default: return 0.0;
    }
}
