#include <cstdio>
#include <filesystem>

#include "plot.h"
#include "sections.h"

namespace manual {

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Manual::Figure(const std::string& name, const trhost::Rendering& rendering, const std::string& title,
                           const std::vector<std::string>& lines) {
    const std::string relative = "figures/" + name + ".png";
    trhost::WritePlot((std::filesystem::path(figures_dir) / (name + ".png")).string(), rendering,
                      trhost::PlotText{title, lines});
    return relative;
}

void AddRelease(Manual& manual, const std::string& version) { manual.fields["version"] = version; }

}  // namespace manual
