// What `trhost render` and `trhost patch` share: run a patch, write its WAV file and plot (each, both
// or neither) and report the files and the measurements of every channel. Messages go to standard
// error with the command's name; the report goes to standard output, or to standard error when a file
// is written to standard output.
#ifndef TRHOST_RENDER_JOB_H
#define TRHOST_RENDER_JOB_H

#include <functional>
#include <string>
#include <vector>

#include "patch_plan.h"
#include "plot.h"
#include "rack.h"

namespace trhost {

struct RenderJob {
    std::string command;  // "render" or "patch", for messages
    PatchPlan plan;
    RunSettings run;
    std::string wav_path;   // empty: no WAV file
    std::string plot_path;  // empty: no plot
    bool json = false;      // the report as JSON
    // A value set or a wire's signal outside its pin's range fails the run (kExitRange) instead of
    // warning, and no file is written.
    bool strict_ranges = false;
    // Titles the plot once the rack knows its modules.
    std::function<PlotText(const Rack&)> plot_text;
};

// Answers the exit code; never throws.
int RunRenderJob(const RenderJob& job);

// "44100 Hz, block 1024, 2 s"
std::string RunSettingsText(const RunSettings& run);

}  // namespace trhost

#endif  // TRHOST_RENDER_JOB_H
