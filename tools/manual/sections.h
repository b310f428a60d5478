// The manual's generated sections. Each runs the module, writes its figures into the figures folder
// and fills the template fields it owns.
#ifndef VEXLO_MANUAL_SECTIONS_H
#define VEXLO_MANUAL_SECTIONS_H

#include <string>
#include <vector>

#include "html_template.h"
#include "module_library.h"
#include "rack.h"

namespace manual {

struct Manual {
    const trhost::ModuleLibrary& vexlo;
    std::string figures_dir;  // the manual's figures/ folder
    Fields fields;

    // Writes figures/<name>.png and answers its path relative to the manual.
    std::string Figure(const std::string& name, const trhost::Rendering& rendering, const std::string& title,
                       const std::vector<std::string>& lines = {});
};

// printf-style text for numbers in the manual.
std::string Format(const char* format, double value);

void AddRelease(Manual& manual, const std::string& version);
void AddPins(Manual& manual);
// A companion module's pin table, into the field pin_rows_NAME (its module name in lower case).
void AddCompanionPins(Manual& manual, const trhost::ModuleLibrary& companion);
void AddWaveforms(Manual& manual);
void AddSquareOvershoot(Manual& manual);
void AddTuning(Manual& manual);
void AddModulationNoise(Manual& manual);
void AddRestAndRestart(Manual& manual);
// Every *.json patch in `recipes_dir`, by file name: title, what to listen for, how to build it in the
// host, its plot and the patch. Module libraries are loaded from `module_dir` by their file names.
void AddRecipes(Manual& manual, const std::string& recipes_dir, const std::string& module_dir);

}  // namespace manual

#endif  // VEXLO_MANUAL_SECTIONS_H
