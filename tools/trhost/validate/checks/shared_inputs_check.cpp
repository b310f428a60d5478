// Inputs that share one buffer. A pin member holds "the sample buffer the host keeps for that pin",
// and an input's buffer is usually the output buffer of the module wired to it: one source wired to
// two inputs (of one module or of several) hands both the same buffer. So a module never writes into
// an input buffer, not even for a while: another of its inputs may be reading the same samples. The
// host never hands an output the buffer of one of the same module's inputs (no in-place processing),
// so an output may be written before every input is read.
//
// Each group of inputs (all of them, and at the deepest level every pair) is fed one stream, within
// the ranges of all its pins where they overlap; one fresh instance gets a buffer per pin holding
// those same samples, another one buffer for the whole group. The outputs must agree bit for bit.
#include <algorithm>

#include "check_steps.h"
#include "checks.h"
#include "stream_run.h"

namespace trhost::validate {

namespace {

constexpr int32_t kHostBlock = 256;

struct Depth {
    size_t settings;  // at the default level; see SettingsForLevel
    int32_t length;
    bool pairs;  // every pair of inputs too, beside all of them at once
};

// All inputs on one buffer already show a module that writes into any input and reads another; the
// pairs, at the deepest level, also catch one whose faults cancel when every input is alike.
Depth DepthFor(int level) {
    if (level <= kQuickestLevel) return {2, 2048, false};
    if (level >= kDeepestLevel) return {0, 8192, true};
    return {4, 4096, false};
}

using Group = std::vector<const DrivenPin*>;

std::vector<Group> Groups(const std::vector<DrivenPin>& pins, bool pairs) {
    Group inputs;
    for (const auto& pin : pins) {
        if (pin.IsInput() && ModuleSession::Movable(pin)) inputs.push_back(&pin);
    }
    std::vector<Group> groups;
    if (inputs.size() < 2) return groups;
    groups.push_back(inputs);
    if (pairs && inputs.size() > 2) {
        for (size_t a = 0; a < inputs.size(); ++a) {
            for (size_t b = a + 1; b < inputs.size(); ++b) groups.push_back({inputs[a], inputs[b]});
        }
    }
    return groups;
}

// "pin 0 (In), pin 1 (Gain)"
std::string Labels(const Group& group) {
    std::string text;
    for (const DrivenPin* pin : group) text += (text.empty() ? "" : ", ") + pin->Label();
    return text;
}

// The group's pins all fed one stream: within the span their ranges share, or the first pin's range
// when they share none.
void FeedOneStream(InputStreams& streams, const Group& group, int32_t length, Random& random) {
    DrivenPin source = *group.front();
    for (const DrivenPin* pin : group) {
        source.low = std::max(source.low, pin->low);
        source.high = std::min(source.high, pin->high);
    }
    if (source.low > source.high) source = *group.front();
    std::vector<float> stream = MovingStreams({source}, length, random).begin()->second;
    for (const DrivenPin* pin : group) streams[pin->index] = stream;
}

// One life of one instance; the group's pins on one buffer from the first call on.
RunResult RunShared(const ModuleLibrary& library, const Scenario& scenario, const Partition& partition, uint32_t seed,
                    const Group& shared) {
    return RunAlone(library, scenario, partition, seed, [&](StreamRun& run) {
        if (run.NextCall() != 0) return;
        for (const DrivenPin* pin : shared) run.Session().ShareBuffer(*pin, *shared.front());
    });
}

}  // namespace

void CheckSharedInputs(CheckContext& context) {
    Depth depth = DepthFor(context.Level());
    auto probed = ReadPins(context);
    if (!probed) return;
    const std::vector<DrivenPin>& pins = *probed;
    std::vector<Group> groups = Groups(pins, depth.pairs);
    if (groups.empty()) {
        context.Skip("fewer than two audio inputs with a module member: no two can share a buffer");
        return;
    }
    Partition whole = WholeBlocks(depth.length, kHostBlock);
    int runs = 0;
    for (const ListSetting& setting : SettingsForLevel(pins, context.Level(), depth.settings, context.Rng())) {
        for (const Group& group : groups) {
            InputStreams streams = MovingStreams(pins, depth.length, context.Rng());
            FeedOneStream(streams, group, depth.length, context.Rng());
            Scenario scenario{44100.0f, kHostBlock, setting, &streams};
            uint32_t seed = context.Rng().Between(0, INT32_MAX);
            std::string what = Labels(group) + " fed the same samples";
            context.Stage(what + ", a buffer each: " + scenario.Describe());
            RunResult separate = RunAlone(context.Library(), scenario, whole, seed);
            if (!separate.made) {
                context.Fail("makeModule(0, 1) answered null");
                return;
            }
            for (const auto& fault : separate.faults) context.Fail(fault);
            context.Stage(what + " from one buffer: " + scenario.Describe());
            RunResult shared = RunShared(context.Library(), scenario, whole, seed, group);
            runs += 2;
            for (const auto& fault : shared.faults) context.Fail(fault + ", " + what + " from one buffer");
            Difference difference = FirstDifference(separate.outputs, shared.outputs);
            if (!difference.found) {
                if (!shared.faults.empty()) return;
                continue;
            }
            context.Stage("the run with a buffer each once more: " + scenario.Describe());
            if (!Reproducible(context.Library(), scenario, whole, seed, separate)) {
                context.Skip(kNotReproducible);
                return;
            }
            context.Fail(PinLabel(pins, difference.pin) + ": sample " + std::to_string(difference.sample) + " is " +
                         SampleText(difference.got) + " with " + Labels(group) + " on one buffer (one source wired "
                         "to them all) but " + SampleText(difference.expected) +
                         " with the same samples in a buffer each (" + scenario.Describe() +
                         "): never write into an input buffer, not even for a while");
            return;
        }
    }
    context.Info(std::to_string(runs) + " runs of " + std::to_string(depth.length) + " samples, " +
                 std::to_string(groups.size()) + (groups.size() == 1 ? " group" : " groups") +
                 " of inputs on one buffer, agree with a buffer each");
}

}  // namespace trhost::validate
