#include <CLI/CLI.hpp>

#include "commands.h"
#include "exit_codes.h"

namespace trhost {

CommandAction AddDescribeCommand(CLI::App& app) {
    app.add_subcommand("describe", "not built yet");
    return [] { return kExitUsage; };
}

}  // namespace trhost
