#include "recipe_patch.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace manual {

namespace fs = std::filesystem;

std::vector<std::string> RecipeFiles(const std::string& recipes_dir) {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(recipes_dir)) {
        if (entry.path().extension() == ".json") files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

Recipe LoadRecipe(const std::string& path, const std::string& module_dir) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read " + path);
    std::stringstream text;
    text << file.rdbuf();

    Recipe recipe;
    recipe.name = fs::path(path).stem().string();
    recipe.text = text.str();
    const nlohmann::json json = nlohmann::json::parse(recipe.text);
    recipe.title = json.value("title", recipe.name);
    recipe.comment = json.value("comment", "");

    trhost::PatchFile patch = trhost::ParsePatchText(recipe.text, path);
    auto built = [&](const fs::path& made) {
        if (!fs::exists(made)) throw std::runtime_error(path + " needs " + made.string() + ", which this build did not make");
        return made.string();
    };
    for (auto& module : patch.plan.modules) {
        module.library = built(fs::path(module_dir) / fs::path(module.library).filename());
    }
    for (auto& sound : patch.plan.files) {
        sound.path = built(fs::path(module_dir) / "sounds" / fs::path(sound.path).filename());
    }
    recipe.plan = patch.plan;
    if (patch.rate) recipe.run.rate = *patch.rate;
    if (patch.block) recipe.run.block = *patch.block;
    if (patch.seconds) recipe.run.seconds = *patch.seconds;
    return recipe;
}

trhost::AudioSource LoadRecipeSound(const std::string& path, double rate) {
    trhost::AudioSource source = trhost::LoadAudioSource(path, rate);
    source.path = fs::path(path).filename().string();
    return source;
}

}  // namespace manual
