// Drawing steps that trhost's plots share: text placed and fitted, and round tick positions with
// labels that stay short for any magnitude.
#ifndef TRHOST_PLOT_DRAWING_H
#define TRHOST_PLOT_DRAWING_H

#include <cairo.h>

#include <string>
#include <vector>

#include "plot.h"

namespace trhost {

// Text sizes of every plot, in pixels.
constexpr double kTitleSize = 20;
constexpr double kLineSize = 13;
constexpr double kLabelSize = 12;

struct Box {
    double x, y, w, h;
};

// A white picture `width` × `height` with its title and lines drawn from `left`; `HeaderHeight` is
// where the panels may start.
double HeaderHeight(const PlotText& text);
cairo_t* StartPlot(cairo_surface_t** surface, int width, int height, const PlotText& text, double left, double right);

// A panel's bold caption above its box, and its frame.
void DrawCaption(cairo_t* cr, const Box& box, const std::string& caption);
void DrawFrame(cairo_t* cr, const Box& box);

// A grid line across `box` at `x` (or `y`) pixels, on the pixel, in `grey` (0 black, 1 white), with
// `label` under it (or before it); an empty label draws none. The line width is the caller's.
constexpr double kGridGrey = 0.88;
void DrawVerticalGridLine(cairo_t* cr, const Box& box, double x, const std::string& label);
void DrawHorizontalGridLine(cairo_t* cr, const Box& box, double y, const std::string& label, double grey = kGridGrey);

// The names of a panel's axes: `x_name` centred `below` pixels under the box, `y_name` turned upright
// `left` pixels before it.
void DrawAxisNames(cairo_t* cr, const Box& box, const std::string& x_name, double below, const std::string& y_name,
                   double left);

// Writes the picture and frees it. Throws CommandError (output stage) naming `path`.
void FinishPlot(cairo_t* cr, cairo_surface_t* surface, const std::string& path);

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
