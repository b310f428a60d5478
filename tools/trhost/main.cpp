// trhost: a stand-in host for modules of this interface, from the command line.
#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "commands.h"
#include "exit_codes.h"
#include "validate/check_child.h"

int main(int argc, char** argv) {
    // trhost started again by `validate` to run one check in a process of its own (Windows).
    if (trhost::validate::IsCheckChild(argc, argv)) return trhost::validate::RunCheckChild(argc, argv);
    CLI::App app{
        "trhost: describe, render, patch, analyze and validate modules of the Tavrisk interface, and start new ones"};
    app.require_subcommand(1);
    // "/modules/vexlo.dll" is a path, on Windows too (under wine it is an ordinary one), never an option.
    app.allow_windows_style_options(false);
    std::string exit_codes = "Exit codes:";
    for (const auto& [code, meaning] : trhost::kExitCodeMeanings) {
        exit_codes += (code == 0 ? " " : "; ") + std::to_string(code) + " " + meaning;
    }
    app.footer(exit_codes + ".");
    // Every refusal is one line, like the commands' own.
    app.failure_message([](const CLI::App*, const CLI::Error& error) {
        return std::string("trhost: ") + error.what() + " (see trhost --help)\n";
    });

    struct Command {
        CLI::App* sub;
        trhost::CommandAction action;
    };
    std::vector<Command> commands;
    auto add = [&](auto adder) {
        std::size_t before = app.get_subcommands({}).size();
        trhost::CommandAction action = adder(app);
        auto subs = app.get_subcommands({});
        if (subs.size() > before) commands.push_back({subs.back(), std::move(action)});
    };
    add(trhost::AddDescribeCommand);
    add(trhost::AddRenderCommand);
    add(trhost::AddPatchCommand);
    add(trhost::AddValidateCommand);
    add(trhost::AddAnalyzeCommand);
    add(trhost::AddNewCommand);

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
