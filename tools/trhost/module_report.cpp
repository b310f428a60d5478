#include "module_report.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>

#include "command_error.h"
#include "exit_codes.h"
#include "host_instance.h"
#include "pin_text.h"
#include "pin_units.h"
#include "pin_values.h"
#include "text_width.h"

namespace trhost {

namespace {

std::string Hex(int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string DefaultCell(const PinDescription& pin, const std::optional<std::string>& scale) {
    if (!pin.default_text) return "-";
    if (pin.IsAudio()) {
        auto volts = ParseNumber(*pin.default_text);
        return *pin.default_text + " V" + (volts ? MusicalReading(pin.name, *volts, scale) : "");
    }
    if (pin.IsList() && pin.extra_text) {
        auto choices = ParseListText(*pin.extra_text);
        auto value = ParseListValue(*pin.default_text);
        if (choices && value) {
            for (const auto& choice : *choices) {
                if (choice.value == *value) return *pin.default_text + " (" + choice.name + ")";
            }
        }
    }
    return *pin.default_text;
}

std::string RangeCell(const PinDescription& pin, const std::optional<std::string>& scale) {
    if (!pin.extra_text) return "-";
    if (pin.IsAudio()) {
        if (auto range = ParseRangeText(*pin.extra_text)) {
            // The range's reading in musical units, when the pin has one: "(0.0001 to 20 Hz)".
            std::string low = MusicalReading(pin.name, range->Low(), scale);
            std::string high = MusicalReading(pin.name, range->High(), scale);
            std::string reading = low.empty() ? "" : " (" + low.substr(2, low.size() - 3) + " to " + high.substr(2);
            return Number(range->Low()) + " to " + Number(range->High()) + " V" + reading;
        }
    }
    if (pin.IsList()) {
        if (auto choices = ParseListText(*pin.extra_text)) {
            std::string cell;
            for (const auto& choice : *choices) {
                cell += (cell.empty() ? "" : ", ") + choice.name + "=" + std::to_string(choice.value);
            }
            return cell;
        }
    }
    return "\"" + *pin.extra_text + "\"";
}

}  // namespace

ModuleReport DescribeLibrary(const std::string& path) {
    ModuleReport report;
    report.library = path;
    std::string error;
    auto library = ModuleLibrary::Load(path, &error);
    if (!library) throw CommandError(kExitLoad, error);
    report.info = ReadModuleInfo(*library);
    if (!report.info.described) {
        throw CommandError(kExitModule, path + ": holds no module (getModuleProperties(0) answered 0)");
    }
    HostInstance instance(*library);
    if (!instance.Create()) throw CommandError(kExitModule, path + ": makeModule(0, 1) answered null");
    report.pins = instance.DescribePins();
    instance.Close();
    return report;
}

std::string ReportText(const ModuleReport& report) {
    std::ostringstream out;
    const ModuleInfo& info = report.info;
    out << info.name << "\n";
    out << "  identifier  " << info.id << "\n";
    out << "  flags       " << Hex(info.flags) << " (" << info.flags << ")\n";
    out << "  library     " << report.library << "\n";
    out << "\nabout:\n";
    std::istringstream about(info.about);
    for (std::string line; std::getline(about, line);) {
        while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
        out << (line.empty() ? "" : "  " + line) << "\n";
    }

    out << "\npins (" << report.pins.size() << "):\n";
    std::vector<std::vector<std::string>> rows = {
        {"#", "name", "direction", "type", "default", "range / choices", "flags"}};
    // Freq pins read on the scale their module starts with.
    std::optional<std::string> scale = FrequencyScale(report.pins, {});
    for (const auto& pin : report.pins) {
        rows.push_back({std::to_string(pin.index), pin.name, DirectionName(pin.direction), DatatypeName(pin.datatype),
                        DefaultCell(pin, scale), RangeCell(pin, scale), pin.flags ? Hex(pin.flags) : "-"});
    }
    std::vector<size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], TextWidth(row[c]));
    }
    for (const auto& row : rows) {
        std::string line = " ";
        for (size_t c = 0; c < row.size(); ++c) {
            line += " " + row[c];
            if (c + 1 < row.size()) line += std::string(widths[c] - TextWidth(row[c]) + 1, ' ');
        }
        out << line << "\n";
    }
    return out.str();
}

std::string ReportJson(const ModuleReport& report) {
    nlohmann::ordered_json root;
    root["library"] = report.library;
    root["name"] = report.info.name;
    root["id"] = report.info.id;
    root["flags"] = report.info.flags;
    root["about"] = report.info.about;
    root["pins"] = nlohmann::ordered_json::array();
    for (const auto& pin : report.pins) {
        nlohmann::ordered_json entry;
        entry["index"] = pin.index;
        entry["name"] = pin.name;
        entry["direction"] = DirectionName(pin.direction);
        entry["direction_code"] = pin.direction;
        entry["datatype"] = DatatypeName(pin.datatype);
        entry["datatype_code"] = pin.datatype;
        entry["default"] = pin.default_text ? nlohmann::ordered_json(*pin.default_text) : nullptr;
        entry["extra"] = pin.extra_text ? nlohmann::ordered_json(*pin.extra_text) : nullptr;
        if (pin.IsAudio() && pin.extra_text) {
            if (auto range = ParseRangeText(*pin.extra_text)) {
                entry["range"] = {{"low", range->Low()},
                                  {"high", range->High()},
                                  {"top", range->top},
                                  {"bottom", range->bottom},
                                  {"display_top", range->display_top},
                                  {"display_bottom", range->display_bottom}};
            }
        }
        if (pin.IsList() && pin.extra_text) {
            if (auto choices = ParseListText(*pin.extra_text)) {
                entry["choices"] = nlohmann::ordered_json::array();
                for (const auto& choice : *choices) {
                    entry["choices"].push_back({{"name", choice.name}, {"value", choice.value}});
                }
            }
        }
        entry["flags"] = pin.flags;
        root["pins"].push_back(entry);
    }
    return root.dump(2) + "\n";
}

}  // namespace trhost
