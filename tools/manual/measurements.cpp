#include "measurements.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace manual {

double MeasureFrequency(const std::vector<float>& samples, int64_t first, int64_t count, double rate) {
    double first_crossing = -1, last_crossing = -1;
    int64_t cycles = -1;
    const int64_t end = std::min<int64_t>(first + count, static_cast<int64_t>(samples.size()));
    for (int64_t k = first; k + 1 < end; ++k) {
        const double a = samples[k], b = samples[k + 1];
        if (!(a < 0 && b >= 0)) continue;
        const double at = static_cast<double>(k) + a / (a - b);
        if (first_crossing < 0) first_crossing = at;
        last_crossing = at;
        ++cycles;
    }
    if (cycles < 1) return 0;
    return static_cast<double>(cycles) * rate / (last_crossing - first_crossing);
}

double Cents(double measured, double wanted) { return 1200.0 * std::log2(measured / wanted); }

double NoteFrequency(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

double OffPartialLevel(const std::vector<float>& samples, int64_t first, int64_t count, double rate, double centre,
                       double spacing, int orders) {
    const int n = static_cast<int>(count);
    double* input = fftw_alloc_real(n);
    fftw_complex* output = fftw_alloc_complex(n / 2 + 1);
    fftw_plan plan = fftw_plan_dft_r2c_1d(n, input, output, FFTW_ESTIMATE);
    // Sidelobes 92 dB down, and a main lobe of 4 bins either side.
    constexpr double a0 = 0.35875, a1 = 0.48829, a2 = 0.14128, a3 = 0.01168;
    constexpr int kLobe = 4;
    for (int k = 0; k < n; ++k) {
        const double x = 2.0 * std::numbers::pi * k / n;
        input[k] = samples[first + k] * (a0 - a1 * std::cos(x) + a2 * std::cos(2 * x) - a3 * std::cos(3 * x));
    }
    fftw_execute(plan);
    const int bins = n / 2 + 1;
    std::vector<double> power(bins);
    for (int k = 0; k < bins; ++k) power[k] = output[k][0] * output[k][0] + output[k][1] * output[k][1];
    fftw_destroy_plan(plan);
    fftw_free(output);
    fftw_free(input);

    const double hertz_per_bin = rate / n;
    auto bin_of = [&](double hertz) { return static_cast<int>(std::lround(std::fabs(hertz) / hertz_per_bin)); };
    int carrier = bin_of(centre);
    const int reach = std::max(1, bin_of(spacing / 2));
    for (int k = std::max(0, bin_of(centre) - reach); k <= std::min(bins - 1, bin_of(centre) + reach); ++k) {
        if (power[k] > power[carrier]) carrier = k;
    }
    std::vector<bool> partial(bins, false);
    for (int order = -orders; order <= orders; ++order) {
        const int at = bin_of(carrier * hertz_per_bin + order * spacing);
        for (int k = std::max(0, at - kLobe); k <= std::min(bins - 1, at + kLobe); ++k) partial[k] = true;
    }
    double total = 0, off = 0;
    for (int k = 0; k < bins; ++k) {
        total += power[k];
        if (!partial[k]) off += power[k];
    }
    return 10.0 * std::log10(std::max(off, 1e-300 * total) / total);
}

HalfCycleLevels RisingHalfLevels(const std::vector<float>& samples, int64_t period) {
    HalfCycleLevels levels;
    const int64_t cycles = period > 0 ? static_cast<int64_t>(samples.size()) / period : 0;
    if (cycles < 1) return levels;
    const int64_t start = (cycles - 1) * period;
    const int64_t rising = (period + 1) / 2;  // positions below half the period
    for (int64_t k = 0; k < rising; ++k) {
        if (samples[start + k] > levels.peak) {
            levels.peak = samples[start + k];
            levels.peak_frame = k;
        }
    }
    levels.before_edge = samples[start + rising - 1];
    return levels;
}

}  // namespace manual
