// Patch files: JSON naming instances of module libraries, their settings, their wires and the outputs.
//   { "rate": 48000, "block": 256, "seconds": 1.0,
//     "modules": [
//       { "name": "mod", "library": "vexlo.so", "set": { "Freq": 4 } },
//       { "name": "car", "library": "vexlo.so", "set": { "Wave": "triangle" },
//         "wire": { "Freq": "mod.Out" } } ],
//     "outputs": [ "car.Out" ] }
// Optional: "title" (names the patch in the plot) and "comment" (anywhere an object is; ignored), and
// "files": audio files by name, { "chord": "sounds/chord.wav" }, whose channels are wired as sources
// "chord.1", "chord.2", ... (paths, like libraries, relative to the patch file's folder).
#ifndef TRHOST_PATCH_FILE_H
#define TRHOST_PATCH_FILE_H

#include <optional>
#include <string>

#include "patch_plan.h"

namespace trhost {

struct PatchFile {
    PatchPlan plan;  // library paths already resolved against the file's folder
    std::optional<double> rate;
    std::optional<int32_t> block;
    std::optional<double> seconds;
};

// Reads and checks the form of the patch file at `path`. Throws CommandError (patch stage) naming the
// file, and the line and column where the JSON is malformed.
PatchFile ReadPatchFile(const std::string& path);

// The same for a patch held in memory; `path` names it in messages and anchors relative library paths.
PatchFile ParsePatchText(const std::string& text, const std::string& path);

}  // namespace trhost

#endif  // TRHOST_PATCH_FILE_H
