#include "plot_drawing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "command_error.h"
#include "exit_codes.h"

namespace trhost {

void ShowText(cairo_t* cr, double x, double y, const std::string& text, Align align) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    double dx = align == Align::kLeft ? 0 : align == Align::kCentre ? extents.x_advance / 2 : extents.x_advance;
    cairo_move_to(cr, x - dx, y);
    cairo_show_text(cr, text.c_str());
}

std::string Fit(cairo_t* cr, std::string text, double width) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    if (extents.x_advance <= width) return text;
    while (!text.empty()) {
        text.pop_back();
        cairo_text_extents(cr, (text + "...").c_str(), &extents);
        if (extents.x_advance <= width) break;
    }
    return text + "...";
}

std::vector<double> Ticks(double lo, double hi, int wanted, double* step_out) {
    double raw = (hi - lo) / wanted;
    double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * power;
        if (step >= raw) break;
    }
    std::vector<double> ticks;
    for (double t = std::ceil(lo / step) * step; t <= hi + step * 1e-9; t += step) {
        ticks.push_back(std::fabs(t) < step * 1e-9 ? 0.0 : t);
    }
    *step_out = step;
    return ticks;
}

std::string TickText(double value, double step) {
    char text[48];
    double magnitude = std::max(std::fabs(value), step);
    if (magnitude >= 1e6 || step < 1e-3) {
        int digits =
            std::clamp(static_cast<int>(std::floor(std::log10(magnitude)) - std::floor(std::log10(step))) + 1, 1, 15);
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        return text;
    }
    int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

double HeaderHeight(const PlotText& text) { return 24 + kTitleSize + text.lines.size() * (kLineSize + 5) + 24; }

cairo_t* StartPlot(cairo_surface_t** surface, int width, int height, const PlotText& text, double left, double right) {
    *surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(*surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, kTitleSize);
    double y = 24 + kTitleSize;
    ShowText(cr, left, y, Fit(cr, text.title, width - left - right), Align::kLeft);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, kLineSize);
    cairo_set_source_rgb(cr, 0.25, 0.25, 0.25);
    for (const auto& line : text.lines) {
        y += kLineSize + 5;
        ShowText(cr, left, y, Fit(cr, line, width - left - right), Align::kLeft);
    }
    return cr;
}

void DrawCaption(cairo_t* cr, const Box& box, const std::string& caption) {
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, kLabelSize + 1);
    ShowText(cr, box.x, box.y - 8, Fit(cr, caption, box.w), Align::kLeft);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, kLabelSize);
}

void DrawFrame(cairo_t* cr, const Box& box) {
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, std::round(box.x) + 0.5, std::round(box.y) + 0.5, std::round(box.w), std::round(box.h));
    cairo_stroke(cr);
}

void DrawVerticalGridLine(cairo_t* cr, const Box& box, double x, const std::string& label) {
    x = std::round(x) + 0.5;
    cairo_set_source_rgb(cr, kGridGrey, kGridGrey, kGridGrey);
    cairo_move_to(cr, x, box.y);
    cairo_line_to(cr, x, box.y + box.h);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    if (!label.empty()) ShowText(cr, x, box.y + box.h + 16, label, Align::kCentre);
}

void DrawHorizontalGridLine(cairo_t* cr, const Box& box, double y, const std::string& label, double grey) {
    y = std::round(y) + 0.5;
    cairo_set_source_rgb(cr, grey, grey, grey);
    cairo_move_to(cr, box.x, y);
    cairo_line_to(cr, box.x + box.w, y);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    if (!label.empty()) ShowText(cr, box.x - 6, y + 4, label, Align::kRight);
}

void DrawAxisNames(cairo_t* cr, const Box& box, const std::string& x_name, double below, const std::string& y_name,
                   double left) {
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    ShowText(cr, box.x + box.w / 2, box.y + box.h + below, x_name, Align::kCentre);
    cairo_save(cr);
    cairo_translate(cr, box.x - left, box.y + box.h / 2);
    cairo_rotate(cr, -M_PI / 2);
    ShowText(cr, 0, 0, y_name, Align::kCentre);
    cairo_restore(cr);
}

void FinishPlot(cairo_t* cr, cairo_surface_t* surface, const std::string& path) {
    cairo_destroy(cr);
    cairo_status_t status = cairo_surface_write_to_png(surface, path.c_str());
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        throw CommandError(kExitOutput, path + ": cannot be written: " + cairo_status_to_string(status));
    }
}

}  // namespace trhost
