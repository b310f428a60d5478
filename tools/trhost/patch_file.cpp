#include "patch_file.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <sstream>

#include "command_error.h"
#include "exit_codes.h"

namespace trhost {

namespace {

using json = nlohmann::ordered_json;

class PatchReader {
public:
    PatchReader(const std::string& text, const std::string& path) : m_text(text), m_path(path) {}

    PatchFile Read() {
        json root = Parse();
        if (!root.is_object()) Refuse("", "the patch must be a JSON object");
        CheckKeys(root, "", {"rate", "block", "seconds", "files", "modules", "outputs", "title", "comment"});

        PatchFile file;
        file.plan.origin = m_path + ": ";
        file.plan.title = std::filesystem::path(m_path).filename().string();
        if (root.contains("title")) file.plan.title = Text(root["title"], "title");
        if (root.contains("rate")) file.rate = Number(root["rate"], "rate");
        if (root.contains("block")) file.block = WholeNumber(root["block"], "block");
        if (root.contains("seconds")) file.seconds = Number(root["seconds"], "seconds");

        if (root.contains("files")) {
            const json& files = root["files"];
            if (!files.is_object()) Refuse("files", "must be an object of names and audio file paths");
            for (const auto& item : files.items()) {
                file.plan.files.push_back({item.key(), ResolvePath(Text(item.value(), "files." + item.key()))});
            }
        }

        if (!root.contains("modules")) Refuse("", "\"modules\" is missing");
        const json& modules = root["modules"];
        if (!modules.is_array() || modules.empty()) {
            Refuse("modules", "must be a list of at least one module");
        }
        for (size_t i = 0; i < modules.size(); ++i) {
            file.plan.modules.push_back(Module(modules[i], "modules[" + std::to_string(i) + "]"));
        }

        if (!root.contains("outputs")) Refuse("", "\"outputs\" is missing");
        const json& outputs = root["outputs"];
        if (!outputs.is_array() || outputs.empty()) {
            Refuse("outputs", "must be a list of at least one \"module.pin\"");
        }
        for (size_t i = 0; i < outputs.size(); ++i) {
            file.plan.outputs.push_back(Ref(outputs[i], "outputs[" + std::to_string(i) + "]"));
        }
        return file;
    }

private:
    [[noreturn]] void Refuse(const std::string& where, const std::string& what) const {
        throw CommandError(kExitPatch, m_path + ": " + (where.empty() ? "" : where + ": ") + what);
    }

    json Parse() const {
        try {
            // Keys that repeat within one object: JSON would keep the last silently.
            std::vector<std::vector<std::string>> keys;  // per open object
            std::string repeated;
            auto watch = [&](int, json::parse_event_t event, json& parsed) {
                if (event == json::parse_event_t::object_start) keys.emplace_back();
                if (event == json::parse_event_t::object_end && !keys.empty()) keys.pop_back();
                if (event == json::parse_event_t::key && !keys.empty() && repeated.empty()) {
                    std::string key = parsed.get<std::string>();
                    auto& seen = keys.back();
                    if (std::find(seen.begin(), seen.end(), key) != seen.end()) repeated = key;
                    seen.push_back(key);
                }
                return true;
            };
            json root = json::parse(m_text, watch);
            if (!repeated.empty()) Refuse("", "key \"" + repeated + "\" appears twice in one object");
            return root;
        } catch (const json::parse_error& error) {
            // The byte the parser stopped at, counted from 1, gives the line and column.
            size_t line = 1, column = 1;
            for (size_t i = 0; i + 1 < error.byte && i < m_text.size(); ++i) {
                if (m_text[i] == '\n') {
                    ++line;
                    column = 1;
                } else {
                    ++column;
                }
            }
            std::string detail = error.what();
            auto colon = detail.find(": ", detail.find("column"));
            if (colon != std::string::npos) detail = detail.substr(colon + 2);
            for (char& c : detail) {
                if (c == '\n' || c == '\r') c = ' ';
            }
            throw CommandError(kExitPatch, m_path + ":" + std::to_string(line) + ":" + std::to_string(column) +
                                               ": malformed JSON: " + detail);
        } catch (const json::exception& error) {
            // Well-formed but unreadable, such as a number beyond double's range.
            throw CommandError(kExitPatch, m_path + ": malformed JSON: " + error.what());
        }
    }

    void CheckKeys(const json& object, const std::string& where, std::initializer_list<const char*> known) const {
        for (const auto& item : object.items()) {
            bool found = false;
            for (const char* key : known) found = found || item.key() == key;
            if (!found) {
                std::string list;
                for (const char* key : known) list += (list.empty() ? "" : ", ") + std::string(key);
                Refuse(where, "unknown key \"" + item.key() + "\" (known: " + list + ")");
            }
        }
    }

    std::string Text(const json& value, const std::string& where) const {
        if (!value.is_string()) Refuse(where, "must be a text");
        return value.get<std::string>();
    }

    double Number(const json& value, const std::string& where) const {
        if (!value.is_number()) Refuse(where, "must be a number");
        return value.get<double>();
    }

    int32_t WholeNumber(const json& value, const std::string& where) const {
        if (!value.is_number_integer()) Refuse(where, "must be a whole number");
        auto number = value.get<int64_t>();
        if (number < INT32_MIN || number > INT32_MAX) Refuse(where, "is out of range");
        return static_cast<int32_t>(number);
    }

    PinRef Ref(const json& value, const std::string& where) const {
        std::string text = Text(value, where);
        auto ref = ParsePinRef(text);
        if (!ref) Refuse(where, "\"" + text + "\" is not of the form \"module.pin\"");
        return *ref;
    }

    ModulePlan Module(const json& object, const std::string& where) const {
        if (!object.is_object()) Refuse(where, "must be an object");
        CheckKeys(object, where, {"name", "library", "set", "wire", "comment"});
        ModulePlan module;
        if (!object.contains("name")) Refuse(where, "\"name\" is missing");
        module.name = Text(object["name"], where + ".name");
        if (module.name.empty() || module.name.find('.') != std::string::npos) {
            Refuse(where + ".name", "\"" + module.name + "\" must be non-empty and hold no '.'");
        }
        std::string at = where + " (\"" + module.name + "\")";
        if (!object.contains("library")) Refuse(at, "\"library\" is missing");
        module.library = ResolvePath(Text(object["library"], at + ".library"));

        if (object.contains("set")) {
            const json& set = object["set"];
            if (!set.is_object()) Refuse(at + ".set", "must be an object of pin names and values");
            for (const auto& item : set.items()) {
                const json& value = item.value();
                std::string text;
                if (value.is_string()) {
                    text = value.get<std::string>();
                } else if (value.is_number()) {
                    text = value.dump();
                } else {
                    Refuse(at + ".set." + item.key(), "must be a number (volts) or a text (a choice)");
                }
                module.set.emplace_back(item.key(), text);
            }
        }
        if (object.contains("wire")) {
            const json& wire = object["wire"];
            if (!wire.is_object()) Refuse(at + ".wire", "must be an object of input pins and sources");
            for (const auto& item : wire.items()) {
                module.wires.emplace_back(item.key(), Ref(item.value(), at + ".wire." + item.key()));
            }
        }
        return module;
    }

    // Library and audio file paths are relative to the patch file's folder.
    std::string ResolvePath(const std::string& given) const {
        std::filesystem::path path(given);
        if (path.is_absolute()) return given;
        return (std::filesystem::path(m_path).parent_path() / path).lexically_normal().string();
    }

    const std::string& m_text;
    std::string m_path;
};

}  // namespace

PatchFile ParsePatchText(const std::string& text, const std::string& path) { return PatchReader(text, path).Read(); }

PatchFile ReadPatchFile(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        throw CommandError(kExitPatch, path + ": is a folder, not a patch file");
    }
    std::ifstream stream(path, std::ios::binary);
    if (!stream) throw CommandError(kExitPatch, path + ": cannot be read");
    std::ostringstream text;
    text << stream.rdbuf();
    if (stream.bad()) throw CommandError(kExitPatch, path + ": cannot be read");
    return ParsePatchText(text.str(), path);
}

}  // namespace trhost
