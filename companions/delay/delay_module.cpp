#include "delay_module.h"

#include <cmath>

#include "tr_process_routine.h"

namespace {

// What the line stores: a sample that is not finite would stay in the loop for good, so it is stored
// as silence; magnitudes are bounded so that feedback of huge input cannot overflow; and values too
// small to hear are stored as 0, so that a dying loop never runs on denormals.
constexpr double kLargestStored = 1.0e15;
constexpr double kSmallestStored = 1.0e-30;

float Storable(double sample) {
    if (!std::isfinite(sample)) return 0.0f;
    if (std::fabs(sample) < kSmallestStored) return 0.0f;
    if (sample > kLargestStored) return static_cast<float>(kLargestStored);
    if (sample < -kLargestStored) return static_cast<float>(-kLargestStored);
    return static_cast<float>(sample);
}

// A control sample clamped to [low, high]; one that is not a number takes `otherwise`.
double Clamped(float value, double low, double high, double otherwise) {
    if (std::isnan(value)) return otherwise;
    if (value < low) return low;
    if (value > high) return high;
    return value;
}

}  // namespace

DelayModule::DelayModule(TRHostCallback host_callback, uint32_t host_handle)
    : TRModule_base(host_callback, host_handle) {}

void DelayModule::Open() {
    // A second open starts afresh, with an empty line for the current rate and setting.
    m_line.Release();
    m_samples_per_ms = 0;

    const double rate = GetSampleRate();
    int32_t max_ms = m_max_delay_ms;
    if (max_ms < 1 || max_ms > kLongestMaxDelayMs) max_ms = kDefaultMaxDelayMs;
    if (std::isfinite(rate) && rate >= 1.0 && m_line.SetUp(max_ms * rate / 1000.0)) {
        m_samples_per_ms = rate / 1000.0;
    }

    SetProcessFunction(TRProcessRoutine<DelayModule, &DelayModule::Process>);
    TRModule_base::Open();
    AnnouncePinState(kPinOut, PIN_STATE_RUNNING);
}

void DelayModule::Close() {
    m_line.Release();
    m_samples_per_ms = 0;
}

double DelayModule::DelaySamples(float time) const {
    // Milliseconds rounded to single precision, the precision Time arrives in: a Time written in volts
    // (2 V is the sample 0.2f, which is not 0.2) then gives its whole number of milliseconds exactly.
    constexpr float kMsPerSampleValue = 10.0f;  // 1.0 = 10 V = 10 ms
    const float ms = time * kMsPerSampleValue;
    const double delay = static_cast<double>(ms) * m_samples_per_ms;
    if (std::isnan(delay) || delay < companions::DelayLine::kMinDelay) return companions::DelayLine::kMinDelay;
    if (delay > m_line.MaxDelay()) return m_line.MaxDelay();
    return delay;
}

void DelayModule::Process(int32_t offset, int32_t count) {
    if (!m_in || !m_time || !m_feedback || !m_mix || !m_out) return;
    if (!TRProcessableBlock(offset, count)) return;
    const int32_t end = offset + count;

    // Without a line the module is a wire.
    if (!m_line.Ready()) {
        for (int32_t i = offset; i < end; ++i) m_out[i] = m_in[i];
        return;
    }

    for (int32_t i = offset; i < end; ++i) {
        // Out has a buffer of its own (the host never hands an output the buffer of one of the same
        // module's inputs), so Out may be written at once; the inputs are only ever read.
        const double in = m_in[i];
        const double feedback = Clamped(m_feedback[i], -kMaxFeedback, kMaxFeedback, 0.0);
        const double mix = Clamped(m_mix[i], 0.0, 1.0, 0.0);

        // The delayed signal, then the loop: this sample and the fed-back delayed one go in.
        const double wet = m_line.Read(DelaySamples(m_time[i]));
        m_line.Write(Storable(in + feedback * wet));

        // Dry and wet: each end of the mix is an exact copy of its side.
        m_out[i] = static_cast<float>((1.0 - mix) * in + mix * wet);
    }
}
