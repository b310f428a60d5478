// The options --rate, --block and --seconds, shared by render and patch. Each given one overrides
// the run settings it is applied to (the defaults, or a patch file's own).
#ifndef TRHOST_RUN_OPTIONS_H
#define TRHOST_RUN_OPTIONS_H

#include <CLI/CLI.hpp>

#include <optional>
#include <sstream>
#include <string>

#include "number_options.h"
#include "patch_plan.h"

namespace trhost {

struct RunOptions {
    std::optional<double> rate;
    std::optional<int32_t> block;
    std::optional<double> seconds;

    // `fallback` says where a value comes from when the option is not given.
    void AddTo(CLI::App* command, const std::string& fallback) {
        auto note = [&](auto value) {
            std::ostringstream text;
            text << " (" << (fallback.empty() ? "" : fallback + "; ") << "default " << value << ")";
            return text.str();
        };
        command->add_option("--rate", rate, "sample rate in Hz" + note(RunSettings::kDefaultRate))
            ->check(PositiveDecimal());
        command->add_option("--block", block, "block size in samples" + note(RunSettings::kDefaultBlock))
            ->check(WholeNumberFrom1To(1 << 20));
        command->add_option("--seconds", seconds, "length in seconds" + note(RunSettings::kDefaultSeconds))
            ->check(PositiveDecimal());
    }

    RunSettings Over(RunSettings run) const {
        run.rate = rate.value_or(run.rate);
        run.block = block.value_or(run.block);
        run.seconds = seconds.value_or(run.seconds);
        return run;
    }
};

}  // namespace trhost

#endif  // TRHOST_RUN_OPTIONS_H
