#include "render_job.h"

#include <cmath>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "audio_source.h"
#include "command_error.h"
#include "exit_codes.h"
#include "measurements.h"
#include "output_files.h"
#include "rate_advice.h"
#include "wav_file.h"

namespace trhost {

namespace {

std::string ChannelList(const Rendering& rendering) {
    std::string channels;
    for (const auto& name : rendering.channel_names) channels += (channels.empty() ? "" : ", ") + name;
    return channels;
}

std::vector<ChannelMeasurement> MeasureRendering(const Rendering& rendering) {
    std::vector<ChannelMeasurement> measured;
    for (size_t c = 0; c < rendering.channels.size(); ++c) {
        measured.push_back(MeasureChannel(rendering.channel_names[c], rendering.channels[c], rendering.rate));
    }
    return measured;
}

// Each wire that left its pin's range, for CI: a value that is not finite is null.
nlohmann::ordered_json RangeExcursionsJson(const std::vector<RangeExcursion>& excursions, double rate) {
    auto volts = [](double value) { return std::isfinite(value) ? nlohmann::ordered_json(value) : nullptr; };
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& excursion : excursions) {
        list.push_back({{"wire", excursion.wire},
                        {"pin", excursion.pin},
                        {"low_volts", excursion.range.Low()},
                        {"high_volts", excursion.range.High()},
                        {"first_sample", excursion.first_sample},
                        {"first_seconds", static_cast<double>(excursion.first_sample) / rate},
                        {"first_volts", volts(excursion.first_volts)},
                        {"furthest_volts", volts(excursion.furthest_volts)},
                        {"samples_outside", excursion.samples_outside}});
    }
    return list;
}

}  // namespace

std::string RunSettingsText(const RunSettings& run) {
    char text[96];
    std::snprintf(text, sizeof text, "%.0f Hz, block %d, %g s", run.rate, run.block, run.seconds);
    return text;
}

int RunRenderJob(const RenderJob& job) {
    std::string prefix = "trhost " + job.command + ": ";
    try {
        OutputFiles files;
        std::string wav = job.wav_path.empty() ? "" : files.Reserve(job.wav_path);
        std::string plot = job.plot_path.empty() ? "" : files.Reserve(job.plot_path);

        Rack rack(job.plan, job.run, LoadAudioSource);
        if (job.strict_ranges && !rack.SetValuesOutOfRange().empty()) {
            for (const auto& error : rack.SetValuesOutOfRange()) std::cerr << prefix << "error: " << error << "\n";
            return kExitRange;
        }
        std::vector<std::string> warnings = rack.Warnings();
        if (auto advice = SampleRateAdvice(job.run.rate, rack.ModuleNames())) warnings.push_back(*advice);
        for (const auto& warning : warnings) std::cerr << prefix << "warning: " << warning << "\n";
        for (const auto& note : rack.Notes()) std::cerr << prefix << "note: " << note << "\n";
        Rendering rendering = rack.Run();

        const std::vector<RangeExcursion> excursions = rack.RangeExcursions();
        std::vector<std::string> range_warnings;
        for (const auto& excursion : excursions) range_warnings.push_back(ExcursionText(excursion, job.run.rate));
        if (job.strict_ranges && !range_warnings.empty()) {
            for (const auto& error : range_warnings) std::cerr << prefix << "error: " << error << "\n";
            return kExitRange;
        }
        for (const auto& warning : range_warnings) std::cerr << prefix << "warning: " << warning << "\n";

        if (!wav.empty()) files.Write(wav, [&](const std::string& path) { WriteWav(path, rendering); });
        PlotLayout layout;
        if (!plot.empty()) {
            files.Write(plot,
                        [&](const std::string& path) { layout = WritePlot(path, rendering, job.plot_text(rack)); });
        }
        files.Commit();

        std::vector<ChannelMeasurement> measured = MeasureRendering(rendering);
        std::vector<std::string> signal_warnings = MeasurementWarnings(measured);
        for (const auto& warning : signal_warnings) std::cerr << prefix << "warning: " << warning << "\n";

        std::ostream& report = files.UsesStandardOutput() ? std::cerr : std::cout;
        std::string plot_kind = layout.with_window ? "whole run and a window of the start" : "whole run";
        if (job.json) {
            nlohmann::ordered_json root;
            root["command"] = job.command;
            root["rate"] = job.run.rate;
            root["block"] = job.run.block;
            root["seconds"] = job.run.seconds;
            root["samples"] = rendering.frames;
            root["wav"] = job.wav_path.empty() ? nullptr : nlohmann::ordered_json(job.wav_path);
            root["plot"] = job.plot_path.empty() ? nullptr : nlohmann::ordered_json(job.plot_path);
            root["channels"] = MeasurementsJson(measured);
            root["range_excursions"] = RangeExcursionsJson(excursions, job.run.rate);
            warnings.insert(warnings.end(), range_warnings.begin(), range_warnings.end());
            warnings.insert(warnings.end(), signal_warnings.begin(), signal_warnings.end());
            root["warnings"] = warnings;
            report << root.dump(2) << "\n";
            return kExitOk;
        }
        std::string what = std::to_string(rendering.channels.size()) + " channel" +
                           (rendering.channels.size() == 1 ? "" : "s") + " (" + ChannelList(rendering) + "), " +
                           std::to_string(rendering.frames) + " samples at " + RunSettingsText(job.run);
        if (!job.wav_path.empty()) report << "wrote " << job.wav_path << ": " << what << "\n";
        if (!job.plot_path.empty()) report << "wrote " << job.plot_path << ": " << plot_kind << "\n";
        if (job.wav_path.empty() && job.plot_path.empty()) report << "rendered " << what << " (no file written)\n";
        report << MeasurementsText(measured);
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
