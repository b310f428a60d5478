#include <CLI/CLI.hpp>

#include "commands.h"
#include "exit_codes.h"

namespace trhost {

CommandAction AddValidateCommand(CLI::App& app) {
    app.add_subcommand("validate", "not built yet");
    return [] { return kExitUsage; };
}

}  // namespace trhost
