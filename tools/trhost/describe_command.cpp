#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "command_error.h"
#include "commands.h"
#include "exit_codes.h"
#include "module_report.h"

namespace trhost {

CommandAction AddDescribeCommand(CLI::App& app) {
    auto* command = app.add_subcommand("describe", "Show a module's name, identifier, flags, about text and pins");
    struct Options {
        std::string library;
        bool json = false;
    };
    auto options = std::make_shared<Options>();
    command->add_option("LIB", options->library, "module library (.so or .dll)")->required();
    command->add_flag("--json", options->json, "print JSON instead of a table");
    return [options] {
        try {
            ModuleReport report = DescribeLibrary(options->library);
            std::cout << (options->json ? ReportJson(report) : ReportText(report));
            return kExitOk;
        } catch (const CommandError& error) {
            std::cerr << "trhost describe: " << error.what() << "\n";
            return error.ExitCode();
        }
    };
}

}  // namespace trhost
