#include "spectrum.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace trhost {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Below any level a 32-bit float signal reaches; keeps log10 finite.
constexpr double kSilenceDb = -300.0;

// One real-to-complex transform of a fixed size with its window, planned once and run per segment.
class WindowedTransform {
public:
    explicit WindowedTransform(int64_t size) : m_size(size), m_window(static_cast<size_t>(size)) {
        // Four-term Blackman-Harris, periodic form (the DFT's own period).
        constexpr double a0 = 0.35875, a1 = 0.48829, a2 = 0.14128, a3 = 0.01168;
        for (int64_t n = 0; n < size; ++n) {
            double x = 2 * kPi * static_cast<double>(n) / static_cast<double>(size);
            m_window[n] = a0 - a1 * std::cos(x) + a2 * std::cos(2 * x) - a3 * std::cos(3 * x);
            m_sum += m_window[n];
            m_sum_of_squares += m_window[n] * m_window[n];
        }
        m_in = static_cast<double*>(fftw_malloc(sizeof(double) * size));
        m_out = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * (size / 2 + 1)));
        m_plan = fftw_plan_dft_r2c_1d(static_cast<int>(size), m_in, m_out, FFTW_ESTIMATE);
    }
    ~WindowedTransform() {
        fftw_destroy_plan(m_plan);
        fftw_free(m_in);
        fftw_free(m_out);
    }
    WindowedTransform(const WindowedTransform&) = delete;
    WindowedTransform& operator=(const WindowedTransform&) = delete;

    // Adds the mean-square level per bin of the segment starting at `first` to `power`; non-finite
    // samples count as silence.
    void AddPower(const std::vector<float>& samples, int64_t first, std::vector<double>& power) const {
        for (int64_t n = 0; n < m_size; ++n) {
            float s = samples[static_cast<size_t>(first + n)];
            m_in[n] = (std::isfinite(s) ? s : 0.0) * m_window[n];
        }
        fftw_execute(m_plan);
        double scale = 1.0 / (static_cast<double>(m_size) * m_sum_of_squares);
        for (int64_t k = 0; k <= m_size / 2; ++k) {
            double squared = m_out[k][0] * m_out[k][0] + m_out[k][1] * m_out[k][1];
            // Positive and negative frequencies in one bin, except DC and Nyquist.
            bool single = k == 0 || 2 * k == m_size;
            power[k] += (single ? 1.0 : 2.0) * squared * scale;
        }
    }
    double EnbwBins() const { return static_cast<double>(m_size) * m_sum_of_squares / (m_sum * m_sum); }

private:
    int64_t m_size;
    std::vector<double> m_window;
    double m_sum = 0, m_sum_of_squares = 0;
    double* m_in = nullptr;
    fftw_complex* m_out = nullptr;
    fftw_plan m_plan = nullptr;
};

double AmplitudeDb(double amplitude) {
    return amplitude > 0 ? std::max(kSilenceDb, 20 * std::log10(amplitude)) : kSilenceDb;
}

// What a bin of mean-square `power` reads as a bin-centred sinusoid's amplitude, in dB.
double BinLevelDb(double power, double enbw_bins) { return AmplitudeDb(std::sqrt(2 * enbw_bins * power)); }

// The partial whose lobe is centred on `peak`.
Partial LobeAt(const Spectrum& spectrum, int64_t peak) {
    int64_t last = static_cast<int64_t>(spectrum.power.size()) - 1;
    double sum = 0, moment = 0;
    for (int64_t k = std::max<int64_t>(0, peak - kLobeBins); k <= std::min(last, peak + kLobeBins); ++k) {
        sum += spectrum.power[k];
        moment += spectrum.power[k] * static_cast<double>(k);
    }
    Partial partial;
    partial.hertz = (sum > 0 ? moment / sum : static_cast<double>(peak)) * spectrum.BinHz();
    partial.amplitude = std::sqrt(2 * sum);
    return partial;
}

}  // namespace

double Spectrum::LevelDb(size_t bin) const { return BinLevelDb(power[bin], enbw_bins); }

double Partial::LevelDb() const { return AmplitudeDb(amplitude); }

Spectrum AverageSpectrum(const std::vector<float>& samples, double rate, int64_t most_size) {
    Spectrum spectrum;
    spectrum.rate = rate;
    int64_t frames = static_cast<int64_t>(samples.size());
    spectrum.size = std::min(frames, most_size);
    if (spectrum.size < 2 * kLobeBins + 2) return spectrum;
    WindowedTransform transform(spectrum.size);
    spectrum.enbw_bins = transform.EnbwBins();
    spectrum.power.assign(static_cast<size_t>(spectrum.size / 2 + 1), 0.0);
    int64_t hop = spectrum.size / 2;
    for (int64_t first = 0; first + spectrum.size <= frames; first += hop) {
        transform.AddPower(samples, first, spectrum.power);
        ++spectrum.segments;
    }
    for (double& p : spectrum.power) p /= static_cast<double>(spectrum.segments);
    return spectrum;
}

std::optional<Partial> PartialNear(const Spectrum& spectrum, double hertz, double search_hz) {
    int64_t last = static_cast<int64_t>(spectrum.power.size()) - 1;
    int64_t from =
        std::max<int64_t>(kLobeBins + 1, static_cast<int64_t>(std::ceil((hertz - search_hz) / spectrum.BinHz())));
    int64_t to = std::min(last, static_cast<int64_t>(std::floor((hertz + search_hz) / spectrum.BinHz())));
    if (spectrum.power.empty() || from > to) return std::nullopt;
    int64_t peak = from;
    for (int64_t k = from; k <= to; ++k) {
        if (spectrum.power[k] > spectrum.power[peak]) peak = k;
    }
    return LobeAt(spectrum, peak);
}

std::vector<Partial> StrongestPartials(const Spectrum& spectrum, size_t count, double floor_db) {
    std::vector<std::pair<double, int64_t>> peaks;  // power, bin
    int64_t last = static_cast<int64_t>(spectrum.power.size()) - 1;
    for (int64_t k = kLobeBins + 1; k <= last; ++k) {
        bool highest = true;
        for (int64_t j = std::max<int64_t>(0, k - kLobeBins); highest && j <= std::min(last, k + kLobeBins); ++j) {
            // Ties go to the lower bin, so that a flat top yields one peak.
            highest =
                j == k || (j < k ? spectrum.power[j] < spectrum.power[k] : spectrum.power[j] <= spectrum.power[k]);
        }
        if (highest && spectrum.LevelDb(static_cast<size_t>(k)) > floor_db) peaks.push_back({spectrum.power[k], k});
    }
    std::sort(peaks.begin(), peaks.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    if (peaks.size() > count) peaks.resize(count);
    std::vector<Partial> partials;
    for (const auto& peak : peaks) partials.push_back(LobeAt(spectrum, peak.second));
    std::sort(partials.begin(), partials.end(), [](const Partial& a, const Partial& b) { return a.hertz < b.hertz; });
    return partials;
}

Spectrogram ComputeSpectrogram(const std::vector<float>& samples, double rate, int64_t size, int columns) {
    Spectrogram result;
    result.rate = rate;
    int64_t frames = static_cast<int64_t>(samples.size());
    result.size = std::min(size, frames);
    if (result.size < 2 * kLobeBins + 2 || columns < 1) return result;
    WindowedTransform transform(result.size);
    double enbw = transform.EnbwBins();
    int64_t room = frames - result.size;
    std::vector<double> power(static_cast<size_t>(result.size / 2 + 1));
    for (int c = 0; c < columns; ++c) {
        int64_t first = columns == 1 ? 0 : room * c / (columns - 1);
        std::fill(power.begin(), power.end(), 0.0);
        transform.AddPower(samples, first, power);
        std::vector<float> levels(power.size());
        for (size_t k = 0; k < power.size(); ++k) levels[k] = static_cast<float>(BinLevelDb(power[k], enbw));
        result.starts.push_back(first);
        result.levels_db.push_back(std::move(levels));
    }
    return result;
}

}  // namespace trhost
