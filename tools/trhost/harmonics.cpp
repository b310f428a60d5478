#include "harmonics.h"

#include <cmath>

namespace trhost {

namespace {

// Bins either side of n × f0 in which the n-th harmonic's peak is looked for.
constexpr double kSearchBins = 3;

}  // namespace

HarmonicAnalysis AnalyzeHarmonics(const Spectrum& spectrum, double fundamental_hz) {
    HarmonicAnalysis analysis;
    analysis.fundamental_hz = fundamental_hz;
    if (spectrum.power.empty() || !(fundamental_hz > 0)) return analysis;
    double highest = (static_cast<double>(spectrum.power.size() - 1) - kLobeBins) * spectrum.BinHz();
    // Harmonics closer together than a lobe cannot be told apart.
    if (fundamental_hz < 2 * kLobeBins * spectrum.BinHz()) return analysis;
    double upper = 0;
    for (int n = 1; n <= kMostHarmonics && n * fundamental_hz <= highest; ++n) {
        auto partial = PartialNear(spectrum, n * fundamental_hz, kSearchBins * spectrum.BinHz());
        if (!partial) break;
        analysis.harmonics.push_back({n, *partial});
        if (n > 1) upper += partial->amplitude * partial->amplitude;
    }
    if (!analysis.harmonics.empty() && analysis.harmonics.front().partial.amplitude > 0) {
        analysis.thd = std::sqrt(upper) / analysis.harmonics.front().partial.amplitude;
    }
    return analysis;
}

}  // namespace trhost
