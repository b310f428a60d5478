// What the manual measures on a module's output beyond trhost's own measurements: pitch in cents, how
// far a modulated tone lies from its ideal partials, and the square wave's levels after and before each
// edge.
#ifndef VEXLO_MANUAL_TONE_MEASUREMENTS_H
#define VEXLO_MANUAL_TONE_MEASUREMENTS_H

#include <cstdint>
#include <vector>

namespace manual {

// Pitch error in cents (hundredths of a semitone) of `measured` against `wanted` hertz.
double Cents(double measured, double wanted);

// The equal-tempered frequency of a MIDI note number (A4 = 69 = 440 Hz).
double NoteFrequency(int note);

// How far a tone with sidebands is from its ideal spectrum, over the span [first, first + count): the
// power outside its partials as a share of all its power, in dB, from trhost's windowed spectrum. The
// partials lie at c + k * spacing for |k| <= orders (folded at 0 Hz), c being the strongest lobe within
// half a spacing of `centre`, so that a carrier that plays off its set pitch is found where it plays;
// each owns its window's main lobe. For FM or PM that is the noise and the spurious tones the
// modulation adds.
struct SidebandTone {
    double carrier_hz = 0;  // where the carrier was found
    double off_partials_db = 0;
};
SidebandTone MeasureSidebandTone(const std::vector<float>& samples, int64_t first, int64_t count, double rate,
                                 double centre, double spacing, int orders);

// A square wave of `period` samples that starts its cycle at frame 0 (rising half first): over the
// rising half of the last whole cycle, the largest level, where it lies (frames after the edge), and
// the level on its last sample before the falling edge. All 0 when no whole cycle fits.
struct HalfCycleLevels {
    double peak = 0;
    double before_edge = 0;
    int64_t peak_frame = 0;
};
HalfCycleLevels RisingHalfLevels(const std::vector<float>& samples, int64_t period);

}  // namespace manual

#endif  // VEXLO_MANUAL_TONE_MEASUREMENTS_H
