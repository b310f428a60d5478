#include <CLI/CLI.hpp>

#include "commands.h"
#include "exit_codes.h"

namespace trhost {

CommandAction AddPatchCommand(CLI::App& app) {
    app.add_subcommand("patch", "not built yet");
    return [] { return kExitUsage; };
}

}  // namespace trhost
