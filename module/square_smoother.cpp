// The square-wave smoother: a running average over about 1.13 ms of samples, kept as a running sum
// that leaks by 0.9999 per step. Because the leak scales the whole sum, a held level decays toward 0
// and each edge overshoots the new level. Set up by Open, released by Close; called only from the
// process routine, once per active square-wave sample.
#include <new>

#include "checked_convert.h"
#include "square_smoother.h"
#include "vexlo_module.h"

namespace {

// Window length per hertz of sample rate: the single nearest 1/882 (bits 0x3A949B93), 50 samples at
// 44,100 Hz (the product, 50.0000007, truncates to 50).
constexpr float kWindowPerHertz = 0.0011337869f;

}  // namespace

bool VexloModule::SetupSmoother(int32_t sample_rate) {
    ReleaseSmoother();
    m_smooth_sum = 0.0f;
    m_smooth_index = 0;
    m_smooth_last_window = 0;

    int32_t window = 0;
    if (!vexlo::TruncToInt32(static_cast<double>(sample_rate) * static_cast<double>(kWindowPerHertz), &window) ||
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

double VexloModule::SmoothSquare(float sample, int32_t window, int32_t& last_window, int32_t& index, float*& ring,
                                 float& sum) {
    // Without a ring (never opened, or opened at a rate the tables could not be built for) there is
    // nothing to smooth.
    if (!ring || m_smooth_ring_length < 1) return 0.0;
    vexlo::SquareSmoother smoother{sum, index, last_window, window, m_smooth_ring_length, ring};
    const double smoothed = smoother.Step(sample);
    sum = smoother.sum;
    index = smoother.index;
    last_window = smoother.last_window;
    return smoothed;
}

vexlo::SquareSmoother VexloModule::LoadSmoother() const {
    return {m_smooth_sum, m_smooth_index, m_smooth_last_window, m_smooth_window, m_smooth_ring_length, m_smooth_ring};
}

void VexloModule::StoreSmoother(const vexlo::SquareSmoother& smoother) {
    m_smooth_sum = smoother.sum;
    m_smooth_index = smoother.index;
    m_smooth_last_window = smoother.last_window;
}
