#include "wav_file.h"

#include <sndfile.h>

#include "command_error.h"
#include "exit_codes.h"

namespace trhost {

void WriteWav(const std::string& path, const Rendering& rendering) {
    size_t channels = rendering.channels.size();
    SF_INFO format{};
    format.samplerate = static_cast<int>(rendering.rate);
    format.channels = static_cast<int>(channels);
    format.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &format);
    if (!file) throw CommandError(kExitOutput, path + ": cannot be written: " + sf_strerror(nullptr));
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);

    // Interleaved, one block of frames at a time.
    constexpr int64_t kFramesPerWrite = 4096;
    std::vector<float> frames;
    bool ok = true;
    for (int64_t start = 0; ok && start < rendering.frames; start += kFramesPerWrite) {
        int64_t count = std::min(kFramesPerWrite, rendering.frames - start);
        frames.resize(static_cast<size_t>(count) * channels);
        for (int64_t i = 0; i < count; ++i) {
            for (size_t c = 0; c < channels; ++c) {
                frames[static_cast<size_t>(i) * channels + c] = rendering.channels[c][start + i];
            }
        }
        ok = sf_writef_float(file, frames.data(), count) == count;
    }
    std::string reason = ok ? "" : sf_strerror(file);
    if (sf_close(file) != 0 && ok) {
        ok = false;
        reason = "closing failed";
    }
    if (!ok) throw CommandError(kExitOutput, path + ": cannot be written: " + reason);
}

std::vector<std::vector<float>> ReadWav(const std::string& path, int* rate) {
    SF_INFO format{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &format);
    if (!file) return {};
    std::vector<float> frames(static_cast<size_t>(format.frames) * format.channels);
    sf_count_t read = sf_readf_float(file, frames.data(), format.frames);
    sf_close(file);
    std::vector<std::vector<float>> channels(format.channels);
    for (int c = 0; c < format.channels; ++c) {
        for (sf_count_t i = 0; i < read; ++i) channels[c].push_back(frames[i * format.channels + c]);
    }
    if (rate) *rate = format.samplerate;
    return channels;
}

}  // namespace trhost
