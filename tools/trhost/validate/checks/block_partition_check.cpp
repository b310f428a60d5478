// Block-partition invariance: the same input streams, every input moving at audio rate, fed to fresh
// instances cut into process calls in different ways (whole blocks of the host's size, single samples,
// odd and random sizes, blocks cut into calls at non-zero offsets, random offsets), with other in-range
// data in the buffers outside each call. Every cut must give the same output stream.
//
// Why exact equality. A module that computes each sample from its state and that sample's inputs does
// the same floating-point operations in the same order however the host cuts the stream, so it gives
// the same bits; the checks of this validator drive it at one rounding mode and never with fused or
// extended precision. A difference means the output depends on the cut: an input read once per block
// (zipper noise), a parameter smoothed across each block, buffers read from their start rather than
// at the call's offset, or a vector path that computes otherwise than its scalar tail. Per-block
// smoothing is not a legitimate design here: audio-rate inputs arrive a sample at a time, so a module
// has every value it could ramp to and no reason to ramp by blocks; its output would change with the
// host's block size, which a user cannot hear coming. Differences of rounding size (at most 1e-6 of
// full scale, 120 dB down) are reported as a warning, not a failure: inaudible, but still not what a
// deterministic module does, and worth a look.
#include "check_steps.h"
#include "checks.h"
#include "stream_run.h"

namespace trhost::validate {

namespace {

constexpr double kRoundingTolerance = 1e-6;
constexpr int32_t kHostBlock = 256;
// Reported differences after which the check stops: the fault is plain by then.
constexpr int kEnoughDifferences = 3;

struct Depth {
    std::vector<float> rates;
    size_t settings;  // at the default level; see SettingsForLevel
    int32_t length;
};

Depth DepthFor(int level) {
    if (level <= kQuickestLevel) return {{44100.0f}, 2, 2048};
    if (level >= kDeepestLevel) return {{44100.0f, 8000.0f, 96000.0f, 192000.0f}, 0, 16384};
    return {{44100.0f, 96000.0f}, 6, 4096};
}

std::string Where(const Partition& partition, int32_t sample) {
    return partition.name + " [" + partition.Locate(sample) + "]";
}

}  // namespace

void CheckBlockPartition(CheckContext& context) {
    Depth depth = DepthFor(context.Level());
    auto probed = ReadPins(context);
    if (!probed) return;
    const std::vector<DrivenPin>& pins = *probed;
    int differences = 0;
    int64_t runs = 0;
    for (float rate : depth.rates) {
        // The default level takes every setting at the first rate and two at each other.
        size_t most = rate == depth.rates.front() ? depth.settings : 2;
        for (const ListSetting& setting : SettingsForLevel(pins, context.Level(), most, context.Rng())) {
            InputStreams streams = MovingStreams(pins, depth.length, context.Rng());
            Scenario scenario{rate, kHostBlock, setting, &streams};
            Partition whole = WholeBlocks(depth.length, kHostBlock);
            uint32_t seed = context.Rng().Between(0, INT32_MAX);
            context.Stage(whole.name + ": " + scenario.Describe());
            RunResult reference = RunAlone(context.Library(), scenario, whole, seed);
            ++runs;
            if (!reference.made) {
                context.Fail("makeModule(0, 1) answered null");
                return;
            }
            for (const auto& fault : reference.faults) context.Fail(fault);
            for (const Partition& partition :
                 OtherPartitions(depth.length, kHostBlock, context.Level(), context.Rng())) {
                context.Stage(partition.name + ": " + scenario.Describe());
                RunResult cut = RunAlone(context.Library(), scenario, partition, context.Rng().Between(0, INT32_MAX));
                ++runs;
                for (const auto& fault : cut.faults) context.Fail(fault);
                Difference difference = FirstDifference(reference.outputs, cut.outputs);
                if (!difference.found) continue;
                context.Stage("the reference once more: " + scenario.Describe());
                if (!Reproducible(context.Library(), scenario, whole, seed, reference)) {
                    context.Skip(kNotReproducible);
                    return;
                }
                std::string text = PinLabel(pins, difference.pin) + ": sample " + std::to_string(difference.sample) +
                                   " is " + SampleText(difference.got) + " with " +
                                   Where(partition, difference.sample) + " but " + SampleText(difference.expected) +
                                   " with " + Where(whole, difference.sample) + " (" + scenario.Describe() +
                                   "); the largest difference is " +
                                   SampleText(static_cast<float>(difference.largest)) + " of full scale";
                if (difference.largest <= kRoundingTolerance) {
                    context.Warn(text + ", rounding size");
                } else {
                    context.Fail(text);
                }
                if (++differences >= kEnoughDifferences) return;
                break;  // one cut that differs is enough for this setting
            }
        }
    }
    context.Info(std::to_string(runs) + " runs of " + std::to_string(depth.length) + " samples compared");
}

}  // namespace trhost::validate
