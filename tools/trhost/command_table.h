// trhost's subcommands as one table. The help lists this build's commands and exit codes from it, so
// that the Windows build, which lacks render, patch and analyze, offers only what it can do.
#ifndef TRHOST_COMMAND_TABLE_H
#define TRHOST_COMMAND_TABLE_H

#include "commands.h"

namespace trhost {

// Whether this build reads and writes audio files and images, which render, patch and analyze need:
// the libraries for it exist for the Linux target only.
#if TRHOST_WITH_MEDIA
inline constexpr bool kWithMedia = true;
#else
inline constexpr bool kWithMedia = false;
#endif

struct CommandEntry {
    // How the program's one-line summary names what the command does to a module ("render"); null
    // for one that makes something else (new).
    const char* verb;
    CommandAction (*add)(CLI::App& app);
    // False for a command this build keeps only to answer that it is not part of it
    // (kExitUnavailable): the help does not list it.
    bool in_this_build;
};

// Every subcommand, in the order the help lists them.
inline constexpr CommandEntry kCommands[] = {
    {"describe", AddDescribeCommand, true},
    {"render", AddRenderCommand, kWithMedia},
    {"patch", AddPatchCommand, kWithMedia},
    {"analyze", AddAnalyzeCommand, kWithMedia},
    {"validate", AddValidateCommand, true},
    {nullptr, AddNewCommand, true},
};

}  // namespace trhost

#endif  // TRHOST_COMMAND_TABLE_H
