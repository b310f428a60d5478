#include "render_feeds.h"

#include "pin_values.h"

namespace trhost {

void AddFeeds(const std::vector<std::string>& feeds, PatchPlan& plan, ModulePlan& module) {
    for (const std::string& text : feeds) {
        std::string pin, path;
        SplitAssignment(text, &pin, &path);
        const std::string name = plan.files.empty() ? "file" : "file" + std::to_string(plan.files.size() + 1);
        plan.files.push_back({name, path});
        module.wires.emplace_back(pin, PinRef{name, "1"});
    }
}

}  // namespace trhost
