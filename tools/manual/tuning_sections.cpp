// Pitch as the module plays it (whole-sample periods), and the noise that audio-rate modulation adds:
// measured on the module's own output.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "measurements.h"
#include "module_run.h"
#include "sections.h"
#include "tone_measurements.h"

namespace manual {

namespace {

const char* const kNoteNames[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

std::string NoteName(int note) { return kNoteNames[note % 12] + std::to_string(note / 12 - 1); }

// Freq on the kHz scale: a note's frequency in volts.
double KiloHertzVolts(double hertz) { return hertz / 1000.0; }

constexpr int kLowestNote = 24;    // C1, 32.7 Hz
constexpr int kHighestNote = 119;  // B8, 7902 Hz
constexpr double kSecondsPerNote = 0.25;
constexpr double kSettleSeconds = 0.02;  // skipped after each change of note

// Every note's pitch error in cents at `rate`: one run that steps through the notes.
std::vector<double> NoteErrors(const trhost::ModuleLibrary& vexlo, double rate) {
    const int notes = kHighestNote - kLowestNote + 1;
    const int64_t per_note = static_cast<int64_t>(kSecondsPerNote * rate);
    ModuleRun run;
    run.rate = rate;
    run.seconds = static_cast<double>(per_note * notes) / rate;
    run.choices = {{"Wave", "sine"}, {"Freq scale", "kHz"}};
    run.inputs = {
        {"Depth", Held(5)},
        {"Offset", Held(0)},
        {"Freq", [&](int64_t frame) { return KiloHertzVolts(NoteFrequency(kLowestNote + frame / per_note)); }}};
    const std::vector<float> out = RenderOut(vexlo, run);
    std::vector<double> errors;
    const int64_t settle = static_cast<int64_t>(kSettleSeconds * rate);
    for (int i = 0; i < notes; ++i) {
        const std::vector<float> note(out.begin() + i * per_note + settle, out.begin() + (i + 1) * per_note);
        errors.push_back(Cents(trhost::MeasureFrequency(note, rate).value_or(0), NoteFrequency(kLowestNote + i)));
    }
    return errors;
}

std::string SignedCents(double cents) { return Format("%+.1f", cents); }

}  // namespace

void AddTuning(Manual& manual) {
    const double rates[] = {44100.0, 48000.0};
    std::vector<double> errors[2] = {NoteErrors(manual.vexlo, rates[0]), NoteErrors(manual.vexlo, rates[1])};

    std::string rows;
    for (int octave_start = kLowestNote; octave_start <= kHighestNote; octave_start += 12) {
        rows += "<tr><td>" + NoteName(octave_start) + " to " + NoteName(octave_start + 11) + "</td><td>" +
                Format("%.0f", NoteFrequency(octave_start)) + " to " +
                Format("%.0f", NoteFrequency(octave_start + 11)) + " Hz</td>";
        for (const auto& by_rate : errors) {
            int worst = octave_start;
            double sum = 0;
            for (int note = octave_start; note < octave_start + 12; ++note) {
                const double e = by_rate[note - kLowestNote];
                sum += std::fabs(e);
                if (std::fabs(e) > std::fabs(by_rate[worst - kLowestNote])) worst = note;
            }
            rows += "<td>" + Format("%.1f", sum / 12) + "</td><td>" + SignedCents(by_rate[worst - kLowestNote]) + " (" +
                    NoteName(worst) + ")</td>";
        }
        rows += "</tr>\n";
    }
    manual.fields["tuning_rows"] = rows;

    // A4 and the first note from which some error passes 5 cents (easily heard in a chord).
    const char* const rate_names[] = {"44100", "48000"};
    for (int r = 0; r < 2; ++r) {
        const double a4 = errors[r][69 - kLowestNote];
        manual.fields["a4_cents_" + std::string(rate_names[r])] = SignedCents(a4);
        manual.fields["a4_hz_" + std::string(rate_names[r])] = Format("%.2f", 440.0 * std::pow(2.0, a4 / 1200.0));
        int first = kHighestNote;
        for (int note = kLowestNote; note <= kHighestNote; ++note) {
            if (std::fabs(errors[r][note - kLowestNote]) > 5.0) {
                first = note;
                break;
            }
        }
        manual.fields["five_cents_note_" + std::string(rate_names[r])] =
            NoteName(first) + " (" + Format("%.0f", NoteFrequency(first)) + " Hz)";
    }
}

void AddModulationNoise(Manual& manual) {
    constexpr double kRate = 44100.0;
    constexpr double kSeconds = 1.1;                       // the last second is analysed
    const int64_t analysed = static_cast<int64_t>(kRate);  // 1 Hz bins
    const int64_t first = static_cast<int64_t>(kSeconds * kRate) - analysed;
    auto carrier = [&](double hertz) {
        ModuleRun run;
        run.rate = kRate;
        run.seconds = kSeconds;
        run.choices = {{"Freq scale", "kHz"}};
        run.inputs = {{"Freq", Held(KiloHertzVolts(hertz))}, {"Depth", Held(5)}, {"Offset", Held(0)}};
        return run;
    };
    // The modulator is a second VEXLO, wired as a patch would wire it, at a frequency that shares no
    // short period with the carrier's (so that the rounding errors do not repeat every cycle).
    constexpr double kModulatorRatio = 0.7071;
    // At index 1 the sidebands beyond the 8th are over 100 dB down: what lies outside is the module's.
    constexpr int kSidebands = 8;
    auto wired = [](const std::vector<float>& source) -> VoltsAt {
        return [&source](int64_t frame) { return source[frame] * 10.0; };
    };

    std::string rows;
    std::vector<double> fm_noise, fm_shift;
    for (double hertz : {55.0, 110.0, 220.0, 440.0, 880.0, 1760.0, 3520.0}) {
        const std::vector<float> plain = RenderOut(manual.vexlo, carrier(hertz));

        // FM, index 1: the modulator swings Freq by its own frequency either side.
        ModuleRun fm_source = carrier(hertz * kModulatorRatio);
        fm_source.inputs["Offset"] = Held(KiloHertzVolts(hertz));
        fm_source.inputs["Depth"] = Held(KiloHertzVolts(hertz * kModulatorRatio));
        const std::vector<float> fm_modulator = RenderOut(manual.vexlo, fm_source);
        ModuleRun fm = carrier(hertz);
        fm.inputs["Freq"] = wired(fm_modulator);

        // PM, index 1: the modulator swings Phase by one radian (57.3 degrees) either side of 180, inside
        // the pin's 0 to 360 V. Offset and Depth keep inside their own 0 to 10 V: In at 200 V (20)
        // makes 20 x (0.9 + Depth x sine) = 18 +/- 5.73, that is 180 +/- 57.3 V.
        constexpr double kPmIn = 200, kPmCentre = 180;
        ModuleRun pm_source = carrier(hertz * kModulatorRatio);
        pm_source.inputs["In"] = Held(kPmIn);
        pm_source.inputs["Offset"] = Held(kPmCentre / kPmIn * 10);
        pm_source.inputs["Depth"] = Held(180.0 / std::numbers::pi / kPmIn * 10);
        const std::vector<float> pm_modulator = RenderOut(manual.vexlo, pm_source);
        ModuleRun pm = carrier(hertz);
        pm.inputs["Phase"] = wired(pm_modulator);

        // The modulator plays whole-sample periods too: its sidebands are spaced by what it plays.
        const double spacing = kRate / std::floor(kRate / (hertz * kModulatorRatio) + 0.5);
        auto measure = [&](const std::vector<float>& out, int orders) {
            return MeasureSidebandTone(out, first, analysed, kRate, hertz, spacing, orders);
        };
        const SidebandTone unmodulated = measure(plain, 0);
        const SidebandTone fm_tone = measure(RenderOut(manual.vexlo, fm), kSidebands);
        const SidebandTone pm_tone = measure(RenderOut(manual.vexlo, pm), kSidebands);
        const double fm_cents = Cents(fm_tone.carrier_hz, unmodulated.carrier_hz);
        fm_noise.push_back(fm_tone.off_partials_db);
        fm_shift.push_back(fm_cents);
        rows += "<tr><td>" + Format("%g", hertz) + " Hz</td><td>" + Format("%.0f", unmodulated.off_partials_db) +
                "</td><td>" + Format("%.0f", fm_tone.off_partials_db) + "</td><td>" + Format("%+.0f", fm_cents) +
                "</td><td>" + Format("%.0f", pm_tone.off_partials_db) + "</td></tr>\n";
    }
    auto range = [](const std::vector<double>& values, const char* format) {
        const auto [low, high] = std::minmax_element(values.begin(), values.end());
        auto typeset = [&](double value) {
            const std::string text = Format(format, value);
            return text[0] == '-' ? "&minus;" + text.substr(1) : text;
        };
        return typeset(*low) + " and " + typeset(*high);
    };
    manual.fields["fm_noise_range"] = range(fm_noise, "%.0f");
    manual.fields["fm_shift_range"] = range(fm_shift, "%+.0f");
    manual.fields["noise_rows"] = rows;
}

}  // namespace manual
