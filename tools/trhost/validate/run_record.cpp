#include "run_record.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "command_error.h"
#include "exit_codes.h"
#include "output_files.h"

namespace trhost::validate {

// The verdicts as the reports name them.
NLOHMANN_JSON_SERIALIZE_ENUM(Verdict, {
                                          {Verdict::kPass, "PASS"},
                                          {Verdict::kWarn, "WARN"},
                                          {Verdict::kFail, "FAIL"},
                                          {Verdict::kCrash, "CRASH"},
                                          {Verdict::kSkip, "SKIP"},
                                      })

void to_json(nlohmann::json& json, const RecordedVerdict& kept) {
    json = {{"verdict", kept.verdict}, {"seed", kept.seed}, {"level", kept.level}};
}

void from_json(const nlohmann::json& json, RecordedVerdict& kept) {
    const std::string name = json.at("verdict").get<std::string>();
    kept.verdict = json.at("verdict").get<Verdict>();
    // An unknown name reads as the first verdict: a record with one is not one this trhost wrote.
    if (name != VerdictName(kept.verdict)) throw std::runtime_error("unknown verdict " + name);
    kept.seed = json.at("seed").get<uint32_t>();
    kept.level = json.at("level").get<int>();
}

void to_json(nlohmann::json& json, const LibraryRecord& kept) {
    json = {{"size", kept.build.size},
            {"hash", kept.build.hash},
            {"seed", kept.seed},
            {"level", kept.level},
            {"checks", kept.checks}};
}

void from_json(const nlohmann::json& json, LibraryRecord& kept) {
    kept.build.size = json.at("size").get<uint64_t>();
    kept.build.hash = json.at("hash").get<std::string>();
    kept.seed = json.at("seed").get<uint32_t>();
    kept.level = json.at("level").get<int>();
    kept.checks = json.at("checks").get<std::map<std::string, RecordedVerdict>>();
}

namespace {

// Names the file's kind and layout, so that a file that happens to have the record's name is not
// taken for one, nor written over.
constexpr const char* kFormat = "trhost validate record 1";

// The key of a library: its absolute path, so that a run from another folder finds the same record.
std::string Key(const std::string& library_path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(library_path, error);
    return (error ? std::filesystem::path(library_path) : absolute).lexically_normal().generic_string();
}

enum class FileState { kAbsent, kRecord, kForeign };

// Reads the record at `path` into `libraries`; kForeign, with `problem`, for a file that is no record.
FileState Read(const std::string& path, std::map<std::string, LibraryRecord>& libraries, std::string* problem) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return FileState::kAbsent;
    std::ifstream in(path, std::ios::binary);
    try {
        if (!in) throw std::runtime_error("it cannot be opened");
        nlohmann::json document = nlohmann::json::parse(in);
        if (!document.is_object() || document.value("format", "") != kFormat) {
            throw std::runtime_error(std::string("it does not say \"format\": \"") + kFormat + "\"");
        }
        libraries = document.at("libraries").get<std::map<std::string, LibraryRecord>>();
        return FileState::kRecord;
    } catch (const std::exception& e) {
        libraries.clear();
        if (problem) *problem = path + " is not a record of trhost validate (" + e.what() + "): left as it is";
        return FileState::kForeign;
    }
}

}  // namespace

std::optional<LibraryBuild> BuildOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    // FNV-1a: quick, and enough to tell two builds of one library apart (not meant to resist forgery).
    uint64_t hash = 14695981039346656037ull;
    LibraryBuild build;
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        for (std::streamsize i = 0; i < in.gcount(); ++i)
            hash = (hash ^ static_cast<uint8_t>(buffer[i])) * 1099511628211ull;
        build.size += static_cast<uint64_t>(in.gcount());
    }
    if (in.bad()) return std::nullopt;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    build.hash = text;
    return build;
}

RunRecord RunRecord::Load(const std::string& path, std::string* problem) {
    RunRecord record;
    record.m_path = path;
    record.m_writable = Read(path, record.m_libraries, problem) != FileState::kForeign;
    return record;
}

const LibraryRecord* RunRecord::Find(const std::string& library_path) const {
    auto found = m_libraries.find(Key(library_path));
    return found == m_libraries.end() ? nullptr : &found->second;
}

void RunRecord::StartRun(const std::string& library_path, const LibraryBuild& build, uint32_t seed, int level,
                         const std::set<std::string>& to_run) {
    LibraryRecord& kept = m_libraries[Key(library_path)];
    m_new_build = !(kept.build == build);
    if (m_new_build) {
        kept = LibraryRecord{};
        kept.build = build;
    }
    kept.seed = seed;
    kept.level = level;
    m_started = to_run;
    for (const std::string& name : to_run) kept.checks.erase(name);
}

void RunRecord::Add(const std::string& library_path, const CheckResult& result) {
    LibraryRecord& kept = m_libraries[Key(library_path)];
    kept.checks[result.name] = RecordedVerdict{result.verdict, kept.seed, kept.level};
    m_started.insert(result.name);
}

bool RunRecord::Save(const std::string& library_path, std::string* problem) const {
    if (!m_writable) {
        if (problem) *problem = m_path + " is not a record of trhost validate: left as it is";
        return false;
    }
    auto ours = m_libraries.find(Key(library_path));
    if (ours == m_libraries.end()) return true;
    // Another run (of another library, in a test runner's parallel jobs) may have written since.
    std::map<std::string, LibraryRecord> libraries;
    if (Read(m_path, libraries, problem) == FileState::kForeign) return false;
    LibraryRecord& on_file = libraries[ours->first];
    if (m_new_build || !(on_file.build == ours->second.build)) {
        on_file = ours->second;
    } else {
        on_file.seed = ours->second.seed;
        on_file.level = ours->second.level;
        for (const std::string& name : m_started) {
            auto verdict = ours->second.checks.find(name);
            if (verdict == ours->second.checks.end()) {
                on_file.checks.erase(name);
            } else {
                on_file.checks[name] = verdict->second;
            }
        }
    }
    nlohmann::json document = {{"format", kFormat}, {"libraries", libraries}};
    try {
        OutputFiles files;
        std::string temporary = files.Reserve(m_path);
        files.Write(temporary, [&](const std::string& written) {
            std::ofstream out(written, std::ios::binary | std::ios::trunc);
            out << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
            out.close();
            if (!out) throw CommandError(kExitOutput, written + ": cannot be written");
        });
        files.Commit();
    } catch (const CommandError& error) {
        if (problem) *problem = error.what();
        return false;
    }
    return true;
}

}  // namespace trhost::validate
