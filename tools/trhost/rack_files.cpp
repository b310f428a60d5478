// The rack's audio-file sources: decoded before the run, each channel wired like a module's output
// ("chord.1" is the first channel of the file named "chord"), and fed one block at a time.
#include <algorithm>
#include <optional>

#include "command_error.h"
#include "exit_codes.h"
#include "pin_text.h"
#include "rack.h"

namespace trhost {

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

void Rack::LoadFiles(const PatchPlan& plan, const AudioSourceLoader& sources) {
    if (plan.files.empty()) return;
    if (!sources) {
        throw CommandError(kExitPatch, plan.origin + "audio files need libsndfile, which this build lacks");
    }
    for (const FilePlan& file : plan.files) {
        const std::string where = plan.origin + "file " + Quoted(file.name) + ": ";
        if (file.name.empty() || file.name.find('.') != std::string::npos) {
            throw CommandError(kExitPatch, where + "the name must be non-empty and hold no '.'");
        }
        if (FindInstance(file.name) != kNone || FindFile(file.name) != kNone) {
            throw CommandError(kExitPatch, plan.origin + "two sources are named " + Quoted(file.name));
        }
        FileFeed feed;
        feed.name = file.name;
        feed.source = sources(file.path, m_run.rate);
        feed.blocks.assign(feed.source.channels.size(), std::vector<float>(static_cast<size_t>(m_run.block)));
        if (feed.source.resampled) m_notes.push_back(feed.source.ResampleNote());
        m_files.push_back(std::move(feed));
    }
}

size_t Rack::FindFile(const std::string& name) const {
    for (size_t i = 0; i < m_files.size(); ++i) {
        if (m_files[i].name == name) return i;
    }
    return kNone;
}

Rack::Source Rack::FileChannel(const PinRef& ref, const std::string& refuse_prefix) const {
    const size_t file = FindFile(ref.module);
    const size_t channels = m_files[file].source.channels.size();
    const std::optional<int32_t> number = ParseListValue(ref.pin);
    if (!number || *number < 1 || static_cast<size_t>(*number) > channels) {
        throw CommandError(kExitPatch, refuse_prefix + Quoted(ref.module) + " has channels 1 to " +
                                           std::to_string(channels) + ", not " + Quoted(ref.pin));
    }
    Source source;
    source.file = file;
    source.pin = *number - 1;
    return source;
}

void Rack::FeedFiles(int64_t done, int32_t count) {
    for (FileFeed& feed : m_files) {
        for (size_t c = 0; c < feed.blocks.size(); ++c) {
            const std::vector<float>& samples = feed.source.channels[c];
            std::vector<float>& block = feed.blocks[c];
            const auto available = static_cast<int64_t>(samples.size()) - done;
            const auto copied = static_cast<int32_t>(std::clamp<int64_t>(available, 0, count));
            if (copied > 0) std::copy_n(samples.begin() + done, copied, block.begin());
            std::fill(block.begin() + copied, block.begin() + count, 0.0f);
        }
    }
}

std::string Rack::FileSummary(const FileFeed& feed) {
    const AudioSource& source = feed.source;
    const size_t channels = source.channels.size();
    std::string line = feed.name + ": " + source.path + ", " + std::to_string(channels) +
                       (channels == 1 ? " channel" : " channels") + " at " + std::to_string(source.file_rate) + " Hz";
    if (source.resampled) line += ", resampled to " + std::to_string(static_cast<int64_t>(source.rate)) + " Hz";
    return line;
}

}  // namespace trhost
