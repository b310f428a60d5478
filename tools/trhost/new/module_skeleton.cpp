#include "module_skeleton.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <system_error>
#include <utility>

#include "command_error.h"
#include "exit_codes.h"
#include "process_id.h"
#include "template_files.h"

namespace trhost {

namespace fs = std::filesystem;

namespace {

// Targets that CMake, its generators and ctest keep for themselves, and those the framework package
// and GoogleTest define in every module project: a module of one of these names would not configure.
constexpr const char* kReservedNames[] = {
    "all",        "all_build",     "clean",          "continuous",
    "depend",     "edit_cache",    "experimental",   "gmock",
    "gmock_main", "gtest",         "gtest_main",     "help",
    "install",    "install_local", "install_strip",  "list_install_components",
    "nightly",    "package",       "package_source", "rebuild_cache",
    "run_tests",  "test",          "trframework",    "trmod_interface",
    "zero_check",
};

bool IsIdentifierStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentifierPart(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string JsonEscaped(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '"' || c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The placeholders of the template and what each becomes; in JSON files the paths are escaped.
std::vector<std::pair<std::string, std::string>> Placeholders(const ModuleNames& names, const SdkLocation& sdk,
                                                              bool json) {
    auto path = [json](const std::string& text) { return json ? JsonEscaped(text) : text; };
    return {
        {"@name@", names.lower},
        {"@NAME@", names.upper},
        {"@Class@", names.class_name},
        {"@SDK_PREFIX@", path(sdk.prefix)},
        {"@SDK_CMAKE_DIR@", path(sdk.cmake_dir)},
        {"@VEXLO_LIBRARY@", path(sdk.vexlo_library)},
    };
}

std::string Filled(std::string text, const std::vector<std::pair<std::string, std::string>>& placeholders) {
    for (const auto& [placeholder, value] : placeholders) text = ReplaceAll(std::move(text), placeholder, value);
    return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::string ModuleNameProblem(const std::string& name) {
    if (name.empty()) return "an empty name is not a C identifier";
    bool identifier = IsIdentifierStart(name[0]) && std::all_of(name.begin(), name.end(), IsIdentifierPart);
    if (!identifier) {
        return "\"" + name + "\" is not a C identifier (letters, digits and _, not starting with a digit)";
    }
    std::string lower = Lower(name);
    for (const char* reserved : kReservedNames) {
        if (lower == reserved) return "\"" + name + "\" is a name the build keeps for itself; choose another";
    }
    return "";
}

ModuleNames NamesFor(const std::string& name) {
    ModuleNames names{Lower(name), Upper(name), ""};
    bool part_start = true;
    for (char c : name) {
        if (c == '_') {
            part_start = true;
            continue;
        }
        names.class_name += part_start ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
        part_start = false;
    }
    // A name of underscores alone still needs a class name that is an identifier.
    names.class_name =
        (names.class_name.empty() || !IsIdentifierStart(names.class_name[0]) ? "M" : "") + names.class_name + "Module";
    return names;
}

std::vector<SkeletonFile> RenderSkeleton(const ModuleNames& names, const SdkLocation& sdk) {
    std::vector<SkeletonFile> files;
    for (std::size_t i = 0; i < kTemplateFileCount; ++i) {
        const TemplateFile& file = kTemplateFiles[i];
        std::string path = file.path;
        auto placeholders = Placeholders(names, sdk, EndsWith(path, ".json"));
        files.push_back({Filled(path, placeholders), Filled(std::string(file.contents, file.size), placeholders)});
    }
    return files;
}

void WriteSkeleton(const fs::path& folder, const std::vector<SkeletonFile>& files) {
    std::error_code error;
    fs::path parent = fs::absolute(folder, error).parent_path();
    if (error) throw CommandError(kExitOutput, folder.string() + ": " + error.message());
    fs::create_directories(parent, error);
    if (error) throw CommandError(kExitOutput, parent.string() + ": cannot be made: " + error.message());

    fs::path staging = parent / ("." + folder.filename().string() + ".new-" + std::to_string(CurrentProcessId()));
    fs::remove_all(staging, error);
    auto fail = [&](const std::string& message) {
        std::error_code ignored;
        fs::remove_all(staging, ignored);
        throw CommandError(kExitOutput, message);
    };
    for (const SkeletonFile& file : files) {
        fs::path target = staging / fs::path(file.path);
        fs::create_directories(target.parent_path(), error);
        std::ofstream out(target, std::ios::binary);
        out.write(file.contents.data(), static_cast<std::streamsize>(file.contents.size()));
        out.close();
        if (error || !out) fail((folder / fs::path(file.path)).string() + ": cannot be written");
    }
    fs::rename(staging, folder, error);
    if (error) fail(folder.string() + ": cannot be made: " + error.message());
}

}  // namespace trhost
