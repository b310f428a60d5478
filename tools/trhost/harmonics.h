// The harmonics of a periodic channel and its total harmonic distortion, from its spectrum.
#ifndef TRHOST_HARMONICS_H
#define TRHOST_HARMONICS_H

#include <vector>

#include "spectrum.h"

namespace trhost {

struct Harmonic {
    int number = 1;  // 1 is the fundamental
    Partial partial;
};

struct HarmonicAnalysis {
    double fundamental_hz = 0;
    std::vector<Harmonic> harmonics;  // from the fundamental up, while a lobe fits below Nyquist
    // THD: the RMS sum of harmonics 2 and up over the fundamental, as a ratio.
    double thd = 0;
};

// The most harmonics measured and summed into the THD.
constexpr int kMostHarmonics = 50;

// Each harmonic is the partial whose peak lies nearest n × `fundamental_hz`, searched within three
// bins, so that a fundamental measured a little off still finds its upper harmonics.
HarmonicAnalysis AnalyzeHarmonics(const Spectrum& spectrum, double fundamental_hz);

}  // namespace trhost

#endif  // TRHOST_HARMONICS_H
