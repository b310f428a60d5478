// A recipe as this build plays it: a patch from the recipes folder, its module libraries and sounds
// taken from the build folder by their file names, whatever paths the patch gives them.
#ifndef VEXLO_MANUAL_RECIPE_PATCH_H
#define VEXLO_MANUAL_RECIPE_PATCH_H

#include <string>
#include <vector>

#include "audio_source.h"
#include "patch_file.h"

namespace manual {

struct Recipe {
    std::string name;     // the file's name without .json: "chorus"
    std::string text;     // the file as written
    std::string title;    // its "title", or the name
    std::string comment;  // its "comment": what to listen for
    trhost::PatchPlan plan;
    trhost::RunSettings run;
};

// Every *.json in `recipes_dir`, sorted by name.
std::vector<std::string> RecipeFiles(const std::string& recipes_dir);

// Reads the recipe at `path`; its libraries are loaded from `module_dir`, its sounds from
// `module_dir`/sounds. Throws std::runtime_error naming a library or sound the build did not make, and
// trhost's CommandError for a malformed patch.
Recipe LoadRecipe(const std::string& path, const std::string& module_dir);

// Decodes a recipe's sound and names it by its file alone, so that nothing shows a path of the
// machine that built it.
trhost::AudioSource LoadRecipeSound(const std::string& path, double rate);

}  // namespace manual

#endif  // VEXLO_MANUAL_RECIPE_PATCH_H
