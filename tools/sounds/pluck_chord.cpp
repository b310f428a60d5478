// pluck_chord: writes the project's own source audio, a strummed E minor chord on six plucked strings
// (Karplus-Strong), as a mono WAV file. The recipes in examples/recipes/ play it through the modules.
//
//   pluck_chord OUT.wav [RATE]     (RATE defaults to 48000 Hz)
//
// Made at build time, the same bits every time: the pluck noise comes from a fixed-seed generator.
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr double kStrings[] = {82.41, 123.47, 164.81, 196.00, 246.94, 329.63};  // E2 B2 E3 G3 B3 E4, Hz
constexpr double kSeconds = 3.2;
constexpr double kStrumGap = 0.025;      // seconds between strings within a strum
constexpr double kSecondStrum = 1.6;     // seconds: an up-strum, highest string first
constexpr double kDecayPerSecond = 0.2;  // level left of a string after one second
constexpr float kPeak = 0.5f;            // the loudest sample, 5 V

// A small linear congruential generator: the pluck's noise, identical on every machine.
struct Noise {
    uint32_t state = 12345u;
    double Next() {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) * (2.0 / 16777216.0) - 1.0;
    }
};

// One plucked string: a delay line of one period, filled with noise and fed back through a two-point
// average, so that high partials die faster than low ones.
void Pluck(std::vector<double>& out, double rate, double hertz, double start, Noise& noise) {
    const auto period = static_cast<size_t>(rate / hertz + 0.5);
    std::vector<double> line(period);
    for (double& sample : line) sample = noise.Next();
    const double loss = std::pow(kDecayPerSecond, 1.0 / hertz);  // per trip round the loop
    const auto first = static_cast<size_t>(start * rate);
    size_t at = 0;
    for (size_t i = first; i < out.size(); ++i) {
        const double current = line[at];
        const double next = line[(at + 1) % period];
        out[i] += current;
        line[at] = 0.5 * (current + next) * loss;
        at = (at + 1) % period;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: pluck_chord OUT.wav [RATE]\n");
        return 2;
    }
    const int rate = argc == 3 ? std::atoi(argv[2]) : 48000;
    if (rate < 8000 || rate > 384000) {
        std::fprintf(stderr, "pluck_chord: the rate must be from 8000 to 384000 Hz\n");
        return 2;
    }

    std::vector<double> mix(static_cast<size_t>(kSeconds * rate));
    Noise noise;
    const size_t strings = std::size(kStrings);
    for (size_t s = 0; s < strings; ++s) Pluck(mix, rate, kStrings[s], s * kStrumGap, noise);
    for (size_t s = 0; s < strings; ++s) {
        Pluck(mix, rate, kStrings[strings - 1 - s], kSecondStrum + s * kStrumGap, noise);
    }

    double peak = 0.0;
    for (double sample : mix) peak = std::fmax(peak, std::fabs(sample));
    std::vector<float> samples(mix.size());
    for (size_t i = 0; i < mix.size(); ++i) samples[i] = static_cast<float>(mix[i] * kPeak / peak);

    SF_INFO format{};
    format.samplerate = rate;
    format.channels = 1;
    format.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(argv[1], SFM_WRITE, &format);
    if (!file) {
        std::fprintf(stderr, "pluck_chord: %s: cannot be written: %s\n", argv[1], sf_strerror(nullptr));
        return 1;
    }
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    const auto frames = static_cast<sf_count_t>(samples.size());
    const bool written = sf_writef_float(file, samples.data(), frames) == frames;
    if (sf_close(file) != 0 || !written) {
        std::fprintf(stderr, "pluck_chord: %s: cannot be written\n", argv[1]);
        return 1;
    }
    return 0;
}
