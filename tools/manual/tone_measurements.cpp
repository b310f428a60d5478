#include "tone_measurements.h"

#include <algorithm>
#include <cmath>

#include "spectrum.h"

namespace manual {

double Cents(double measured, double wanted) { return 1200.0 * std::log2(measured / wanted); }

double NoteFrequency(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

SidebandTone MeasureSidebandTone(const std::vector<float>& samples, int64_t first, int64_t count, double rate,
                                 double centre, double spacing, int orders) {
    const std::vector<float> span(samples.begin() + first, samples.begin() + first + count);
    const trhost::Spectrum spectrum = trhost::AverageSpectrum(span, rate, count);
    SidebandTone tone;
    const std::optional<trhost::Partial> carrier = trhost::PartialNear(spectrum, centre, spacing / 2);
    if (!carrier) return tone;
    tone.carrier_hz = carrier->hertz;

    const int64_t bins = static_cast<int64_t>(spectrum.power.size());
    std::vector<bool> owned(spectrum.power.size(), false);
    for (int order = -orders; order <= orders; ++order) {
        const int64_t at = std::llround(std::fabs(carrier->hertz + order * spacing) / spectrum.BinHz());
        for (int64_t k = std::max<int64_t>(0, at - trhost::kLobeBins); k <= std::min(bins - 1, at + trhost::kLobeBins);
             ++k) {
            owned[k] = true;
        }
    }
    double total = 0, off = 0;
    for (int64_t k = 0; k < bins; ++k) {
        total += spectrum.power[k];
        if (!owned[k]) off += spectrum.power[k];
    }
    tone.off_partials_db = 10.0 * std::log10(std::max(off, 1e-300 * total) / total);
    return tone;
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
