// `trhost analyze`'s findings for one channel of an audio file: its measurements, its averaged
// spectrum with its strongest peaks, its harmonics and THD when it has a steady fundamental, and a
// spectrogram that shows how it changes along the file.
#ifndef TRHOST_ANALYSIS_H
#define TRHOST_ANALYSIS_H

#include <optional>
#include <string>
#include <vector>

#include "harmonics.h"
#include "measurements.h"
#include "spectrum.h"

namespace trhost {

// Peaks listed per channel, and the lowest level a listed peak may have (dB re full scale).
constexpr size_t kListedPeaks = 12;
constexpr double kPeakFloorDb = -120.0;

struct ChannelAnalysis {
    ChannelMeasurement measurement;
    Spectrum spectrum;
    std::vector<Partial> peaks;                 // the strongest, in order of frequency
    std::optional<HarmonicAnalysis> harmonics;  // when the channel has a steady fundamental
    Spectrogram spectrogram;
};

// `spectrogram_columns`: transforms along the file, one per pixel column of the plot.
ChannelAnalysis AnalyzeChannel(const std::string& name, const std::vector<float>& samples, double rate,
                               int spectrogram_columns);

// The harmonics and THD, or the strongest peaks when there is no steady fundamental, a line each.
std::vector<std::string> AnalysisLines(const ChannelAnalysis& analysis);

// Samples per spectrogram transform: about 40 ms, a power of two, and no more than a quarter of the file.
int64_t SpectrogramSize(double rate, int64_t frames);

}  // namespace trhost

#endif  // TRHOST_ANALYSIS_H
