// The plot of a rendering, drawn with cairo into a PNG: each output against time in seconds, in
// volts, one row of panels per output.
//
// When every output shows at least a few pixels per cycle over the whole run, the plot shows the
// whole run. When some output is too dense for that (audio-rate signals), each row shows the whole
// run as an envelope (the lowest and highest value in each pixel column) beside a window at the start
// of the run that holds about sixteen cycles of the densest output. Every panel says which it is.
#ifndef TRHOST_PLOT_H
#define TRHOST_PLOT_H

#include <cstdint>
#include <string>
#include <vector>

#include "rack.h"

namespace trhost {

struct PlotText {
    std::string title;               // names the module or the patch and the run settings
    std::vector<std::string> lines;  // what was set and wired, one line each
};

// The span of a rendering a panel shows.
struct PlotSpan {
    int64_t first = 0;   // frame
    int64_t count = 0;   // frames
    bool whole = false;  // the whole run
};

// Where the plot's panels look: the whole run, and a window when the run is too dense to read.
struct PlotLayout {
    PlotSpan whole;
    bool with_window = false;
    PlotSpan window;
};

// Chooses the layout for a plot area `width` pixels wide.
PlotLayout ChoosePlotLayout(const Rendering& rendering, int width);

// Sign changes about the channel's mean, with a dead band of a tenth of its span against noise.
int64_t CountCrossings(const std::vector<float>& samples);

// Answers the layout it drew. Throws CommandError (output stage) naming `path`.
PlotLayout WritePlot(const std::string& path, const Rendering& rendering, const PlotText& text);

}  // namespace trhost

#endif  // TRHOST_PLOT_H
