// The options --out, --plot and --json, shared by render and patch. Either file may be left out (the
// run is then measured only); "-" writes that file to standard output.
#ifndef TRHOST_OUTPUT_OPTIONS_H
#define TRHOST_OUTPUT_OPTIONS_H

#include <CLI/CLI.hpp>

#include <string>

namespace trhost {

struct OutputOptions {
    std::string out, plot;
    bool json = false;

    void AddTo(CLI::App* command) {
        command->add_option("--out", out, "WAV file to write (32-bit float; - for standard output)");
        command->add_option("--plot", plot, "PNG plot to write (- for standard output)");
        command->add_flag("--json", json, "print the files written and the measurements as JSON");
    }
};

}  // namespace trhost

#endif  // TRHOST_OUTPUT_OPTIONS_H
