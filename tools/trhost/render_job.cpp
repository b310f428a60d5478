#include "render_job.h"

#include <cstdio>
#include <iostream>

#include "audio_source.h"
#include "command_error.h"
#include "exit_codes.h"
#include "output_files.h"
#include "wav_file.h"

namespace trhost {

std::string RunSettingsText(const RunSettings& run) {
    char text[96];
    std::snprintf(text, sizeof text, "%.0f Hz, block %d, %g s", run.rate, run.block, run.seconds);
    return text;
}

int RunRenderJob(const RenderJob& job) {
    std::string prefix = "trhost " + job.command + ": ";
    try {
        OutputFiles files;
        std::string wav = files.Reserve(job.wav_path);
        std::string plot = job.plot_path.empty() ? "" : files.Reserve(job.plot_path);

        Rack rack(job.plan, job.run, LoadAudioSource);
        for (const auto& warning : rack.Warnings()) std::cerr << prefix << "warning: " << warning << "\n";
        for (const auto& note : rack.Notes()) std::cerr << prefix << "note: " << note << "\n";
        Rendering rendering = rack.Run();

        WriteWav(wav, rendering);
        PlotLayout layout;
        if (!plot.empty()) {
            layout = WritePlot(plot, rendering, job.plot_text(rack));
        }
        files.Commit();

        std::string channels;
        for (const auto& name : rendering.channel_names) channels += (channels.empty() ? "" : ", ") + name;
        std::cout << "wrote " << job.wav_path << ": " << rendering.channels.size() << " channel"
                  << (rendering.channels.size() == 1 ? "" : "s") << " (" << channels << "), " << rendering.frames
                  << " samples at " << RunSettingsText(job.run) << "\n";
        if (!plot.empty()) {
            std::cout << "wrote " << job.plot_path << ": "
                      << (layout.with_window ? "whole run and a window of the start" : "whole run") << "\n";
        }
        return kExitOk;
    } catch (const CommandError& error) {
        std::cerr << prefix << error.what() << "\n";
        return error.ExitCode();
    } catch (const std::exception& error) {
        std::cerr << prefix << error.what() << "\n";
        return kExitOutput;
    }
}

}  // namespace trhost
