// What the manual measures on a module's output: pitch, the spectrum's floor, and the square wave's
// levels after and before each edge.
#ifndef VEXLO_MANUAL_MEASUREMENTS_H
#define VEXLO_MANUAL_MEASUREMENTS_H

#include <cstdint>
#include <vector>

namespace manual {

// The frequency in hertz of the span [first, first + count) of a signal centred on zero: whole cycles
// between its first and last upward zero crossing, each placed between its two samples by linear
// interpolation. 0 when the span holds fewer than two crossings.
double MeasureFrequency(const std::vector<float>& samples, int64_t first, int64_t count, double rate);

// Pitch error in cents (hundredths of a semitone) of `measured` against `wanted` hertz.
double Cents(double measured, double wanted);

// The equal-tempered frequency of a MIDI note number (A4 = 69 = 440 Hz).
double NoteFrequency(int note);

// How far a tone with sidebands is from its ideal spectrum: the power outside its partials as a share
// of all its power, in dB, over the span [first, first + count) (4-term Blackman-Harris window). The
// partials lie at c + k * spacing for |k| <= orders, c being the strongest bin within half a spacing
// of `centre` (so a carrier tuned to whole samples is found where it plays); each owns the bins within
// 4 of it, the window's main lobe. For FM or PM that is the noise and the spurious tones the
// modulation adds.
double OffPartialLevel(const std::vector<float>& samples, int64_t first, int64_t count, double rate, double centre,
                       double spacing, int orders);

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

#endif  // VEXLO_MANUAL_MEASUREMENTS_H
