// The square-wave smoother: a running average over about 1.13 ms of samples, kept as a running sum
// that leaks by 0.9999 per step. Because the leak scales the whole sum, a held level decays toward 0
// and each edge overshoots the new level. Set up by Open, released by Close; called only from the
// process routine, once per active square-wave sample.
#include <new>

#include "checked_convert.h"
#include "vexlo_module.h"

namespace {

// Window length per hertz of sample rate: the single nearest 1/882 (bits 0x3A949B93), 50 samples at
// 44,100 Hz (the product, 50.0000007, truncates to 50).
constexpr float kWindowPerHertz = 0.0011337869f;
// Leak applied to the running sum at every incremental step (bits 0x3F7FF972).
constexpr float kLeak = 0.9999f;

}  // namespace

bool VexloModule::SetupSmoother(int32_t sample_rate) {
    ReleaseSmoother();
    m_smooth_sum = 0.0f;
    m_smooth_index = 0;
    m_smooth_last_window = 0;

    int32_t window = 0;
    if (!vexlo::TruncToInt32(static_cast<double>(sample_rate) * static_cast<double>(kWindowPerHertz),
                             &window) ||
        window < 0) {
        return false;
    }
    m_smooth_ring = new (std::nothrow) float[static_cast<size_t>(window) + 1]();
    if (!m_smooth_ring) return false;
    m_smooth_window = window;
    m_smooth_ring_length = window + 1;
    return true;
}

void VexloModule::ReleaseSmoother() {
    delete[] m_smooth_ring;
    m_smooth_ring = nullptr;
    m_smooth_ring_length = 0;
    m_smooth_window = 0;
}

double VexloModule::SmoothSquare(float sample, int32_t window, int32_t& last_window, int32_t& index,
                                 float*& ring, float& sum) {
    const int32_t length = m_smooth_ring_length;

    // Store the new sample.
    ring[index] = sample;

    // Update the sum: pass-through, full recompute on a new window, else leaky incremental.
    if (window <= 1) {
        sum = sample;
    } else if (window != last_window) {
        // Newest to oldest, rounded to single after every addition; no leak.
        sum = 0.0f;
        for (int32_t k = 0; k < window; ++k) {
            int32_t slot = index - k;
            if (slot < 0) slot += length;
            sum = sum + ring[slot];
        }
    } else {
        // The sample leaving the window was written `window` steps ago.
        int32_t leaving = index - window;
        if (leaving < 0) leaving = length - window + index;
        sum = static_cast<float>(
            (static_cast<double>(sum) + static_cast<double>(sample) - static_cast<double>(ring[leaving])) *
            static_cast<double>(kLeak));
    }

    // Advance the write slot and remember the window.
    index = (index + 1) % length;
    last_window = window;

    // Average over the window.
    if (window > 1) return static_cast<double>(sum) / static_cast<double>(window);
    return static_cast<double>(sum);
}
