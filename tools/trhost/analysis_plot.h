// The plot of `trhost analyze`, drawn with cairo into a PNG. Per channel: the averaged magnitude
// spectrum on a logarithmic frequency axis in dB re full scale, the harmonics (or the strongest
// peaks) marked on it and listed beside it with the THD, and below it a spectrogram, time across and
// frequency up on the same kind of axis, its colour the level.
#ifndef TRHOST_ANALYSIS_PLOT_H
#define TRHOST_ANALYSIS_PLOT_H

#include <string>
#include <vector>

#include "analysis.h"
#include "plot.h"

namespace trhost {

// Pixel columns of a spectrogram, and so the transforms it wants.
int SpectrogramColumns();

// Throws CommandError (output stage) naming `path`.
void WriteAnalysisPlot(const std::string& path, const std::vector<ChannelAnalysis>& channels, const PlotText& text);

}  // namespace trhost

#endif  // TRHOST_ANALYSIS_PLOT_H
