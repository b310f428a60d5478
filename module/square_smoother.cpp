// The square-wave smoother's life in the module: set up by Open, released by Close, and its state
// copied out for a block and back. Called only from the process routine, once per active square-wave
// sample (square_smoother.h has the step).
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

vexlo::SquareSmoother VexloModule::LoadSmoother() const {
    return {m_smooth_sum, m_smooth_index, m_smooth_last_window, m_smooth_window, m_smooth_ring_length, m_smooth_ring};
}

void VexloModule::StoreSmoother(const vexlo::SquareSmoother& smoother) {
    m_smooth_sum = smoother.sum;
    m_smooth_index = smoother.index;
    m_smooth_last_window = smoother.last_window;
}
