// trhost's subcommands. Each registers itself on the command line and runs when chosen; its exit code
// is trhost's (see exit_codes.h).
#ifndef TRHOST_COMMANDS_H
#define TRHOST_COMMANDS_H

#include <functional>

namespace CLI {
class App;
}

namespace trhost {

// Sets the command's options up on `app` and answers the action that runs it once parsing is done.
using CommandAction = std::function<int()>;

CommandAction AddDescribeCommand(CLI::App& app);
CommandAction AddRenderCommand(CLI::App& app);
CommandAction AddPatchCommand(CLI::App& app);
CommandAction AddValidateCommand(CLI::App& app);
CommandAction AddAnalyzeCommand(CLI::App& app);
CommandAction AddNewCommand(CLI::App& app);

}  // namespace trhost

#endif  // TRHOST_COMMANDS_H
