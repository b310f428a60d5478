#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "command_error.h"
#include "commands.h"
#include "exit_codes.h"
#include "output_options.h"
#include "patch_plan.h"
#include "pin_values.h"
#include "render_feeds.h"
#include "run_options.h"
#if TRHOST_WITH_MEDIA
#include "render_job.h"
#endif

namespace trhost {

CommandAction AddRenderCommand(CLI::App& app) {
    auto* command =
        app.add_subcommand("render", "Run one instance of a module and write its output pins to a WAV file");
    struct Options {
        std::string library;
        OutputOptions output;
        RunOptions run;
        std::vector<std::string> sets;
        std::vector<std::string> feeds;
    };
    auto options = std::make_shared<Options>();
    command->add_option("LIB", options->library, "module library (.so or .dll)")->required();
    options->output.AddTo(command);
    options->run.AddTo(command, "");
    command
        ->add_option("--set", options->sets,
                     "PIN=VALUE: volts for an audio pin, a choice name or number for a list pin "
                     "(repeatable; quote names with blanks)")
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    command
        ->add_option("--feed", options->feeds,
                     "PIN=FILE: an audio file (WAV, FLAC, Ogg) into an audio input, its first channel, "
                     "resampled to the run's rate if need be (repeatable)")
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    return [options] {
#if TRHOST_WITH_MEDIA
        RenderJob job;
        job.command = "render";
        job.run = options->run.Over({});
        job.wav_path = options->output.out;
        job.plot_path = options->output.plot;
        job.json = options->output.json;
        ModulePlan module;
        module.name = "module";
        module.library = options->library;
        try {
            job.run.Check(kExitUsage, "");
            for (const auto& text : options->sets) {
                std::string pin, value;
                SplitAssignment(text, &pin, &value);
                module.set.emplace_back(pin, value);
            }
            AddFeeds(options->feeds, job.plan, module);
        } catch (const CommandError& error) {
            std::cerr << "trhost render: " << error.what() << "\n";
            return error.ExitCode();
        }
        job.plan.modules.push_back(module);
        std::string library = options->library;
        RunSettings run = job.run;
        job.plot_text = [library, run](const Rack& rack) {
            PlotText text;
            text.title = rack.FirstModuleName() + ": render at " + RunSettingsText(run);
            // The summary reads "module: NAME (details)"; a render shows the details alone.
            std::string summary = rack.Summary().front();
            std::string details = summary.substr(summary.find(" (") + 2);
            details.pop_back();
            text.lines.push_back(library + ": " +
                                 (details == "defaults" ? "every pin at its default" : "set " + details));
            return text;
        };
        return RunRenderJob(job);
#else
        std::cerr << "trhost render: not in this build: WAV and PNG output need libsndfile and "
                     "cairo, which the Windows build lacks; use the Linux build of trhost\n";
        return kExitUnavailable;
#endif
    };
}

}  // namespace trhost
