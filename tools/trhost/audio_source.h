// Audio files as sources of a run: WAV, FLAC, Ogg and whatever else libsndfile reads, decoded whole
// into memory before the run starts and, when the file's rate is not the run's, resampled to it. Each
// channel then feeds wired inputs like a module's output: sample k of the run is sample k of the file
// (1.0 = 10 V, full scale), and silence after the file ends.
#ifndef TRHOST_AUDIO_SOURCE_H
#define TRHOST_AUDIO_SOURCE_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace trhost {

struct AudioSource {
    // More channels than any recipe uses; a file with more is refused rather than half wired.
    static constexpr int kMaxChannels = 8;

    std::string path;
    int file_rate = 0;       // hertz, as the file says
    double rate = 0;         // hertz, the run's: the channels are at this rate
    bool resampled = false;  // the file's rate was not the run's
    std::vector<std::vector<float>> channels;

    // "PATH: resampled from 48000 Hz to 44100 Hz", or "" when it was not.
    std::string ResampleNote() const {
        if (!resampled) return "";
        return path + ": resampled from " + std::to_string(file_rate) + " Hz to " +
               std::to_string(static_cast<int64_t>(rate)) + " Hz";
    }
};

// Decodes the file at `path` for a run at `rate` hertz. Throws CommandError (source stage) with one line
// naming the file: missing, not audio, an encoding libsndfile cannot decode, no samples, too many
// channels, or resampling failed.
AudioSource LoadAudioSource(const std::string& path, double rate);

// Decodes the file at `path` at its own rate, never resampled; refuses files as LoadAudioSource does.
AudioSource LoadAudioFile(const std::string& path);

// How a rack gets its audio sources: LoadAudioSource where libsndfile is built in.
using AudioSourceLoader = std::function<AudioSource(const std::string& path, double rate)>;

}  // namespace trhost

#endif  // TRHOST_AUDIO_SOURCE_H
