#include "analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace trhost {

int64_t SpectrogramSize(double rate, int64_t frames) {
    int64_t size = 64;
    while (size * 2 <= rate * 0.04 && size * 2 <= frames / 4) size *= 2;
    return size;
}

ChannelAnalysis AnalyzeChannel(const std::string& name, const std::vector<float>& samples, double rate,
                               int spectrogram_columns) {
    ChannelAnalysis analysis;
    analysis.measurement = MeasureChannel(name, samples, rate);
    analysis.spectrum = AverageSpectrum(samples, rate);
    analysis.peaks = StrongestPartials(analysis.spectrum, kListedPeaks, kPeakFloorDb);
    if (analysis.measurement.frequency_hz) {
        HarmonicAnalysis harmonics = AnalyzeHarmonics(analysis.spectrum, *analysis.measurement.frequency_hz);
        if (!harmonics.harmonics.empty()) analysis.harmonics = harmonics;
    }
    int64_t frames = static_cast<int64_t>(samples.size());
    analysis.spectrogram = ComputeSpectrogram(samples, rate, SpectrogramSize(rate, frames),
                                              static_cast<int>(std::min<int64_t>(spectrogram_columns, frames)));
    return analysis;
}

std::vector<std::string> AnalysisLines(const ChannelAnalysis& analysis) {
    char line[96];
    std::vector<std::string> lines;
    if (analysis.harmonics) {
        const HarmonicAnalysis& h = *analysis.harmonics;
        double fundamental = h.harmonics.front().partial.LevelDb();
        lines.push_back("harmonics of " + FrequencyText(h.fundamental_hz));
        for (const auto& harmonic : h.harmonics) {
            if (harmonic.number > 12) break;
            double db = harmonic.partial.LevelDb();
            if (harmonic.number == 1) {
                std::snprintf(line, sizeof line, "  1  %s  %.1f dB (%s)", FrequencyText(harmonic.partial.hertz).c_str(),
                              db, LevelText(harmonic.partial.amplitude * kFullScaleVolts).c_str());
            } else {
                std::snprintf(line, sizeof line, "  %d  %s  %.1f dB re 1", harmonic.number,
                              FrequencyText(harmonic.partial.hertz).c_str(), db - fundamental);
            }
            lines.push_back(line);
        }
        std::snprintf(line, sizeof line, "THD %.3g %% (%.1f dB), %zu harmonics", h.thd * 100,
                      20 * std::log10(std::max(h.thd, 1e-15)), h.harmonics.size());
        lines.push_back(line);
    } else {
        lines.push_back("no steady fundamental; strongest peaks:");
        for (const auto& peak : analysis.peaks) {
            std::snprintf(line, sizeof line, "  %s  %.1f dB", FrequencyText(peak.hertz).c_str(), peak.LevelDb());
            lines.push_back(line);
        }
    }
    return lines;
}

}  // namespace trhost
