// One step of the square-wave smoother on a copy of its state: the process routine loads the module's
// six smoother members into a SquareSmoother for a block, so that they live in registers and no output
// store can alias them, and stores them back when the block ends.
#ifndef VEXLO_SQUARE_SMOOTHER_H
#define VEXLO_SQUARE_SMOOTHER_H

#include <cstdint>

namespace vexlo {

// Leak applied to the running sum at every incremental step (bits 0x3F7FF972).
inline constexpr float kSmootherLeak = 0.9999f;

struct SquareSmoother {
    float sum;            // running sum of the newest `window` ring samples, leak applied
    int32_t index;        // ring slot the next sample is written to, 0 <= index < ring_length
    int32_t last_window;  // window of the previous step; 0 after setup
    int32_t window;       // W, samples
    int32_t ring_length;  // W + 1 slots
    float* ring;          // owned by the module

    // Stores `sample`, updates the sum and answers the smoothed sample (sum / W when W > 1, else the
    // sum), not rounded to single.
    double Step(float sample) {
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
                if (slot < 0) slot += ring_length;
                sum = sum + ring[slot];
            }
        } else {
            // The sample leaving the window was written `window` steps ago.
            int32_t leaving = index - window;
            if (leaving < 0) leaving = ring_length - window + index;
            sum = static_cast<float>(
                (static_cast<double>(sum) + static_cast<double>(sample) - static_cast<double>(ring[leaving])) *
                static_cast<double>(kSmootherLeak));
        }

        // Advance the write slot (index + 1 is at most ring_length, so one comparison wraps it) and
        // remember the window.
        index = index + 1 < ring_length ? index + 1 : 0;
        last_window = window;

        // Average over the window.
        if (window > 1) return static_cast<double>(sum) / static_cast<double>(window);
        return static_cast<double>(sum);
    }
};

}  // namespace vexlo

#endif  // VEXLO_SQUARE_SMOOTHER_H
