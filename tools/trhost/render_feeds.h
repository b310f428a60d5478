// `trhost render --feed PIN=FILE`: each file becomes a source of the render's patch, named "file",
// "file2", ..., whose first channel is wired into PIN.
#ifndef TRHOST_RENDER_FEEDS_H
#define TRHOST_RENDER_FEEDS_H

#include <string>
#include <vector>

#include "patch_plan.h"

namespace trhost {

// Throws CommandError (usage stage) for a text that is not PIN=FILE.
void AddFeeds(const std::vector<std::string>& feeds, PatchPlan& plan, ModulePlan& module);

}  // namespace trhost

#endif  // TRHOST_RENDER_FEEDS_H
