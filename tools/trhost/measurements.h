// What trhost measures of every channel it renders, in the units a patch is read in: peak, RMS and
// DC in volts (a sample value of 1.0 is 10 V), the fundamental frequency in hertz where the signal
// has a steady one, and the samples a listener or a module would stumble on (not finite, denormal,
// beyond the full scale of an audio file).
#ifndef TRHOST_MEASUREMENTS_H
#define TRHOST_MEASUREMENTS_H

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace trhost {

// The full scale of an audio file or a sound card: a sample value of ±1.0, which stands for ±10 V. A file
// in an integer format, or a sound card, clips beyond it. The host's interface sets no such limit on the
// signals between modules: each pin states its own range.
constexpr double kFullScaleVolts = 10.0;

struct ChannelMeasurement {
    std::string name;
    int64_t samples = 0;
    double peak_volts = 0;  // largest magnitude of the finite samples
    double rms_volts = 0;   // of the finite samples, DC included
    double dc_volts = 0;    // mean of the finite samples
    std::optional<double> frequency_hz;
    int64_t non_finite = 0;         // NaN or infinite
    int64_t denormal = 0;           // subnormal: slow on x87 and on SSE without flush-to-zero
    int64_t beyond_full_scale = 0;  // finite samples of magnitude above 1.0
};

// The fundamental frequency of a periodic signal, from the times at which it crosses its mean. A
// crossing is counted only when the signal passes from below the mean by more than a tenth of its
// span to above it by as much (or back), so that ripple and noise do not count; its time is
// interpolated linearly between the two samples around the mean. The frequency is the number of
// whole periods from the first rising crossing to the last, and from the first falling to the last,
// over the time they span, so that a mean not quite at the waveform's centre (an uneven number of
// cycles) does not bias it. Answers nullopt when there are fewer than two crossings of one kind, or
// when the periods between them differ by more than 2 %: then there is no steady fundamental.
std::optional<double> MeasureFrequency(const std::vector<float>& samples, double rate);

ChannelMeasurement MeasureChannel(const std::string& name, const std::vector<float>& samples, double rate);

// A table with a row per channel, and a warning line per channel that goes beyond full scale or
// holds non-finite or denormal samples.
std::string MeasurementsText(const std::vector<ChannelMeasurement>& channels);
std::vector<std::string> MeasurementWarnings(const std::vector<ChannelMeasurement>& channels);

// The measurements as JSON: volts, hertz (null when none) and counts.
nlohmann::ordered_json MeasurementsJson(const std::vector<ChannelMeasurement>& channels);

// "1.0000 Hz", "220.5 Hz", "1.2 kHz", and volts as "5 V", "353.6 mV".
std::string FrequencyText(double hertz);
std::string LevelText(double volts);

}  // namespace trhost

#endif  // TRHOST_MEASUREMENTS_H
