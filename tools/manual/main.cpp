// vexlo_manual: writes the musician's manual (index.html and its figures) from the HTML template,
// measuring and drawing everything it shows from the built module library.
//
//   vexlo_manual --module vexlo.so [--companion LIB]... --recipes DIR --template manual.html.in
//                --version X.Y.Z --out DIR
#include <CLI/CLI.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "module_library.h"
#include "sections.h"

int main(int argc, char** argv) {
    CLI::App app{"Writes the VEXLO manual from measurements of the built module"};
    std::string module_path, recipes_dir, template_path, version, out_dir;
    app.add_option("--module", module_path, "the built VEXLO library")->required();
    std::vector<std::string> companion_paths;
    app.add_option("--companion", companion_paths, "a companion module library whose pins the manual lists");
    app.add_option("--recipes", recipes_dir, "folder of recipe patches (*.json)")->required();
    app.add_option("--template", template_path, "the manual's HTML template")->required();
    app.add_option("--version", version, "the release's version")->required();
    app.add_option("--out", out_dir, "folder to write index.html and figures/ into")->required();
    CLI11_PARSE(app, argc, argv);

    namespace fs = std::filesystem;
    try {
        std::string error;
        auto vexlo = trhost::ModuleLibrary::Load(module_path, &error);
        if (!vexlo) throw std::runtime_error(error);
        std::ifstream template_file(template_path, std::ios::binary);
        if (!template_file) throw std::runtime_error("cannot read " + template_path);
        std::stringstream template_text;
        template_text << template_file.rdbuf();

        // Figures of an earlier run must not outlive it: the folder is made afresh.
        const fs::path figures = fs::path(out_dir) / "figures";
        fs::remove_all(figures);
        fs::create_directories(figures);
        manual::Manual manual{*vexlo, figures.string(), {}};
        manual::AddRelease(manual, version);
        manual::AddPins(manual);
        for (const auto& path : companion_paths) {
            auto companion = trhost::ModuleLibrary::Load(path, &error);
            if (!companion) throw std::runtime_error(error);
            manual::AddCompanionPins(manual, *companion);
        }
        manual::AddWaveforms(manual);
        manual::AddSquareOvershoot(manual);
        manual::AddRestAndRestart(manual);
        manual::AddTuning(manual);
        manual::AddModulationNoise(manual);
        manual::AddRecipes(manual, recipes_dir, fs::path(module_path).parent_path().string());

        const std::string html = manual::FillTemplate(template_text.str(), manual.fields);
        std::ofstream out(fs::path(out_dir) / "index.html", std::ios::binary);
        out << html;
        if (!out.flush()) throw std::runtime_error("cannot write " + (fs::path(out_dir) / "index.html").string());
    } catch (const std::exception& error) {
        std::cerr << "vexlo_manual: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
