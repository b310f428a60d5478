// What `trhost describe` shows of a module library: its texts and flags and a table of its pins, as
// text for people or as JSON for programs.
#ifndef TRHOST_MODULE_REPORT_H
#define TRHOST_MODULE_REPORT_H

#include <string>
#include <vector>

#include "module_info.h"

namespace trhost {

struct ModuleReport {
    std::string library;  // the path it was loaded from
    ModuleInfo info;
    std::vector<PinDescription> pins;
};

// Loads the library, reads module 0's properties and asks a fresh instance for its pins (the instance
// is closed without being opened). Throws CommandError: load or module stage.
ModuleReport DescribeLibrary(const std::string& path);

std::string ReportText(const ModuleReport& report);
std::string ReportJson(const ModuleReport& report);

}  // namespace trhost

#endif  // TRHOST_MODULE_REPORT_H
