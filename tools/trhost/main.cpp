// trhost: a stand-in host for modules of this interface, from the command line.
#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "command_table.h"
#include "exit_codes.h"
#include "validate/check_child.h"

namespace {

// "describe, render, ... and validate modules of the Tavrisk interface, and start new ones": what
// this build's commands do, from the table.
std::string Summary() {
    std::vector<std::string> verbs;
    bool makes_modules = false;
    for (const auto& command : trhost::kCommands) {
        if (!command.in_this_build) continue;
        if (command.verb) {
            verbs.push_back(command.verb);
        } else {
            makes_modules = true;
        }
    }
    std::string text = "trhost: ";
    for (std::size_t i = 0; i < verbs.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == verbs.size() ? " and " : ", ") + verbs[i];
    }
    text += " modules of the Tavrisk interface";
    if (makes_modules) text += ", and start new ones";
    return text;
}

std::string ExitCodes() {
    std::string text = "Exit codes:";
    for (const auto& meaning : trhost::kExitCodeMeanings) {
        if (meaning.media_only && !trhost::kWithMedia) continue;
        text += (meaning.code == 0 ? " " : "; ") + std::to_string(meaning.code) + " " + meaning.meaning;
    }
    return text + ".";
}

}  // namespace

int main(int argc, char** argv) {
    // trhost started again by `validate` to run one check in a process of its own (Windows).
    if (trhost::validate::IsCheckChild(argc, argv)) return trhost::validate::RunCheckChild(argc, argv);
    CLI::App app{Summary()};
    app.require_subcommand(1);
    // "/modules/vexlo.dll" is a path, on Windows too (under wine it is an ordinary one), never an option.
    app.allow_windows_style_options(false);
    app.footer(ExitCodes());
    // Every refusal is one line, like the commands' own.
    app.failure_message([](const CLI::App*, const CLI::Error& error) {
        return std::string("trhost: ") + error.what() + " (see trhost --help)\n";
    });

    struct Command {
        CLI::App* sub;
        trhost::CommandAction action;
    };
    std::vector<Command> commands;
    for (const auto& entry : trhost::kCommands) {
        std::size_t before = app.get_subcommands({}).size();
        trhost::CommandAction action = entry.add(app);
        auto subs = app.get_subcommands({});
        if (subs.size() == before) continue;
        // Still parsed, to answer that it is not part of this build, but not offered.
        if (!entry.in_this_build) subs.back()->group("");
        commands.push_back({subs.back(), std::move(action)});
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        return code == 0 ? 0 : trhost::kExitUsage;
    }
    for (auto& command : commands) {
        if (command.sub->parsed()) return command.action();
    }
    return trhost::kExitUsage;
}
