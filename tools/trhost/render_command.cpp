#include <CLI/CLI.hpp>

#include "commands.h"
#include "exit_codes.h"

namespace trhost {

CommandAction AddRenderCommand(CLI::App& app) {
    app.add_subcommand("render", "not built yet");
    return [] { return kExitUsage; };
}

}  // namespace trhost
