// trhost new NAME [DIR]: a new module project, ready to build, test and validate on both targets.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <memory>
#include <system_error>

#include "command_error.h"
#include "commands.h"
#include "exit_codes.h"
#include "new/module_skeleton.h"
#include "new/sdk_location.h"

namespace trhost {

CommandAction AddNewCommand(CLI::App& app) {
    auto* command = app.add_subcommand(
        "new",
        "Write a new module project in DIR (default ./NAME): one module class with a pin table, a GoogleTest "
        "test, a patch wiring VEXLO into it, a README, and CMake presets linux-x86 and windows-x86 that build "
        "NAME.so and NAME.dll against this SDK");
    struct Options {
        std::string name;
        std::string folder;
        std::string sdk;
    };
    auto options = std::make_shared<Options>();
    command->add_option("NAME", options->name, "the module's name, a C identifier")->required();
    command->add_option("DIR", options->folder, "the folder to make; it must not exist (default ./NAME)");
    command->add_option("--sdk", options->sdk,
                        "the SDK to build against (default: the one this trhost is installed in, else the first "
                        "in CMAKE_PREFIX_PATH)");
    return [options] {
        // Every refusal comes before anything is written.
        std::string problem = ModuleNameProblem(options->name);
        if (!problem.empty()) {
            std::cerr << "trhost new: " << problem << "\n";
            return kExitUsage;
        }
        std::filesystem::path folder = options->folder.empty() ? options->name : options->folder;
        std::error_code error;
        if (std::filesystem::exists(std::filesystem::symlink_status(folder, error))) {
            std::cerr << "trhost new: " << folder.string() << " already exists; name a new folder\n";
            return kExitUsage;
        }
        auto sdk = FindSdk(options->sdk, &problem);
        if (!sdk) {
            std::cerr << "trhost new: " << problem << "\n";
            return kExitUsage;
        }
        ModuleNames names = NamesFor(options->name);
        try {
            auto files = RenderSkeleton(names, *sdk);
            WriteSkeleton(folder, files);
            std::cout << "trhost new: wrote " << names.class_name << " in " << folder.string() << " (" << files.size()
                      << " files) against the SDK in " << sdk->prefix << "\n"
                      << "  cd " << folder.string()
                      << " && cmake --preset linux-x86 && cmake --build --preset linux-x86"
                      << "\n";
            return kExitOk;
        } catch (const CommandError& failure) {
            std::cerr << "trhost new: " << failure.what() << "\n";
            return failure.ExitCode();
        }
    };
}

}  // namespace trhost
