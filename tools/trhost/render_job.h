// What `trhost render` and `trhost patch` share: run a patch and write its WAV file and plot, both or
// neither. Messages go to standard error with the command's name; the files written are named on
// standard output.
#ifndef TRHOST_RENDER_JOB_H
#define TRHOST_RENDER_JOB_H

#include <functional>
#include <string>
#include <vector>

#include "patch_spec.h"
#include "plot.h"
#include "rack.h"

namespace trhost {

struct RenderJob {
    std::string command;  // "render" or "patch", for messages
    PatchSpec spec;
    RunSettings run;
    std::string wav_path;
    std::string plot_path;  // empty: no plot
    // Titles the plot once the rack knows its modules.
    std::function<PlotText(const Rack&)> plot_text;
};

// Answers the exit code; never throws.
int RunRenderJob(const RenderJob& job);

// "44100 Hz, block 1024, 2 s"
std::string RunSettingsText(const RunSettings& run);

}  // namespace trhost

#endif  // TRHOST_RENDER_JOB_H
