// `trhost new`: a new module project written from the template that trhost carries. The names of the
// module's files, class and library come from the one NAME the developer gives; the SDK's location
// goes into the presets, the README and the patch.
#ifndef TRHOST_NEW_MODULE_SKELETON_H
#define TRHOST_NEW_MODULE_SKELETON_H

#include <filesystem>
#include <string>
#include <vector>

#include "sdk_location.h"

namespace trhost {

// What NAME gives a module.
struct ModuleNames {
    std::string lower;       // files, CMake targets and the Linux library: sample_hold (sample_hold.so)
    std::string upper;       // the module's name and its DLL: SAMPLE_HOLD (SAMPLE_HOLD.dll)
    std::string class_name;  // the module class: SampleHoldModule
};

// Empty when `name` can name a module; otherwise why it cannot, as a few words for a one-line refusal.
// A name must be a C identifier, and must not be one of the names the build itself reserves.
std::string ModuleNameProblem(const std::string& name);

// The names for `name`, which ModuleNameProblem accepts: parts between underscores start with a capital
// in the class name, the rest of each part is kept.
ModuleNames NamesFor(const std::string& name);

struct SkeletonFile {
    std::string path;  // relative to the module folder, '/' between parts
    std::string contents;
};

// The template's files with the names and the SDK's paths put in, in the template's order.
std::vector<SkeletonFile> RenderSkeleton(const ModuleNames& names, const SdkLocation& sdk);

// Writes `files` into a new folder `folder`, which must not exist yet; missing parent folders are made.
// All or nothing: the files go into a hidden folder beside it, renamed to `folder` once all are
// written, and removed if any write fails. Throws CommandError (exit code kExitOutput) naming the
// file that could not be written.
void WriteSkeleton(const std::filesystem::path& folder, const std::vector<SkeletonFile>& files);

}  // namespace trhost

#endif  // TRHOST_NEW_MODULE_SKELETON_H
