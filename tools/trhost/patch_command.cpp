#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "command_error.h"
#include "commands.h"
#include "exit_codes.h"
#include "output_options.h"
#include "run_options.h"
#if TRHOST_WITH_MEDIA
#include "patch_file.h"
#include "render_job.h"
#endif

namespace trhost {

CommandAction AddPatchCommand(CLI::App& app) {
    auto* command = app.add_subcommand(
        "patch", "Run a patch of wired instances from a JSON file and write its outputs to a WAV file");
    struct Options {
        std::string patch;
        OutputOptions output;
        RunOptions run;
        bool strict_ranges = false;
    };
    auto options = std::make_shared<Options>();
    command->add_option("FILE", options->patch, "patch file (JSON)")->required();
    options->output.AddTo(command);
    options->run.AddTo(command, "overrides the patch file");
    command->add_flag("--strict-ranges", options->strict_ranges,
                      "fail (exit 10, no file written) when a value set, or the signal on a wire, leaves the range "
                      "its pin states; without it each is a warning");
    return [options] {
#if TRHOST_WITH_MEDIA
        RenderJob job;
        job.command = "patch";
        job.wav_path = options->output.out;
        job.plot_path = options->output.plot;
        job.json = options->output.json;
        job.strict_ranges = options->strict_ranges;
        try {
            PatchFile file = ReadPatchFile(options->patch);
            job.plan = file.plan;
            job.run = options->run.Over(RunOptions{file.rate, file.block, file.seconds}.Over({}));
            job.run.Check(kExitPatch, file.plan.origin);
        } catch (const CommandError& error) {
            std::cerr << "trhost patch: " << error.what() << "\n";
            return error.ExitCode();
        }
        std::string title = job.plan.title;
        RunSettings run = job.run;
        job.plot_text = [title, run](const Rack& rack) {
            PlotText text;
            text.title = "patch " + title + ": " + RunSettingsText(run);
            text.lines = rack.Summary();
            return text;
        };
        return RunRenderJob(job);
#else
        std::cerr << "trhost patch: not in this build: WAV and PNG output need libsndfile and "
                     "cairo, which the Windows build lacks; use the Linux build of trhost\n";
        return kExitUnavailable;
#endif
    };
}

}  // namespace trhost
