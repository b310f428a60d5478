#include "plot_drawing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

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

}  // namespace trhost
