#include "measurements.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "text_width.h"

namespace trhost {

namespace {

// Periods of a steady fundamental differ by less than this fraction of their mean.
constexpr double kSteadiness = 0.02;
// The dead band around the mean, as a fraction of the signal's span.
constexpr double kDeadBand = 0.1;

struct Crossings {
    std::vector<double> rising, falling;  // in samples, interpolated
};

Crossings FindCrossings(const std::vector<float>& samples, double mean, double band) {
    Crossings found;
    int side = 0;  // -1 below the band, +1 above, 0 not yet known
    double last_up = -1, last_down = -1;
    for (size_t i = 0; i < samples.size(); ++i) {
        double now = samples[i];
        if (!std::isfinite(now)) continue;
        // The mean crossing between this sample and the previous one, if any.
        if (i > 0 && std::isfinite(samples[i - 1])) {
            double before = samples[i - 1];
            if (before <= mean && now > mean) last_up = static_cast<double>(i - 1) + (mean - before) / (now - before);
            if (before >= mean && now < mean) last_down = static_cast<double>(i - 1) + (before - mean) / (before - now);
        }
        int next = now > mean + band ? 1 : now < mean - band ? -1 : side;
        if (side == -1 && next == 1 && last_up >= 0) found.rising.push_back(last_up);
        if (side == 1 && next == -1 && last_down >= 0) found.falling.push_back(last_down);
        side = next;
    }
    return found;
}

bool Steady(const std::vector<double>& times, double period) {
    for (size_t i = 1; i < times.size(); ++i) {
        if (std::fabs(times[i] - times[i - 1] - period) > kSteadiness * period) return false;
    }
    return true;
}

std::string Format(const char* format, double value) {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

std::optional<double> MeasureFrequency(const std::vector<float>& samples, double rate) {
    double sum = 0, lo = INFINITY, hi = -INFINITY;
    int64_t finite = 0;
    for (float s : samples) {
        if (!std::isfinite(s)) continue;
        sum += s;
        lo = std::min<double>(lo, s);
        hi = std::max<double>(hi, s);
        ++finite;
    }
    if (finite < 3 || !(hi > lo)) return std::nullopt;
    Crossings crossings = FindCrossings(samples, sum / static_cast<double>(finite), (hi - lo) * kDeadBand);

    double periods = 0, span = 0;
    for (const auto* times : {&crossings.rising, &crossings.falling}) {
        if (times->size() < 2) continue;
        periods += static_cast<double>(times->size() - 1);
        span += times->back() - times->front();
    }
    if (periods == 0 || !(span > 0)) return std::nullopt;
    double period = span / periods;
    if (!Steady(crossings.rising, period) || !Steady(crossings.falling, period)) return std::nullopt;
    return rate / period;
}

ChannelMeasurement MeasureChannel(const std::string& name, const std::vector<float>& samples, double rate) {
    ChannelMeasurement m;
    m.name = name;
    m.samples = static_cast<int64_t>(samples.size());
    double sum = 0, squares = 0, peak = 0;
    int64_t finite = 0;
    for (float s : samples) {
        if (!std::isfinite(s)) {
            ++m.non_finite;
            continue;
        }
        if (std::fpclassify(s) == FP_SUBNORMAL) ++m.denormal;
        if (std::fabs(s) > 1.0f) ++m.beyond_full_scale;
        sum += s;
        squares += static_cast<double>(s) * s;
        peak = std::max(peak, std::fabs(static_cast<double>(s)));
        ++finite;
    }
    if (finite > 0) {
        m.peak_volts = peak * kFullScaleVolts;
        m.dc_volts = sum / static_cast<double>(finite) * kFullScaleVolts;
        m.rms_volts = std::sqrt(squares / static_cast<double>(finite)) * kFullScaleVolts;
    }
    m.frequency_hz = MeasureFrequency(samples, rate);
    return m;
}

std::string FrequencyText(double hertz) {
    if (hertz >= 1000.0) return Format("%.4f kHz", hertz / 1000.0);
    int decimals = std::clamp(4 - static_cast<int>(std::floor(std::log10(std::max(hertz, 1e-9)))), 0, 6);
    char text[48];
    std::snprintf(text, sizeof text, "%.*f Hz", decimals, hertz);
    return text;
}

std::string LevelText(double volts) { return Format("%.4g V", volts); }

std::string MeasurementsText(const std::vector<ChannelMeasurement>& channels) {
    std::vector<std::vector<std::string>> rows = {
        {"channel", "peak", "RMS", "DC", "frequency", "non-finite", "denormal", "beyond ±10 V"}};
    for (const auto& m : channels) {
        rows.push_back({m.name, LevelText(m.peak_volts), LevelText(m.rms_volts), LevelText(m.dc_volts),
                        m.frequency_hz ? FrequencyText(*m.frequency_hz) : "-", std::to_string(m.non_finite),
                        std::to_string(m.denormal), std::to_string(m.beyond_full_scale)});
    }
    // Columns of text left-aligned, of numbers right-aligned.
    auto width = TextWidth;
    std::vector<size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], width(row[c]));
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line = " ";
        for (size_t c = 0; c < row.size(); ++c) {
            std::string pad(widths[c] - width(row[c]), ' ');
            line += " " + (c == 0 ? row[c] + pad : pad + row[c]);
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
    }
    return out;
}

std::vector<std::string> MeasurementWarnings(const std::vector<ChannelMeasurement>& channels) {
    std::vector<std::string> warnings;
    for (const auto& m : channels) {
        if (m.beyond_full_scale > 0) {
            warnings.push_back(m.name + " goes beyond ±10 V (the sample value ±1.0) in " +
                               std::to_string(m.beyond_full_scale) + " samples, to a peak of " +
                               LevelText(m.peak_volts) + "; played as audio, it clips there");
        }
        if (m.non_finite > 0) {
            warnings.push_back(m.name + " holds " + std::to_string(m.non_finite) + " samples that are not finite");
        }
        if (m.denormal > 0) {
            warnings.push_back(m.name + " holds " + std::to_string(m.denormal) +
                               " denormal samples, which are slow to process for the modules they feed");
        }
    }
    return warnings;
}

nlohmann::ordered_json MeasurementsJson(const std::vector<ChannelMeasurement>& channels) {
    auto list = nlohmann::ordered_json::array();
    for (const auto& m : channels) {
        list.push_back({{"name", m.name},
                        {"samples", m.samples},
                        {"peak_volts", m.peak_volts},
                        {"rms_volts", m.rms_volts},
                        {"dc_volts", m.dc_volts},
                        {"frequency_hz", m.frequency_hz ? nlohmann::ordered_json(*m.frequency_hz) : nullptr},
                        {"non_finite", m.non_finite},
                        {"denormal", m.denormal},
                        {"beyond_full_scale", m.beyond_full_scale}});
    }
    return list;
}

}  // namespace trhost
