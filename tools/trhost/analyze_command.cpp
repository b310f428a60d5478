// trhost analyze FILE: the spectrum, spectrogram, harmonics and measurements of an audio file, from
// trhost or from anywhere else, as text or JSON and as a PNG.
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "commands.h"
#include "exit_codes.h"
#include "output_files.h"
#if TRHOST_WITH_MEDIA
#include <cstdio>
#include <nlohmann/json.hpp>

#include "analysis_plot.h"
#include "audio_source.h"
#include "command_error.h"
#endif

namespace trhost {

namespace {

struct AnalyzeOptions {
    std::string file, plot;
    bool json = false;
};

#if TRHOST_WITH_MEDIA

std::string SpectrumLine(const Spectrum& spectrum) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "spectrum: %s window, %lld-sample transforms, %lld segment%s overlapping by half, bins of %.3g Hz; "
                  "levels in dB re 10 V peak",
                  kWindowName, static_cast<long long>(spectrum.size), static_cast<long long>(spectrum.segments),
                  spectrum.segments == 1 ? "" : "s", spectrum.BinHz());
    return text;
}

nlohmann::ordered_json PartialJson(const Partial& partial) {
    return {{"hertz", partial.hertz}, {"level_db", partial.LevelDb()}, {"volts", partial.amplitude * kFullScaleVolts}};
}

nlohmann::ordered_json AnalysisJson(const std::string& file, double rate,
                                    const std::vector<ChannelAnalysis>& channels) {
    std::vector<ChannelMeasurement> measured;
    for (const auto& analysis : channels) measured.push_back(analysis.measurement);
    nlohmann::ordered_json root;
    root["file"] = file;
    root["rate"] = rate;
    root["window"] = kWindowName;
    root["transform_size"] = channels.front().spectrum.size;
    root["segments"] = channels.front().spectrum.segments;
    root["channels"] = MeasurementsJson(measured);
    for (size_t c = 0; c < channels.size(); ++c) {
        auto& entry = root["channels"][c];
        entry["peaks"] = nlohmann::ordered_json::array();
        for (const auto& peak : channels[c].peaks) entry["peaks"].push_back(PartialJson(peak));
        entry["harmonics"] = nullptr;
        if (const auto& h = channels[c].harmonics) {
            auto list = nlohmann::ordered_json::array();
            for (const auto& harmonic : h->harmonics) {
                auto item = PartialJson(harmonic.partial);
                item["number"] = harmonic.number;
                list.push_back(item);
            }
            entry["harmonics"] = {{"fundamental_hz", h->fundamental_hz}, {"thd", h->thd}, {"list", list}};
        }
    }
    return root;
}

int RunAnalyze(const AnalyzeOptions& options) {
    try {
        OutputFiles files;
        std::string plot = options.plot.empty() ? "" : files.Reserve(options.plot);
        const AudioSource audio = LoadAudioFile(options.file);
        std::vector<ChannelAnalysis> channels;
        for (size_t c = 0; c < audio.channels.size(); ++c) {
            channels.push_back(AnalyzeChannel("channel " + std::to_string(c + 1), audio.channels[c], audio.rate,
                                              SpectrogramColumns()));
        }
        int64_t frames = static_cast<int64_t>(audio.channels.front().size());
        char summary[160];
        std::snprintf(summary, sizeof summary, "%zu channel%s, %.0f Hz, %g s (%lld samples)", channels.size(),
                      channels.size() == 1 ? "" : "s", audio.rate, static_cast<double>(frames) / audio.rate,
                      static_cast<long long>(frames));
        if (!plot.empty()) {
            PlotText text{"analysis of " + options.file, {summary, SpectrumLine(channels.front().spectrum)}};
            files.Write(plot, [&](const std::string& path) { WriteAnalysisPlot(path, channels, text); });
        }
        files.Commit();

        std::ostream& report = files.UsesStandardOutput() ? std::cerr : std::cout;
        if (options.json) {
            report << AnalysisJson(options.file, audio.rate, channels).dump(2) << "\n";
            return kExitOk;
        }
        report << options.file << ": " << summary << "\n" << SpectrumLine(channels.front().spectrum) << "\n";
        std::vector<ChannelMeasurement> measured;
        for (const auto& analysis : channels) measured.push_back(analysis.measurement);
        report << MeasurementsText(measured);
        for (const auto& analysis : channels) {
            report << analysis.measurement.name << ":\n";
            for (const auto& line : AnalysisLines(analysis)) report << "  " << line << "\n";
        }
        if (!plot.empty()) report << "wrote " << options.plot << "\n";
        return kExitOk;
    } catch (const CommandError& error) {
        std::cerr << "trhost analyze: " << error.what() << "\n";
        return error.ExitCode();
    }
}

#else

int RunAnalyze(const AnalyzeOptions&) {
    std::cerr << "trhost analyze: not in this build: reading audio, spectra and PNG output need libsndfile, FFTW "
                 "and cairo, which the Windows build lacks; use the Linux build of trhost\n";
    return kExitUnavailable;
}

#endif

}  // namespace

CommandAction AddAnalyzeCommand(CLI::App& app) {
    auto options = std::make_shared<AnalyzeOptions>();
    auto* command =
        app.add_subcommand("analyze", "Measure an audio file and show its spectrum, spectrogram, harmonics and THD");
    command->add_option("FILE", options->file, "audio file (WAV or any format libsndfile reads)")->required();
    command->add_option("--plot", options->plot, "PNG to draw the spectra in (- for standard output)");
    command->add_flag("--json", options->json, "print the analysis as JSON");
    return [options] { return RunAnalyze(*options); };
}

}  // namespace trhost
