// Spectra of a rendered or recorded channel, computed with FFTW.
//
// Every transform is windowed with the four-term Blackman-Harris window: its side lobes lie 92 dB
// down, so that harmonics and sidebands far below a strong partial stay visible, and its main lobe,
// four bins either side, holds all but a millionth of a sinusoid's power. A partial's level is taken
// from the power summed over that lobe, so it does not depend on where the partial falls between two
// bins (the scalloping that a single bin's height suffers).
//
// Levels are in dB re full scale: 0 dB is a sinusoid of amplitude 1.0, that is 10 V peak.
#ifndef TRHOST_SPECTRUM_H
#define TRHOST_SPECTRUM_H

#include <cstdint>
#include <optional>
#include <vector>

namespace trhost {

inline constexpr const char* kWindowName = "Blackman-Harris (4-term)";
// Bins either side of a partial's peak that its main lobe covers.
constexpr int kLobeBins = 4;

// The averaged power spectrum of a channel (Welch's method: segments overlapping by half).
struct Spectrum {
    double rate = 0;
    int64_t size = 0;      // samples per transform
    int64_t segments = 0;  // transforms averaged
    double enbw_bins = 0;  // the window's equivalent noise bandwidth, in bins
    // Bins 0 to size/2: mean-square level per bin, in sample units squared. Summed over a
    // sinusoid's main lobe it gives A²/2, the sinusoid's mean square.
    std::vector<double> power;

    double BinHz() const { return rate / static_cast<double>(size); }
    // What the bin reads as the amplitude of a sinusoid centred on it, in dB re full scale.
    double LevelDb(size_t bin) const;
};

// Segments of `most_size` samples at most; a shorter channel is one transform of its whole length.
Spectrum AverageSpectrum(const std::vector<float>& samples, double rate, int64_t most_size = 65536);

// A sinusoidal component: where its lobe's power lies and how strong it is.
struct Partial {
    double hertz = 0;      // the lobe's power-weighted centre
    double amplitude = 0;  // sample units (1.0 is 10 V)
    double LevelDb() const;
};

// The partial whose peak bin is the strongest within `search_hz` of `hertz`; nullopt when that range
// holds no bin (below DC's lobe or above the highest bin).
std::optional<Partial> PartialNear(const Spectrum& spectrum, double hertz, double search_hz);

// Up to `count` strongest peaks (bins that are the largest of their lobe) above `floor_db`, in order
// of frequency. DC's lobe is left out.
std::vector<Partial> StrongestPartials(const Spectrum& spectrum, size_t count, double floor_db);

// Short-time spectra along a channel: `columns` transforms of `size` samples, evenly spaced from the
// start to the end (overlapping or with gaps, as the length requires).
struct Spectrogram {
    double rate = 0;
    int64_t size = 0;
    std::vector<int64_t> starts;                // first sample of each column
    std::vector<std::vector<float>> levels_db;  // per column, bins 0 to size/2, as Spectrum::LevelDb
    double BinHz() const { return rate / static_cast<double>(size); }
};

Spectrogram ComputeSpectrogram(const std::vector<float>& samples, double rate, int64_t size, int columns);

}  // namespace trhost

#endif  // TRHOST_SPECTRUM_H
