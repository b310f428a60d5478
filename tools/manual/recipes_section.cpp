// The recipes: every patch in examples/, with its title, its comment, the patch itself and a plot of
// what it plays, rendered from the module libraries of this build.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "audio_source.h"
#include "patch_file.h"
#include "render_job.h"
#include "sections.h"

namespace manual {

namespace fs = std::filesystem;

namespace {

// "lfo (VEXLO); left and right (DELAY)": each module of the patch by its name, grouped by the library
// it is made from, named as the host lists it.
std::string ModulesText(const trhost::PatchPlan& plan) {
    std::vector<std::pair<std::string, std::vector<std::string>>> kinds;
    for (const auto& module : plan.modules) {
        std::string kind = fs::path(module.library).stem().string();
        std::transform(kind.begin(), kind.end(), kind.begin(), [](unsigned char c) { return std::toupper(c); });
        auto found = std::find_if(kinds.begin(), kinds.end(), [&](const auto& k) { return k.first == kind; });
        if (found == kinds.end()) found = kinds.insert(kinds.end(), {kind, {}});
        found->second.push_back("<code>" + EscapeHtml(module.name) + "</code>");
    }
    auto list = [](const std::vector<std::string>& items) {
        std::string text;
        for (size_t i = 0; i < items.size(); ++i) {
            text += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
        }
        return text;
    };
    std::string text;
    for (const auto& [kind, names] : kinds) text += (text.empty() ? "" : "; ") + list(names) + " (" + kind + ")";
    return text;
}

}  // namespace

void AddRecipes(Manual& manual, const std::string& examples_dir, const std::string& module_dir) {
    std::vector<fs::path> patches;
    for (const auto& entry : fs::directory_iterator(examples_dir)) {
        if (entry.path().extension() == ".json") patches.push_back(entry.path());
    }
    std::sort(patches.begin(), patches.end());

    std::string html;
    for (const fs::path& path : patches) {
        std::ifstream file(path, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        const nlohmann::json json = nlohmann::json::parse(text.str());
        const std::string title = json.value("title", path.stem().string());
        const std::string comment = json.value("comment", "");

        trhost::PatchFile patch = trhost::ParsePatchText(text.str(), path.string());
        for (auto& module : patch.plan.modules) {
            const fs::path built = fs::path(module_dir) / fs::path(module.library).filename();
            if (!fs::exists(built)) {
                throw std::runtime_error(path.string() + " needs " + built.string() +
                                         ", which this build did not make");
            }
            module.library = built.string();
        }
        for (auto& file : patch.plan.files) {
            const fs::path made = fs::path(module_dir) / "sounds" / fs::path(file.path).filename();
            if (!fs::exists(made)) {
                throw std::runtime_error(path.string() + " needs " + made.string() + ", which this build did not make");
            }
            file.path = made.string();
        }
        trhost::RunSettings run;
        if (patch.rate) run.rate = *patch.rate;
        if (patch.block) run.block = *patch.block;
        if (patch.seconds) run.seconds = *patch.seconds;
        // A sound is named by its file alone, so that the manual shows no path of the machine that built it.
        auto load = [](const std::string& file, double rate) {
            trhost::AudioSource source = trhost::LoadAudioSource(file, rate);
            source.path = fs::path(file).filename().string();
            return source;
        };
        std::string sounds;
        for (const auto& file : patch.plan.files) {
            sounds += (sounds.empty() ? "" : ", ") + std::string("<code>") + EscapeHtml(file.name) + "</code> (" +
                      EscapeHtml(fs::path(file.path).filename().string()) + ")";
        }
        const std::string uses = "<p class=\"uses\">Modules: " + ModulesText(patch.plan) + "." +
                                 (sounds.empty() ? "" : " Sound: " + sounds + ", a sound the build makes.") + "</p>\n";
        trhost::Rack rack(patch.plan, run, load);
        const trhost::Rendering rendering = rack.Run();
        const std::string figure = manual.Figure("recipe_" + path.stem().string(), rendering,
                                                 title + ": " + trhost::RunSettingsText(run), rack.Summary());

        const std::string id = "recipe-" + path.stem().string();
        html += "<section class=\"recipe\" id=\"" + EscapeHtml(id) + "\">\n<h3>" + EscapeHtml(title) + "</h3>\n<p>" +
                EscapeHtml(comment) + "</p>\n" + uses + "<figure><img src=\"" + figure + "\" alt=\"" +
                EscapeHtml(title) + ": plot of the outputs\"><figcaption>" + EscapeHtml(title) +
                ", rendered by this build (" + EscapeHtml(trhost::RunSettingsText(run)) + ").</figcaption></figure>\n" +
                "<p class=\"patch-name\">The patch, <code>examples/" + EscapeHtml(path.filename().string()) +
                "</code>:</p>\n<pre>" + EscapeHtml(text.str()) + "</pre>\n</section>\n";
    }
    manual.fields["recipes"] = html;
}

}  // namespace manual
