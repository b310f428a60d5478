#include "audio_source.h"

#include <samplerate.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>

#include "command_error.h"
#include "exit_codes.h"

namespace trhost {

namespace {

// The longest file trhost decodes: as many frames as a run may keep, at the file's own rate.
constexpr int64_t kMaxFileFrames = int64_t{1} << 25;

[[noreturn]] void Refuse(const std::string& path, const std::string& what) {
    throw CommandError(kExitSource, path + ": " + what);
}

struct FileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

std::vector<float> Decode(const std::string& path, SNDFILE* file, const SF_INFO& info) {
    std::vector<float> frames(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
    const sf_count_t read = sf_readf_float(file, frames.data(), info.frames);
    if (read != info.frames || sf_error(file) != SF_ERR_NO_ERROR) {
        Refuse(path, std::string("cannot be decoded: ") + sf_strerror(file));
    }
    return frames;
}

// Interleaved frames at the file's rate to the run's, with libsamplerate's best sinc converter.
std::vector<float> Resample(const std::string& path, const std::vector<float>& frames, int channels, double ratio) {
    const auto in_frames = static_cast<long>(frames.size() / static_cast<size_t>(channels));
    const auto out_frames = static_cast<long>(std::ceil(in_frames * ratio)) + 1;
    std::vector<float> out(static_cast<size_t>(out_frames) * static_cast<size_t>(channels));
    SRC_DATA data{};
    data.data_in = frames.data();
    data.input_frames = in_frames;
    data.data_out = out.data();
    data.output_frames = out_frames;
    data.src_ratio = ratio;
    data.end_of_input = 1;
    if (int error = src_simple(&data, SRC_SINC_BEST_QUALITY, channels)) {
        Refuse(path, std::string("cannot be resampled: ") + src_strerror(error));
    }
    out.resize(static_cast<size_t>(data.output_frames_gen) * static_cast<size_t>(channels));
    return out;
}

// Decodes the file at `path`, resampled to `rate` hertz when that is given and not the file's own.
AudioSource Load(const std::string& path, std::optional<double> rate) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) Refuse(path, "no such audio file");
    if (std::filesystem::is_directory(path, error)) Refuse(path, "is a folder, not an audio file");

    SF_INFO info{};
    std::unique_ptr<SNDFILE, FileCloser> file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file) Refuse(path, std::string("not an audio file that can be read: ") + sf_strerror(nullptr));
    if (info.channels < 1 || info.samplerate < 1) Refuse(path, "not an audio file that can be read");
    if (info.channels > AudioSource::kMaxChannels) {
        Refuse(path, "has " + std::to_string(info.channels) + " channels; trhost takes at most " +
                         std::to_string(AudioSource::kMaxChannels));
    }
    if (info.frames <= 0) Refuse(path, "holds no samples");
    if (info.frames > kMaxFileFrames) {
        Refuse(path, "is longer than the " + std::to_string(kMaxFileFrames) + " samples trhost keeps");
    }
    // Integer formats read as floats in [-1, 1): full scale is 10 V, as it is for the modules.
    sf_command(file.get(), SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    std::vector<float> frames = Decode(path, file.get(), info);

    AudioSource source;
    source.path = path;
    source.file_rate = info.samplerate;
    source.rate = rate.value_or(info.samplerate);
    source.resampled = static_cast<double>(info.samplerate) != source.rate;
    if (source.resampled) frames = Resample(path, frames, info.channels, source.rate / info.samplerate);

    const size_t channels = static_cast<size_t>(info.channels);
    const size_t length = frames.size() / channels;
    source.channels.assign(channels, std::vector<float>(length));
    for (size_t i = 0; i < length; ++i) {
        for (size_t c = 0; c < channels; ++c) source.channels[c][i] = frames[i * channels + c];
    }
    return source;
}

}  // namespace

AudioSource LoadAudioSource(const std::string& path, double rate) { return Load(path, rate); }

AudioSource LoadAudioFile(const std::string& path) { return Load(path, std::nullopt); }

}  // namespace trhost
