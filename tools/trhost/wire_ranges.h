// The signal on each wire against the range the receiving pin states in its range text. The host
// passes a signal on whatever its level; a pin's range is what its module states it is made for, so a
// signal outside it is the patch author's to hear about: the module may clamp it, wrap it or round it
// in ways its description does not promise.
#ifndef TRHOST_WIRE_RANGES_H
#define TRHOST_WIRE_RANGES_H

#include <cstdint>
#include <string>
#include <vector>

#include "pin_text.h"

namespace trhost {

// Where a wire's signal first left its pin's range, and how far it went.
struct RangeExcursion {
    std::string wire;  // "car.Phase <- mod.Out"
    std::string pin;   // the receiving pin, "Phase"
    PinRange range;
    int64_t first_sample = 0;     // counted from the start of the run
    double first_volts = 0;       // the value there (NaN when not finite)
    double furthest_volts = 0;    // the value furthest outside the range (NaN when any was not finite)
    int64_t samples_outside = 0;  // over the whole run
};

// Follows every watched wire block by block. Not finite is outside every range.
class WireRangeWatch {
public:
    // Watches one wire; answers its index for Check.
    size_t Watch(const std::string& wire, const std::string& pin, const PinRange& range);
    // The block of `count` samples the receiving pin reads, the first of them at `first_sample`.
    void Check(size_t wire, const float* samples, int32_t count, int64_t first_sample);
    // The wires whose signal left its range, in the order they were watched.
    std::vector<RangeExcursion> Excursions() const;

private:
    struct Watched {
        RangeExcursion excursion;
        double furthest_distance = 0;
    };
    std::vector<Watched> m_wires;
};

// "wire car.Phase <- mod.Out leaves the range of Phase (0 V to 360 V): first at 0.0023 s (sample 100)
// with -0.5 V, furthest -50 V, 22050 samples outside"
std::string ExcursionText(const RangeExcursion& excursion, double rate);

}  // namespace trhost

#endif  // TRHOST_WIRE_RANGES_H
