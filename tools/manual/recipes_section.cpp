// The recipes: every patch in the recipes folder, with its title, what to listen for, the files it
// needs and how to build it in the host, a plot of what it plays, and the patch itself, rendered from
// the module libraries of this build.
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "recipe_patch.h"
#include "render_job.h"
#include "sections.h"

namespace manual {

namespace fs = std::filesystem;

namespace {

// The release ships each module as NAME.dll, NAME being its library's file name in capitals.
std::string WindowsFileName(const std::string& library) {
    std::string name = fs::path(library).stem().string();
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
    return name + ".dll";
}

std::string Code(const std::string& text) { return "<code>" + EscapeHtml(text) + "</code>"; }

std::string Joined(const std::vector<std::string>& items, const std::string& last = " and ") {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) text += (i == 0 ? "" : i + 1 == items.size() ? last : ", ") + items[i];
    return text;
}

// "Freq=0.7 V (0.7 Hz)" -> "Freq 0.7 V (0.7 Hz)"; "Time <- lfo.Out" -> "Time &larr; Out of lfo", or
// "In &larr; the sound" for a sound's channel.
std::string SettingHtml(const std::string& setting) {
    const size_t equals = setting.find('=');
    return "<b>" + EscapeHtml(setting.substr(0, equals)) + "</b> " + EscapeHtml(setting.substr(equals + 1));
}

std::string WireHtml(const std::string& wire, const trhost::PatchPlan& plan) {
    const size_t arrow = wire.find(" <- ");
    const std::string pin = wire.substr(0, arrow);
    const std::string source = wire.substr(arrow + 4);
    const size_t dot = source.find('.');
    const std::string from = source.substr(0, dot);
    const bool sound = std::any_of(plan.files.begin(), plan.files.end(), [&](const auto& f) { return f.name == from; });
    const std::string what = sound ? "the sound " + Code(from) : "<b>" + EscapeHtml(source.substr(dot + 1)) +
                                                                     "</b> of " + Code(from);
    return "<b>" + EscapeHtml(pin) + "</b> &larr; " + what;
}

// The files to copy into the host and, module by module in the order signals flow, what to set and
// what to wire; then what to listen to.
std::string BuildInHost(const Recipe& recipe, const trhost::Rack& rack) {
    const std::vector<trhost::Rack::InstanceSetup> setup = rack.Setup();
    std::vector<std::string> files;
    for (const auto& instance : setup) {
        const std::string file = Code(WindowsFileName(instance.library));
        if (std::find(files.begin(), files.end(), file) == files.end()) files.push_back(file);
    }
    std::string html = "<p class=\"uses\">Files: " + Joined(files) + ", from this release.";
    if (!recipe.plan.files.empty()) {
        std::vector<std::string> sounds;
        for (const auto& sound : recipe.plan.files) {
            sounds.push_back(Code(sound.name) + " (here " + Code(fs::path(sound.path).filename().string()) +
                             ", a plucked chord the project's build makes)");
        }
        html += " A sound to play: any recording or module output will do; " + Joined(sounds) + ".";
    }
    html += "</p>\n<table class=\"build\">\n<tr><th>Module</th><th>Make</th><th>Set</th><th>Wire into it</th></tr>\n";
    for (const auto& instance : setup) {
        std::vector<std::string> settings, wires;
        for (const auto& setting : instance.settings) settings.push_back(SettingHtml(setting));
        for (const auto& wire : instance.wires) wires.push_back(WireHtml(wire, recipe.plan));
        html += "<tr><td>" + Code(instance.name) + "</td><td>" + EscapeHtml(instance.module) + "</td><td>" +
                (settings.empty() ? "defaults" : Joined(settings, ", ")) + "</td><td>" +
                (wires.empty() ? "&mdash;" : Joined(wires, ", ")) + "</td></tr>\n";
    }
    html += "</table>\n";
    std::vector<std::string> outputs;
    for (const auto& output : recipe.plan.outputs) {
        outputs.push_back("<b>" + EscapeHtml(output.pin) + "</b> of " + Code(output.module));
    }
    const char* sides[] = {" (left)", " (right)"};
    if (outputs.size() == 2) {
        for (size_t i = 0; i < 2; ++i) outputs[i] += sides[i];
    }
    html += "<p>Listen to " + Joined(outputs) + ". Pins not listed keep their defaults.</p>\n";
    return html;
}

}  // namespace

void AddRecipes(Manual& manual, const std::string& recipes_dir, const std::string& module_dir) {
    std::string html;
    for (const std::string& path : RecipeFiles(recipes_dir)) {
        const Recipe recipe = LoadRecipe(path, module_dir);
        trhost::Rack rack(recipe.plan, recipe.run, LoadRecipeSound);
        const trhost::Rendering rendering = rack.Run();
        const std::string settings = trhost::RunSettingsText(recipe.run);
        const std::string figure =
            manual.Figure("recipe_" + recipe.name, rendering, recipe.title + ": " + settings, rack.Summary());

        html += "<section class=\"recipe\" id=\"recipe-" + EscapeHtml(recipe.name) + "\">\n<h3>" +
                EscapeHtml(recipe.title) + "</h3>\n<p>" + EscapeHtml(recipe.comment) + "</p>\n" +
                BuildInHost(recipe, rack) + "<figure><img src=\"" + figure + "\" alt=\"" + EscapeHtml(recipe.title) +
                ": plot of the outputs\"><figcaption>" + EscapeHtml(recipe.title) + ", rendered by this build (" +
                EscapeHtml(settings) + ").</figcaption></figure>\n" +
                "<p class=\"patch-name\">The same as a patch for <code>trhost patch</code>, in the project's " +
                Code("examples/recipes/" + recipe.name + ".json") + ":</p>\n<pre>" + EscapeHtml(recipe.text) +
                "</pre>\n</section>\n";
    }
    manual.fields["recipes"] = html;
}

}  // namespace manual
