#include "wire_ranges.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "pin_values.h"

namespace trhost {

namespace {

// How far `volts` lies outside `range`: 0 inside, infinity when not finite.
double DistanceOutside(double volts, const PinRange& range) {
    if (!std::isfinite(volts)) return std::numeric_limits<double>::infinity();
    if (volts < range.Low()) return range.Low() - volts;
    if (volts > range.High()) return volts - range.High();
    return 0;
}

std::string ValueText(double volts) { return std::isfinite(volts) ? VoltsText(volts) : std::string("not finite"); }

}  // namespace

size_t WireRangeWatch::Watch(const std::string& wire, const std::string& pin, const PinRange& range) {
    Watched watched;
    watched.excursion.wire = wire;
    watched.excursion.pin = pin;
    watched.excursion.range = range;
    m_wires.push_back(watched);
    return m_wires.size() - 1;
}

void WireRangeWatch::Check(size_t wire, const float* samples, int32_t count, int64_t first_sample) {
    Watched& watched = m_wires[wire];
    RangeExcursion& excursion = watched.excursion;
    for (int32_t k = 0; k < count; ++k) {
        const double volts = static_cast<double>(samples[k]) * kVoltsPerUnit;
        const double distance = DistanceOutside(volts, excursion.range);
        if (distance == 0) continue;
        if (excursion.samples_outside++ == 0) {
            excursion.first_sample = first_sample + k;
            excursion.first_volts = volts;
        }
        if (distance > watched.furthest_distance) {
            watched.furthest_distance = distance;
            excursion.furthest_volts = volts;
        }
    }
}

std::vector<RangeExcursion> WireRangeWatch::Excursions() const {
    std::vector<RangeExcursion> found;
    for (const auto& watched : m_wires) {
        if (watched.excursion.samples_outside > 0) found.push_back(watched.excursion);
    }
    return found;
}

std::string ExcursionText(const RangeExcursion& excursion, double rate) {
    char when[64];
    std::snprintf(when, sizeof when, "%.4f s (sample %lld)", static_cast<double>(excursion.first_sample) / rate,
                  static_cast<long long>(excursion.first_sample));
    return "wire " + excursion.wire + " leaves the range of " + excursion.pin + " (" +
           VoltsText(excursion.range.Low()) + " to " + VoltsText(excursion.range.High()) + "): first at " + when +
           " with " + ValueText(excursion.first_volts) + ", furthest " + ValueText(excursion.furthest_volts) + ", " +
           std::to_string(excursion.samples_outside) + " sample" + (excursion.samples_outside == 1 ? "" : "s") +
           " outside";
}

}  // namespace trhost
