// Audio files as sources of a run: decoded by libsndfile (WAV, FLAC, Ogg), resampled to the run's rate
// by libsamplerate and said so, wired by channel, refused with one line when they cannot be used; and
// the command on a patch fed a file at another rate.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>

#include "audio_source.h"
#include "command_error.h"
#include "exit_codes.h"
#include "rack.h"
#include "wav_file.h"

namespace {

namespace fs = std::filesystem;

class AudioSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("trhost_audio_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A file of `channels` sines (channel c at hertz x (c + 1)), amplitude 0.5, in `format`.
    std::string WriteSine(const std::string& name, int rate, double seconds, double hertz, int channels = 1,
                          int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
        const std::string path = (dir_ / name).string();
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = format;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
        const auto frames = static_cast<sf_count_t>(seconds * rate);
        std::vector<float> samples(static_cast<size_t>(frames * channels));
        for (sf_count_t i = 0; i < frames; ++i) {
            for (int c = 0; c < channels; ++c) {
                samples[i * channels + c] =
                    static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * hertz * (c + 1) * i / rate));
            }
        }
        if (frames > 0) sf_writef_float(file, samples.data(), frames);
        sf_close(file);
        return path;
    }

    std::string WriteBytes(const std::string& name, const std::string& bytes) {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    fs::path dir_;
};

// A MIXER fed by `path`: its channel 1 into In 1 (hard left) and, for `stereo`, channel 2 into In 2
// (hard right). Outputs Mix, Left, Right.
trhost::PatchPlan MixerFedBy(const std::string& path, bool stereo) {
    trhost::PatchPlan plan;
    plan.files.push_back({"src", path});
    trhost::ModulePlan mixer;
    mixer.name = "mix";
    mixer.library = MIXER_LIBRARY_PATH;
    mixer.wires.emplace_back("In 1", trhost::PinRef{"src", "1"});
    mixer.set.emplace_back("Pan 1", "-10");
    if (stereo) {
        mixer.wires.emplace_back("In 2", trhost::PinRef{"src", "2"});
        mixer.set.emplace_back("Pan 2", "10");
    }
    plan.modules.push_back(mixer);
    plan.outputs = {{"mix", "Mix"}, {"mix", "Left"}, {"mix", "Right"}};
    return plan;
}

trhost::RunSettings Settings(double rate, double seconds) {
    trhost::RunSettings run;
    run.rate = rate;
    run.block = 256;
    run.seconds = seconds;
    return run;
}

// Frequency from upward zero crossings, placed between samples by linear interpolation.
double MeasuredHertz(const std::vector<float>& s, double rate, size_t from, size_t to) {
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t t = from; t + 1 < to; ++t) {
        if (s[t] < 0.0f && s[t + 1] >= 0.0f) {
            const double at = t + s[t] / (s[t] - s[t + 1]);
            if (first < 0) first = at;
            last = at;
            ++crossings;
        }
    }
    return (crossings - 1) * rate / (last - first);
}

TEST_F(AudioSourceTest, AFileAtAnotherRateIsResampledToTheRunsRateAndSaysSo) {
    const std::string path = WriteSine("sine48k.wav", 48000, 1.0, 1000.0);
    trhost::Rack rack(MixerFedBy(path, false), Settings(44100, 1.0), trhost::LoadAudioSource);
    ASSERT_EQ(rack.Notes().size(), 1u);
    EXPECT_EQ(rack.Notes()[0], path + ": resampled from 48000 Hz to 44100 Hz");
    const trhost::Rendering rendering = rack.Run();
    EXPECT_EQ(rendering.rate, 44100);
    EXPECT_EQ(rendering.frames, 44100);
    const std::vector<float>& mix = rendering.channels[0];
    EXPECT_NEAR(MeasuredHertz(mix, 44100, 1000, 43000), 1000.0, 0.01);
    float peak = 0;
    for (size_t t = 1000; t < 43000; ++t) peak = std::fmax(peak, std::fabs(mix[t]));
    EXPECT_NEAR(peak, 0.5, 0.005);
}

TEST_F(AudioSourceTest, AFileAtTheRunsRateIsCopiedExactlyAndThenSilent) {
    const std::string path = WriteSine("sine.wav", 44100, 0.5, 440.0);
    trhost::Rack rack(MixerFedBy(path, false), Settings(44100, 0.75), trhost::LoadAudioSource);
    EXPECT_TRUE(rack.Notes().empty());
    const trhost::Rendering rendering = rack.Run();
    const auto file = trhost::ReadWav(path);
    ASSERT_EQ(file.size(), 1u);
    for (size_t t = 0; t < static_cast<size_t>(rendering.frames); ++t) {
        const float expected = t < file[0].size() ? file[0][t] : 0.0f;
        ASSERT_EQ(rendering.channels[0][t], expected) << t;
    }
}

TEST_F(AudioSourceTest, ChannelsAreWiredByNumberAndBecomeOutputChannels) {
    const std::string path = WriteSine("stereo.wav", 44100, 0.2, 300.0, 2);
    trhost::Rack rack(MixerFedBy(path, true), Settings(44100, 0.2), trhost::LoadAudioSource);
    const trhost::Rendering rendering = rack.Run();
    const auto file = trhost::ReadWav(path);
    EXPECT_EQ(rendering.channels[1], file[0]);
    EXPECT_EQ(rendering.channels[2], file[1]);

    // Three outputs make a three-channel WAV file, read back unchanged.
    const std::string out = (dir_ / "out.wav").string();
    trhost::WriteWav(out, rendering);
    int rate = 0;
    EXPECT_EQ(trhost::ReadWav(out, &rate), rendering.channels);
    EXPECT_EQ(rate, 44100);
}

TEST_F(AudioSourceTest, FlacAndOggAreDecoded) {
    const std::string flac = WriteSine("sine.flac", 44100, 0.5, 500.0, 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    const std::string ogg = WriteSine("sine.ogg", 44100, 0.5, 500.0, 1, SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    const trhost::AudioSource from_flac = trhost::LoadAudioSource(flac, 44100);
    const trhost::AudioSource from_ogg = trhost::LoadAudioSource(ogg, 44100);
    ASSERT_EQ(from_flac.channels.size(), 1u);
    ASSERT_EQ(from_ogg.channels.size(), 1u);
    for (size_t t = 0; t < from_flac.channels[0].size(); ++t) {
        ASSERT_NEAR(from_flac.channels[0][t], 0.5 * std::sin(2 * std::numbers::pi * 500.0 * t / 44100), 1.0 / 32768)
            << t;
    }
    EXPECT_NEAR(MeasuredHertz(from_ogg.channels[0], 44100, 2000, 20000), 500.0, 0.05);
}

TEST_F(AudioSourceTest, BadFilesAreRefusedWithOneLine) {
    // A WAV header whose format tag names no codec libsndfile knows.
    std::string unknown_codec(
        "RIFF\x24\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x34\x12\x01\x00\x44\xac\x00\x00"
        "\x88\x58\x01\x00\x02\x00\x10\x00"
        "data\x00\x00\x00\x00",
        44);
    struct Case {
        std::string path;
        std::string says;
    };
    const Case cases[] = {
        {(dir_ / "missing.wav").string(), "no such audio file"},
        {WriteBytes("notes.txt", "these are not samples\n"), "not an audio file that can be read"},
        {WriteSine("empty.wav", 44100, 0.0, 100.0), "holds no samples"},
        {WriteSine("nine.wav", 44100, 0.01, 100.0, 9), "has 9 channels; trhost takes at most 8"},
        {WriteBytes("codec.wav", unknown_codec), "not an audio file that can be read"},
        {dir_.string(), "is a folder, not an audio file"},
    };
    // A run's source and a file to analyze are refused alike.
    for (const Case& c : cases) {
        for (const bool at_own_rate : {false, true}) {
            try {
                if (at_own_rate) {
                    trhost::LoadAudioFile(c.path);
                } else {
                    trhost::LoadAudioSource(c.path, 44100);
                }
                ADD_FAILURE() << c.path << " was accepted";
            } catch (const trhost::CommandError& error) {
                EXPECT_EQ(error.ExitCode(), trhost::kExitSource);
                const std::string what = error.what();
                EXPECT_EQ(what.rfind(c.path + ": " + c.says, 0), 0u) << what;
                EXPECT_EQ(what.find('\n'), std::string::npos) << what;
            }
        }
    }
}

TEST_F(AudioSourceTest, AFileReadAtItsOwnRateKeepsEverySample) {
    const std::string path = WriteSine("stereo48k.wav", 48000, 0.25, 300.0, 2);
    const trhost::AudioSource audio = trhost::LoadAudioFile(path);
    EXPECT_EQ(audio.file_rate, 48000);
    EXPECT_EQ(audio.rate, 48000.0);
    EXPECT_FALSE(audio.resampled);
    EXPECT_EQ(audio.ResampleNote(), "");
    ASSERT_EQ(audio.channels.size(), 2u);
    ASSERT_EQ(audio.channels[1].size(), 12000u);
    for (size_t t = 0; t < audio.channels[1].size(); ++t) {
        ASSERT_EQ(audio.channels[1][t], static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 600.0 * t / 48000)))
            << t;
    }
}

TEST_F(AudioSourceTest, WiresToAbsentChannelsOrSharedNamesAreRefused) {
    const std::string path = WriteSine("mono.wav", 44100, 0.1, 100.0);
    trhost::PatchPlan plan = MixerFedBy(path, true);  // asks for channel 2 of a mono file
    try {
        trhost::Rack rack(plan, Settings(44100, 0.1), trhost::LoadAudioSource);
        ADD_FAILURE() << "channel 2 of a mono file was wired";
    } catch (const trhost::CommandError& error) {
        EXPECT_EQ(error.ExitCode(), trhost::kExitPatch);
        EXPECT_NE(std::string(error.what()).find("\"src\" has channels 1 to 1, not \"2\""), std::string::npos)
            << error.what();
    }
    plan = MixerFedBy(path, false);
    plan.files[0].name = "mix";
    EXPECT_THROW(trhost::Rack(plan, Settings(44100, 0.1), trhost::LoadAudioSource), trhost::CommandError);
    plan = MixerFedBy(path, false);
    EXPECT_THROW(trhost::Rack(plan, Settings(44100, 0.1)), trhost::CommandError) << "no loader in this build";
}

TEST_F(AudioSourceTest, ThePatchCommandRendersAtThePatchRateAndSaysItResampled) {
    const std::string path = WriteSine("voice.wav", 22050, 0.5, 250.0);
    const std::string patch = WriteBytes("fed.json", R"({ "rate": 48000, "seconds": 0.5,
        "files": { "voice": "voice.wav" },
        "modules": [ { "name": "dly", "library": ")" + std::string(DELAY_LIBRARY_PATH) +
                                                         R"(",
                       "set": { "Mix": 0 }, "wire": { "In": "voice.1" } } ],
        "outputs": [ "dly.Out" ] })");
    const std::string out = (dir_ / "fed.wav").string();
    const std::string log = (dir_ / "log.txt").string();
    const std::string command =
        std::string(TRHOST_PROGRAM) + " patch '" + patch + "' --out '" + out + "' 2>'" + log + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ostringstream said;
    said << std::ifstream(log).rdbuf();
    EXPECT_NE(said.str().find("voice.wav: resampled from 22050 Hz to 48000 Hz"), std::string::npos) << said.str();
    int rate = 0;
    const auto channels = trhost::ReadWav(out, &rate);
    EXPECT_EQ(rate, 48000);
    ASSERT_EQ(channels.size(), 1u);
    EXPECT_EQ(channels[0].size(), 24000u);
    EXPECT_NEAR(MeasuredHertz(channels[0], 48000, 1000, 23000), 250.0, 0.01);
}

}  // namespace
