// The oscillator engine: Open sizes the tables from the sample rate, and Process turns each block of
// inputs into output samples.
//
// Exactness: every output is a literal evaluation of the steps below in IEEE double, rounded to single
// exactly where noted, with SSE2 arithmetic, no contraction and no reassociation (build flags). A
// change that alters one bit of output is a defect, so keep the order of operations as written.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstddef>
#include <limits>
#include <new>

#include "checked_convert.h"
#include "vexlo_module.h"

namespace {

// The sine table holds one cycle at the lowest frequency the engine accepts (just above 1/30 Hz), so
// the longest period, 30 x R samples, never outruns it.
constexpr int32_t kTableSecondsPerCycle = 30;
// The highest whole sample rate whose table length 30 x R still fits 32 bits.
constexpr int32_t kMaxSampleRate = std::numeric_limits<int32_t>::max() / kTableSecondsPerCycle;
// The table's angle scale: 6.2831852, about 1.07e-7 short of 2 pi. The table is filled with it, so a
// "more accurate" 2 pi would change every output.
constexpr double kAngleScale = 6.2831852;
// Frequencies must exceed 1/30 Hz (strictly) for the oscillator to run.
constexpr double kLowestHertz = 1.0 / 30.0;
// Hertz per sample unit on the Hz and kHz scales (1.0 = 10 V; 1 V = 1 Hz or 1 kHz).
constexpr float kHertzPerUnit = 10.0f;
constexpr float kHertzPerUnitKilo = 10000.0f;
// Depth factor of the Absolute scale.
constexpr float kAbsoluteDepth = 1.0f;
// Sample units to fractions of a period: 1 V per degree, 36 units per period.
constexpr float kPeriodsPerUnit = 1.0f / 36.0f;

static_assert(std::bit_cast<uint64_t>(kAngleScale) == 0x401921FB4D12D84Aull);
static_assert(std::bit_cast<uint64_t>(kLowestHertz) == 0x3FA1111111111111ull);
static_assert(std::bit_cast<uint32_t>(kPeriodsPerUnit) == 0x3CE38E39u);

}  // namespace

bool VexloModule::BuildSineTable(int32_t sample_rate) {
    ReleaseSineTable();
    if (sample_rate < 1 || sample_rate > kMaxSampleRate) return false;
    const int32_t length = kTableSecondsPerCycle * sample_rate;
    if (static_cast<size_t>(length) > std::numeric_limits<size_t>::max() / sizeof(float)) return false;

    m_sine_table = new (std::nothrow) float[static_cast<size_t>(length)];
    if (!m_sine_table) return false;
    m_table_length = length;
    for (int32_t i = 0; i < length; ++i) {
        const double angle = static_cast<double>(i) / static_cast<double>(length) * kAngleScale;
        m_sine_table[i] = static_cast<float>(std::sin(angle));
    }
    return true;
}

void VexloModule::ReleaseSineTable() {
    delete[] m_sine_table;
    m_sine_table = nullptr;
    m_table_length = 0;
}

void VexloModule::Open() {
    // A second open starts afresh: the earlier tables go before new ones are built.
    ReleaseSineTable();
    ReleaseSmoother();
    m_int_sample_rate = 0;

    // Sample rate, sine table and smoother. A rate that is not a number, below 1 Hz or too large for
    // the table, or a failed allocation, leaves no tables: the module then runs inactive.
    int32_t rate = 0;
    const bool usable = vexlo::TruncToInt32(static_cast<double>(GetSampleRate()), &rate) && rate >= 1 &&
                        rate <= kMaxSampleRate;
    if (usable && BuildSineTable(rate) && SetupSmoother(rate)) {
        m_int_sample_rate = rate;
    } else {
        ReleaseSineTable();
        ReleaseSmoother();
    }

    // The cycle starts afresh on the first active sample.
    m_period = -1;
    m_count = -1;

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
    const float* const in = m_in;
    const float* const depth = m_depth;
    const float* const offset_in = m_offset;
    const float* const freq = m_freq;
    const float* const phase = m_phase;
    float* const out = m_out;
    if (!in || !depth || !offset_in || !freq || !phase || !out) return;
    if (offset < 0 || offset > std::numeric_limits<int32_t>::max() - count) return;

    // Without tables the oscillator never runs: the output is the offset alone.
    if (!TablesBuilt()) {
        for (int32_t k = 0; k < count; ++k) {
            const int32_t at = offset + k;
            out[at] = static_cast<float>(static_cast<double>(offset_in[at]) * static_cast<double>(in[at]));
        }
        m_period = -1;
        m_count = -1;
        return;
    }

    for (int32_t k = 0; k < count; ++k) {
        const int32_t at = offset + k;

        // 1. Inputs.
        const float x_in = in[at];
        const float x_offset = offset_in[at];
        const float x_depth = depth[at];
        const float x_freq = freq[at];
        const float x_phase = phase[at];

        // 2. Effective depth: absolute, or relative to the offset.
        const float depth_factor = m_depth_scale != 0 ? x_offset : kAbsoluteDepth;
        const float depth_eff =
            static_cast<float>(static_cast<double>(depth_factor) * static_cast<double>(x_depth));

        // 3. Frequency in hertz.
        const float hertz_per_unit = m_freq_scale != 0 ? kHertzPerUnitKilo : kHertzPerUnit;
        const float hertz = static_cast<float>(static_cast<double>(hertz_per_unit) * static_cast<double>(x_freq));

        // 4. Count the sample.
        m_count = m_count + 1;

        // 5. Phase as a fraction of a period; a phase that is not a finite number counts as 0.
        float phase_fraction =
            static_cast<float>(static_cast<double>(x_phase) * static_cast<double>(kPeriodsPerUnit));
        if (!std::isfinite(phase_fraction)) phase_fraction = 0.0f;

        // 6. Active above 1/30 Hz with a depth that is a non-zero number (NaN fails both tests).
        const bool active =
            static_cast<double>(hertz) > kLowestHertz && (depth_eff > 0.0f || depth_eff < 0.0f);

        // 7. Inactive: the offset alone, and the cycle restarts when the oscillator runs again.
        if (!active) {
            out[at] = static_cast<float>(static_cast<double>(x_offset) * static_cast<double>(x_in));
            m_period = -1;
            m_count = -1;
            continue;
        }

        // 8. Period in whole samples, at least 1 (hertz above twice the rate would round it to 0). Above
        //    1/30 Hz, R / F stays below 30 x R, which fits 32 bits.
        int32_t period = 1;
        if (!vexlo::TruncToInt32(static_cast<double>(m_int_sample_rate) / static_cast<double>(hertz) + 0.5,
                                 &period) ||
            period < 1) {
            period = 1;
        }

        // 9. A new period keeps the same fraction of the cycle: rescale the count.
        if (m_period >= 1 && m_period != period) {
            int32_t rescaled = 0;
            if (vexlo::TruncToInt32(static_cast<double>(m_count) / static_cast<double>(m_period) *
                                            static_cast<double>(period) +
                                        0.5,
                                    &rescaled)) {
                m_count = rescaled;
            }
        }

        // 10. Wrap the count into the period.
        m_period = period;
        m_count = m_count % period;

        // 11. Phase offset in whole samples. When it does not fit 32 bits it is reduced modulo P first,
        //     which leaves the position unchanged.
        const double phase_samples = static_cast<double>(period) * static_cast<double>(phase_fraction) + 0.5;
        int32_t phase_offset = 0;
        if (!vexlo::TruncToInt32(phase_samples, &phase_offset)) {
            phase_offset = static_cast<int32_t>(std::fmod(std::trunc(phase_samples), static_cast<double>(period)));
        }

        // 12. Position within the period; a phase lag wraps into 0 .. P - 1.
        int32_t position = static_cast<int32_t>((static_cast<int64_t>(m_count) + phase_offset) % period);
        if (position < 0) position += period;

        // 13. Wave value.
        const double wave = Waveform(m_wave, position, period);

        // 14. Output, rounded to single once.
        out[at] = static_cast<float>((wave * static_cast<double>(depth_eff) + static_cast<double>(x_offset)) *
                                     static_cast<double>(x_in));
    }
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
        case kWaveTriangle: {
            // 0 at the start, +1 at a quarter, 0 at half, -1 at three quarters, in step with the sine.
            const double x = static_cast<double>(position) * 4.0 / static_cast<double>(period);
            if (x < 1.0) return x;
            if (x < 3.0) return 2.0 - x;
            return x - 4.0;
        }
        case kWaveSquare: {
            // +1 for the first half of the period, -1 for the second, through the smoother.
            const float level = static_cast<double>(position) / static_cast<double>(period) < 0.5 ? 1.0f : -1.0f;
            return SmoothSquare(level, m_smooth_window, m_smooth_last_window, m_smooth_index, m_smooth_ring,
                                m_smooth_sum);
        }
        default:
            return 0.0;
    }
}
