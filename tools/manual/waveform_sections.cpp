// The three waveforms, the square wave's overshoot, and the oscillator at rest: drawn and measured
// from the module's own output.
#include <cmath>

#include "module_run.h"
#include "sections.h"
#include "tone_measurements.h"

namespace manual {

namespace {

constexpr double kRate = 44100.0;

trhost::Rendering Channels(double rate, const std::vector<std::string>& names, std::vector<std::vector<float>> data) {
    trhost::Rendering rendering;
    rendering.rate = rate;
    rendering.block = 256;
    rendering.frames = static_cast<int64_t>(data.front().size());
    rendering.channel_names = names;
    rendering.channels = std::move(data);
    return rendering;
}

ModuleRun Wave(const std::string& wave, double hertz, double seconds, double rate = kRate) {
    ModuleRun run;
    run.rate = rate;
    run.seconds = seconds;
    run.choices = {{"Wave", wave}};
    run.inputs = {{"Freq", Held(hertz)}, {"Depth", Held(5)}, {"Offset", Held(0)}};
    return run;
}

}  // namespace

void AddWaveforms(Manual& manual) {
    std::vector<std::vector<float>> waves;
    for (const char* wave : {"sine", "triangle", "square"}) waves.push_back(RenderOut(manual.vexlo, Wave(wave, 1, 2)));
    manual.fields["figure_waveforms"] =
        manual.Figure("waveforms", Channels(kRate, {"sine", "triangle", "square"}, std::move(waves)),
                      "The three waveforms: Freq 1 V (1 Hz), Depth 5 V, Offset 0 V, 44100 Hz");
}

void AddSquareOvershoot(Manual& manual) {
    const double depth_units = 0.5;  // Depth 5 V
    // A slow square shows the whole decay; the zoom shows the first milliseconds after one edge.
    std::vector<float> slow = RenderOut(manual.vexlo, Wave("square", 1, 3));
    const int64_t edge = static_cast<int64_t>(1.5 * kRate);
    const int64_t before = static_cast<int64_t>(0.002 * kRate);
    std::vector<float> zoom(slow.begin() + edge - before, slow.begin() + edge + static_cast<int64_t>(0.01 * kRate));
    manual.fields["figure_square"] =
        manual.Figure("square_overshoot", Channels(kRate, {"square"}, {slow}),
                      "Square, Freq 1 V (1 Hz), Depth 5 V: overshoot after each edge, then decay toward 0 V");
    manual.fields["figure_square_edge"] = manual.Figure("square_edge", Channels(kRate, {"square"}, {zoom}),
                                                        "The same square from 2 ms before the edge at 1.5 s");

    // Settled levels by frequency, at both common rates, as multiples of the Depth set.
    std::string rows;
    for (double hertz : {0.5, 1.0, 2.0, 5.0, 10.0, 20.0}) {
        rows += "<tr><td>" + Format("%g", hertz) + " Hz</td>";
        for (double rate : {44100.0, 48000.0}) {
            const int64_t period = static_cast<int64_t>(rate / hertz + 0.5);
            const HalfCycleLevels levels =
                RisingHalfLevels(RenderOut(manual.vexlo, Wave("square", hertz, 4, rate)), period);
            rows += "<td>" + Format("%.3f", levels.peak / depth_units) + "</td><td>" +
                    Format("%.3f", levels.before_edge / depth_units) + "</td>";
            if (rate == kRate && hertz == 1.0) {
                manual.fields["square_peak_1hz"] = Format("%.2f", levels.peak / depth_units);
                manual.fields["square_end_1hz"] = Format("%.2f", levels.before_edge / depth_units);
                manual.fields["square_peak_ms"] = Format("%.2f", levels.peak_frame / rate * 1000.0);
            }
            if (rate == kRate && hertz == 10.0) {
                manual.fields["square_peak_10hz"] = Format("%.2f", levels.peak / depth_units);
                manual.fields["square_end_10hz"] = Format("%.2f", levels.before_edge / depth_units);
            }
        }
        rows += "</tr>\n";
    }
    manual.fields["square_rows"] = rows;

    // How fast a held level falls away: from its peak to half of it, on the slow square.
    const int64_t settled = static_cast<int64_t>(2.0 * kRate);  // a rising edge, two cycles in
    int64_t peak_at = settled;
    for (int64_t k = settled; k < settled + static_cast<int64_t>(0.01 * kRate); ++k) {
        if (slow[k] > slow[peak_at]) peak_at = k;
    }
    int64_t half_at = peak_at;
    while (half_at < static_cast<int64_t>(slow.size()) && slow[half_at] > slow[peak_at] / 2) ++half_at;
    manual.fields["square_half_life_ms"] = Format("%.0f", (half_at - peak_at) / kRate * 1000.0);
}

void AddRestAndRestart(Manual& manual) {
    const double rest_from = 0.55, rest_to = 0.8, offset = 1.0;
    auto resting = [&](int64_t frame) {
        const double t = frame / kRate;
        return t >= rest_from && t < rest_to;
    };
    ModuleRun depth_rest = Wave("sine", 2, 1.5);
    depth_rest.inputs["Offset"] = Held(offset);
    depth_rest.inputs["Depth"] = [&](int64_t frame) { return resting(frame) ? 0.0 : 5.0; };
    ModuleRun freq_rest = Wave("sine", 2, 1.5);
    freq_rest.inputs["Offset"] = Held(offset);
    freq_rest.inputs["Freq"] = [&](int64_t frame) { return resting(frame) ? 0.02 : 2.0; };
    std::vector<float> by_depth = RenderOut(manual.vexlo, depth_rest);
    std::vector<float> by_freq = RenderOut(manual.vexlo, freq_rest);

    manual.fields["figure_rest"] = manual.Figure(
        "rest_restart", Channels(kRate, {"Depth 0 V", "Freq 0.02 V"}, {by_depth, by_freq}),
        "Sine at 2 Hz, Depth 5 V, Offset 1 V; from 0.55 s to 0.8 s Depth 0 V (top) or Freq 0.02 V (bottom)",
        {"Both rest at the Offset, then start a new cycle at phase 0 when the input comes back"});
    const int64_t rest_frame = static_cast<int64_t>(0.7 * kRate);
    const int64_t restart_frame = static_cast<int64_t>(std::ceil(rest_to * kRate));
    manual.fields["rest_level"] = Format("%.3g", by_depth[rest_frame] * 10.0);
    manual.fields["restart_level"] = Format("%.3g", by_depth[restart_frame] * 10.0);
    // A quarter cycle after the restart the sine is at its top: the cycle began at the restart.
    manual.fields["restart_quarter_level"] =
        Format("%.3g", by_depth[restart_frame + static_cast<int64_t>(kRate / 2 / 4)] * 10.0);
}

}  // namespace manual
