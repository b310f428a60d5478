#include "plot.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "command_error.h"
#include "exit_codes.h"
#include "pin_values.h"
#include "plot_drawing.h"

namespace trhost {

namespace {

// Picture geometry, in pixels.
constexpr int kWidth = 1200;
constexpr double kLeft = 90;  // room for the volt labels and the axis name
constexpr double kRight = 30;
constexpr double kColumnGap = 90;  // room for the second panel's volt labels
constexpr double kCaption = 24;    // panel caption above each panel
constexpr double kPanelHeight = 240;
constexpr double kBelow = 52;  // time labels and the axis name under each panel
// Fewest pixels per cycle at which a trace of the whole run still reads as a waveform.
constexpr double kReadablePixelsPerCycle = 6;
// Cycles of the densest output a window holds.
constexpr int64_t kWindowCycles = 16;

struct Colour {
    double r, g, b;
};
constexpr Colour kTraceColours[] = {
    {0.12, 0.40, 0.70}, {0.80, 0.20, 0.15}, {0.15, 0.55, 0.20}, {0.55, 0.35, 0.70}, {0.85, 0.45, 0.05}};

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g s", seconds);
    return text;
}

void DrawPanel(cairo_t* cr, const Box& box, const std::vector<float>& samples, const PlotSpan& span, double rate,
               const Colour& colour, const std::string& caption) {
    int64_t first = span.first, count = std::max<int64_t>(span.count, 1);

    // Volts covered by the shown samples, with a margin; a flat trace gets a volt either side.
    double lo = INFINITY, hi = -INFINITY;
    for (int64_t i = first; i < first + count; ++i) {
        double volts = samples[i] * kVoltsPerUnit;
        if (std::isfinite(volts)) {
            lo = std::min(lo, volts);
            hi = std::max(hi, volts);
        }
    }
    if (!(lo <= hi)) lo = hi = 0;
    if (hi - lo < 1e-6 * std::max(1.0, std::fabs(hi))) {
        // A flat trace: a volt either side, or a tenth of its value when that is larger.
        double pad = std::max(1.0, std::fabs(hi) * 0.1);
        lo -= pad;
        hi += pad;
    } else {
        double pad = (hi - lo) * 0.08;
        lo -= pad;
        hi += pad;
    }
    double t0 = first / rate, t1 = (first + count - 1) / rate;
    if (t1 <= t0) t1 = t0 + 1 / rate;
    auto x_of = [&](double t) { return box.x + (t - t0) / (t1 - t0) * box.w; };
    auto y_of = [&](double volts) { return box.y + (hi - volts) / (hi - lo) * box.h; };

    DrawCaption(cr, box, caption);

    // Grid and tick labels.
    double x_step, y_step;
    auto x_ticks = Ticks(t0, t1, std::max(2, static_cast<int>(box.w / 80)), &x_step);
    auto y_ticks = Ticks(lo, hi, 6, &y_step);
    cairo_set_line_width(cr, 1);
    for (double t : x_ticks) DrawVerticalGridLine(cr, box, x_of(t), TickText(t, x_step));
    // Zero volts darker than the other lines.
    for (double v : y_ticks) DrawHorizontalGridLine(cr, box, y_of(v), TickText(v, y_step), v == 0.0 ? 0.7 : kGridGrey);

    // Axis names.
    DrawAxisNames(cr, box, "time (s)", 36, "volts (V)", 58);

    // The trace: every sample joined when they are few, else the span of each pixel column.
    cairo_save(cr);
    cairo_rectangle(cr, box.x, box.y, box.w, box.h);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
    cairo_set_line_width(cr, 1.3);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    // Samples that are not finite leave a gap.
    if (count <= static_cast<int64_t>(box.w * 2)) {
        bool drawing = false;
        for (int64_t i = first; i < first + count; ++i) {
            if (!std::isfinite(samples[i])) {
                drawing = false;
                continue;
            }
            double x = x_of(i / rate), y = y_of(samples[i] * kVoltsPerUnit);
            if (drawing) {
                cairo_line_to(cr, x, y);
            } else {
                cairo_move_to(cr, x, y);
            }
            drawing = true;
        }
        cairo_stroke(cr);
    } else {
        cairo_set_line_width(cr, 1.0);
        int columns = static_cast<int>(box.w);
        for (int px = 0; px < columns; ++px) {
            int64_t begin = first + count * px / columns;
            int64_t end = first + count * (px + 1) / columns;
            // The previous column's last sample joins the columns into one trace.
            float low = INFINITY, high = -INFINITY;
            for (int64_t i = std::max(first, begin - 1); i < end; ++i) {
                if (!std::isfinite(samples[i])) continue;
                low = std::min(low, samples[i]);
                high = std::max(high, samples[i]);
            }
            if (!(low <= high)) continue;
            double x = box.x + px + 0.5;
            cairo_move_to(cr, x, y_of(high * kVoltsPerUnit) - 0.5);
            cairo_line_to(cr, x, y_of(low * kVoltsPerUnit) + 0.5);
        }
        cairo_stroke(cr);
    }
    cairo_restore(cr);
    DrawFrame(cr, box);
}

}  // namespace

int64_t CountCrossings(const std::vector<float>& samples) {
    if (samples.empty()) return 0;
    double sum = 0, lo = samples[0], hi = samples[0];
    for (float s : samples) {
        sum += s;
        lo = std::min<double>(lo, s);
        hi = std::max<double>(hi, s);
    }
    double mean = sum / samples.size(), band = (hi - lo) * 0.1;
    if (!(hi - lo > 0)) return 0;
    int64_t crossings = 0;
    int side = 0;  // -1 below the band, +1 above, 0 not yet known
    for (float s : samples) {
        int now = s > mean + band ? 1 : s < mean - band ? -1 : side;
        if (side != 0 && now != side) ++crossings;
        side = now;
    }
    return crossings;
}

PlotLayout ChoosePlotLayout(const Rendering& rendering, int width) {
    PlotLayout layout;
    layout.whole = {0, rendering.frames, true};
    int64_t most_cycles = 0;
    for (const auto& channel : rendering.channels) {
        most_cycles = std::max(most_cycles, CountCrossings(channel) / 2);
    }
    if (most_cycles == 0 || width / static_cast<double>(most_cycles) >= kReadablePixelsPerCycle) {
        return layout;
    }
    layout.with_window = true;
    int64_t frames = rendering.frames * kWindowCycles / most_cycles;
    layout.window = {0, std::clamp<int64_t>(frames, std::min<int64_t>(16, rendering.frames), rendering.frames), false};
    return layout;
}

PlotLayout WritePlot(const std::string& path, const Rendering& rendering, const PlotText& text) {
    size_t rows = rendering.channels.size();
    double header = HeaderHeight(text);
    double row_height = kCaption + kPanelHeight + kBelow;
    int height = std::max(420, static_cast<int>(header + rows * row_height + 8));

    PlotLayout layout = ChoosePlotLayout(rendering, static_cast<int>(kWidth - kLeft - kRight));
    int columns = layout.with_window ? 2 : 1;
    double panel_width = (kWidth - kLeft - kRight - (columns - 1) * kColumnGap) / columns;

    cairo_surface_t* surface = nullptr;
    cairo_t* cr = StartPlot(&surface, kWidth, height, text, kLeft, kRight);

    double total = rendering.frames / rendering.rate;
    for (size_t c = 0; c < rows; ++c) {
        double top = header + c * row_height + kCaption;
        const Colour& colour = kTraceColours[c % std::size(kTraceColours)];
        const std::string& name = rendering.channel_names[c];
        std::string whole = name + ": whole run, 0 to " + Seconds(total) + (layout.with_window ? " (envelope)" : "");
        DrawPanel(cr, {kLeft, top, panel_width, kPanelHeight}, rendering.channels[c], layout.whole, rendering.rate,
                  colour, whole);
        if (layout.with_window) {
            std::string window =
                name + ": window, first " + Seconds(layout.window.count / rendering.rate) + " of " + Seconds(total);
            DrawPanel(cr, {kLeft + panel_width + kColumnGap, top, panel_width, kPanelHeight}, rendering.channels[c],
                      layout.window, rendering.rate, colour, window);
        }
    }

    FinishPlot(cr, surface, path);
    return layout;
}

}  // namespace trhost
