#include "analysis_plot.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "command_error.h"
#include "exit_codes.h"
#include "plot_drawing.h"

namespace trhost {

namespace {

// Picture geometry, in pixels.
constexpr int kWidth = 1200;
constexpr double kLeft = 80;
constexpr double kRight = 30;
constexpr double kListWidth = 270;  // the list of harmonics or peaks beside the spectrum
constexpr double kCaption = 26;
constexpr double kSpectrumHeight = 260;
constexpr double kSpectrogramHeight = 220;
constexpr double kBelow = 50;
// The level range shown: this many dB below the top of the spectrum.
constexpr double kRangeDb = 130;
// The spectrogram's colour scale covers this many dB below its loudest point.
constexpr double kSpectrogramRangeDb = 100;

// A logarithmic frequency axis from `lo` to `hi` hertz across `box`'s width (or up its height).
struct LogAxis {
    double lo, hi;
    double Fraction(double hertz) const { return std::log(hertz / lo) / std::log(hi / lo); }
    double HertzAt(double fraction) const { return lo * std::pow(hi / lo, fraction); }
};

std::string HertzLabel(double hertz) {
    char text[32];
    if (hertz >= 1000) {
        std::snprintf(text, sizeof text, "%g kHz", hertz / 1000);
    } else {
        std::snprintf(text, sizeof text, "%g Hz", hertz);
    }
    return text;
}

// Frequencies 1, 2 and 5 times a power of ten within the axis; only the powers are labelled when
// the axis spans more than two decades.
void ForEachFrequencyTick(const LogAxis& axis, const std::function<void(double, bool)>& tick) {
    bool wide = axis.hi / axis.lo > 300;
    for (double decade = std::pow(10.0, std::floor(std::log10(axis.lo))); decade <= axis.hi; decade *= 10) {
        for (double factor : {1.0, 2.0, 5.0}) {
            double hertz = decade * factor;
            if (hertz >= axis.lo && hertz <= axis.hi) tick(hertz, !wide || factor == 1.0);
        }
    }
}

// Black through blue, red and yellow to white as the level rises from 0 to 1.
void HeatColour(double level, unsigned char* bgr) {
    static constexpr double kStops[][3] = {{0, 0, 0}, {0.1, 0.1, 0.55}, {0.75, 0.1, 0.35}, {1, 0.7, 0}, {1, 1, 1}};
    double position = std::clamp(level, 0.0, 1.0) * 4;
    int stop = std::min(3, static_cast<int>(position));
    double t = position - stop;
    for (int c = 0; c < 3; ++c) {
        double value = kStops[stop][c] + (kStops[stop + 1][c] - kStops[stop][c]) * t;
        bgr[2 - c] = static_cast<unsigned char>(std::lround(value * 255));
    }
}

// The spectrum's frequency axis: from the lowest bin clear of DC's lobe to Nyquist.
LogAxis SpectrumAxis(double bin_hz, double rate) { return {std::max(bin_hz * (kLobeBins + 1), 0.1), rate / 2}; }

void DrawSpectrum(cairo_t* cr, const Box& box, const ChannelAnalysis& analysis) {
    const Spectrum& spectrum = analysis.spectrum;
    LogAxis axis = SpectrumAxis(spectrum.BinHz(), spectrum.rate);
    double top = -INFINITY;
    for (size_t k = 1; k < spectrum.power.size(); ++k) top = std::max(top, spectrum.LevelDb(k));
    top = std::ceil(std::max(top, -120.0) / 10) * 10 + 10;
    double bottom = top - kRangeDb;
    auto x_of = [&](double hertz) { return box.x + axis.Fraction(hertz) * box.w; };
    auto y_of = [&](double db) { return box.y + (top - std::clamp(db, bottom, top)) / kRangeDb * box.h; };

    cairo_set_line_width(cr, 1);
    ForEachFrequencyTick(axis, [&](double hertz, bool labelled) {
        DrawVerticalGridLine(cr, box, x_of(hertz), labelled ? HertzLabel(hertz) : "");
    });
    for (double db = top; db >= bottom; db -= 20) DrawHorizontalGridLine(cr, box, y_of(db), TickText(db, 20));
    DrawAxisNames(cr, box, "frequency (log)", 34, "dB re 10 V peak", 50);

    // The trace: the highest bin within each pixel column, joined.
    cairo_save(cr);
    cairo_rectangle(cr, box.x, box.y, box.w, box.h);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, 0.12, 0.40, 0.70);
    cairo_set_line_width(cr, 1.2);
    int column = -1;
    double column_db = -INFINITY;
    bool started = false;
    auto flush = [&] {
        if (column < 0) return;
        double x = box.x + column + 0.5, y = y_of(column_db);
        started ? cairo_line_to(cr, x, y) : cairo_move_to(cr, x, y);
        started = true;
    };
    for (size_t k = 1; k < spectrum.power.size(); ++k) {
        double hertz = static_cast<double>(k) * spectrum.BinHz();
        if (hertz < axis.lo) continue;
        int px = static_cast<int>(std::floor(x_of(hertz) - box.x));
        if (px != column) {
            flush();
            column = px;
            column_db = -INFINITY;
        }
        column_db = std::max(column_db, spectrum.LevelDb(k));
    }
    flush();
    cairo_stroke(cr);

    // The harmonics, or the strongest peaks, as numbered dots at their levels.
    cairo_set_source_rgb(cr, 0.80, 0.20, 0.15);
    auto mark = [&](const Partial& partial, const std::string& label) {
        if (partial.hertz < axis.lo || partial.hertz > axis.hi) return;
        double x = x_of(partial.hertz), y = y_of(partial.LevelDb());
        cairo_arc(cr, x, y, 3, 0, 2 * M_PI);
        cairo_fill(cr);
        if (!label.empty()) ShowText(cr, x, y - 7, label, Align::kCentre);
    };
    if (analysis.harmonics) {
        for (const auto& harmonic : analysis.harmonics->harmonics) {
            if (harmonic.partial.LevelDb() > bottom)
                mark(harmonic.partial, harmonic.number <= 9 ? std::to_string(harmonic.number) : "");
        }
    } else {
        for (const auto& peak : analysis.peaks) mark(peak, "");
    }
    cairo_restore(cr);
    DrawFrame(cr, box);
}

void DrawList(cairo_t* cr, const Box& box, const std::vector<std::string>& lines) {
    cairo_set_source_rgb(cr, 0.15, 0.15, 0.15);
    cairo_set_font_size(cr, kLabelSize);
    double y = box.y + 14;
    for (const auto& line : lines) {
        if (y > box.y + box.h) break;
        ShowText(cr, box.x, y, Fit(cr, line, box.w), Align::kLeft);
        y += kLabelSize + 5;
    }
}

void DrawSpectrogram(cairo_t* cr, const Box& box, const Spectrogram& spectrogram, double seconds) {
    int width = static_cast<int>(box.w), height = static_cast<int>(box.h);
    if (spectrogram.levels_db.empty()) {
        ShowText(cr, box.x + box.w / 2, box.y + box.h / 2, "too short for a spectrogram", Align::kCentre);
        DrawFrame(cr, box);
        return;
    }
    LogAxis axis = SpectrumAxis(spectrogram.BinHz(), spectrogram.rate);
    // The colour scale follows the loudest point shown.
    size_t first_bin = static_cast<size_t>(std::ceil(axis.lo / spectrogram.BinHz()));
    float loudest = -INFINITY;
    for (const auto& column : spectrogram.levels_db) {
        for (size_t k = first_bin; k < column.size(); ++k) loudest = std::max(loudest, column[k]);
    }
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    unsigned char* data = cairo_image_surface_get_data(image);
    int stride = cairo_image_surface_get_stride(image);
    size_t bins = spectrogram.levels_db.front().size();
    for (int row = 0; row < height; ++row) {
        // The bins a pixel row covers: its loudest is its colour.
        double f_high = axis.HertzAt(1.0 - static_cast<double>(row) / height);
        double f_low = axis.HertzAt(1.0 - static_cast<double>(row + 1) / height);
        size_t k_low = std::min(bins - 1, static_cast<size_t>(std::lround(f_low / spectrogram.BinHz())));
        size_t k_high =
            std::max(k_low, std::min(bins - 1, static_cast<size_t>(std::lround(f_high / spectrogram.BinHz()))));
        for (int px = 0; px < width; ++px) {
            const auto& column = spectrogram.levels_db[static_cast<size_t>(px) * spectrogram.levels_db.size() / width];
            float db = *std::max_element(column.begin() + k_low, column.begin() + k_high + 1);
            HeatColour(1.0 - (loudest - db) / kSpectrogramRangeDb, data + row * stride + px * 4);
        }
    }
    cairo_surface_mark_dirty(image);
    cairo_set_source_surface(cr, image, box.x, box.y);
    cairo_paint(cr);
    cairo_surface_destroy(image);

    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_set_line_width(cr, 1);
    ForEachFrequencyTick(axis, [&](double hertz, bool labelled) {
        double y = std::round(box.y + (1.0 - axis.Fraction(hertz)) * box.h) + 0.5;
        cairo_move_to(cr, box.x - 4, y);
        cairo_line_to(cr, box.x, y);
        cairo_stroke(cr);
        if (labelled) ShowText(cr, box.x - 6, y + 4, HertzLabel(hertz), Align::kRight);
    });
    double step;
    for (double t : Ticks(0, seconds, std::max(2, width / 90), &step)) {
        double x = std::round(box.x + t / seconds * box.w) + 0.5;
        cairo_move_to(cr, x, box.y + box.h);
        cairo_line_to(cr, x, box.y + box.h + 4);
        cairo_stroke(cr);
        ShowText(cr, x, box.y + box.h + 16, TickText(t, step), Align::kCentre);
    }
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    ShowText(cr, box.x + box.w / 2, box.y + box.h + 34, "time (s)", Align::kCentre);
    DrawFrame(cr, box);
}

}  // namespace

int SpectrogramColumns() { return static_cast<int>(kWidth - kLeft - kRight); }

void WriteAnalysisPlot(const std::string& path, const std::vector<ChannelAnalysis>& channels, const PlotText& text) {
    double header = HeaderHeight(text);
    double row_height = kCaption + kSpectrumHeight + kBelow + kCaption + kSpectrogramHeight + kBelow;
    int height = static_cast<int>(header + channels.size() * row_height + 8);

    cairo_surface_t* surface = nullptr;
    cairo_t* cr = StartPlot(&surface, kWidth, height, text, kLeft, kRight);

    double full = kWidth - kLeft - kRight;
    for (size_t c = 0; c < channels.size(); ++c) {
        const ChannelAnalysis& analysis = channels[c];
        const ChannelMeasurement& m = analysis.measurement;
        double top = header + c * row_height + kCaption;
        Box spectrum{kLeft, top, full - kListWidth - 20, kSpectrumHeight};
        std::string caption = m.name + ": spectrum; peak " + LevelText(m.peak_volts) + ", RMS " +
                              LevelText(m.rms_volts) + ", DC " + LevelText(m.dc_volts);
        DrawCaption(cr, spectrum, caption);
        DrawSpectrum(cr, spectrum, analysis);
        DrawList(cr, {kLeft + full - kListWidth, top, kListWidth, kSpectrumHeight}, AnalysisLines(analysis));
        Box spectrogram{kLeft, top + kSpectrumHeight + kBelow + kCaption, full, kSpectrogramHeight};
        char range[64];
        std::snprintf(range, sizeof range, "colour: %.0f dB below the loudest point to it", kSpectrogramRangeDb);
        DrawCaption(
            cr, spectrogram,
            m.name + ": spectrogram, " + std::to_string(analysis.spectrogram.size) + "-sample transforms; " + range);
        DrawSpectrogram(cr, spectrogram, analysis.spectrogram, static_cast<double>(m.samples) / analysis.spectrum.rate);
    }

    FinishPlot(cr, surface, path);
}

}  // namespace trhost
