// Drawing steps that trhost's plots share: text placed and fitted, and round tick positions with
// labels that stay short for any magnitude.
#ifndef TRHOST_PLOT_DRAWING_H
#define TRHOST_PLOT_DRAWING_H

#include <cairo.h>

#include <string>
#include <vector>

namespace trhost {

enum class Align { kLeft, kCentre, kRight };

void ShowText(cairo_t* cr, double x, double y, const std::string& text, Align align);

// Shortens `text` with "..." until it fits `width`.
std::string Fit(cairo_t* cr, std::string text, double width);

// Round tick positions, 1, 2 or 5 times a power of ten apart, about `wanted` of them in [lo, hi].
std::vector<double> Ticks(double lo, double hi, int wanted, double* step_out);

// A tick's label: fixed decimals as the step needs them ("0.25", "-4"), or, for magnitudes of a
// million and more or steps below a thousandth, as many significant digits as tell the ticks apart
// ("1.5e+30"), so that a huge or a tiny value never yields a label of dozens of digits.
std::string TickText(double value, double step);

}  // namespace trhost

#endif  // TRHOST_PLOT_DRAWING_H
