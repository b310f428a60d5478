// Buffers that move. A pin member holds "the sample buffer the host keeps for that pin", and the
// host may keep another one from one block to the next: it writes new addresses into the members
// between any two process calls, for example after DISP_SET_BLOCK_SIZE, when it reallocates its
// buffers for the new size. So a module reads its pin members anew on every process call and keeps
// no buffer address across calls.
//
// The same moving input streams go through two fresh instances with the same calls: one keeps the
// buffers it was wired with at Open; the other is handed a fresh buffer for every movable pin before
// every call, with the block size changed halfway (DISP_SET_BLOCK_SIZE, then new buffers, then calls
// of the new size, some cut at non-zero offsets). The buffers lent before stay full of canaries, so a
// module that reads a kept address reads NaN and one that writes through it is caught in the act.
// The outputs must agree bit for bit: moving a buffer changes nothing a module should compute.
#include "check_steps.h"
#include "checks.h"
#include "stream_run.h"

namespace trhost::validate {

namespace {

// The block size at Open, and the one the host changes to halfway.
constexpr int32_t kOpenBlock = 1024;
constexpr int32_t kLaterBlock = 256;

struct Depth {
    std::vector<float> rates;
    size_t settings;  // at the default level; see SettingsForLevel
    int32_t length;
};

Depth DepthFor(int level) {
    if (level <= kQuickestLevel) return {{44100.0f}, 2, 4096};
    if (level >= kDeepestLevel) return {{44100.0f, 96000.0f}, 0, 16384};
    return {{44100.0f}, 4, 8192};
}

// The first half in whole blocks of kOpenBlock; the rest in blocks of kLaterBlock, every other one
// cut in two at a random point, so that calls also start at non-zero offsets.
struct Plan {
    Partition partition;
    size_t switch_call = 0;  // DISP_SET_BLOCK_SIZE kLaterBlock comes before this call
};

Plan MakePlan(int32_t length, Random& random) {
    Plan plan;
    plan.partition.name = "blocks of " + std::to_string(kOpenBlock) + ", then of " + std::to_string(kLaterBlock);
    int32_t position = 0;
    for (; position + kOpenBlock <= length / 2; position += kOpenBlock) plan.partition.calls.push_back({0, kOpenBlock});
    plan.switch_call = plan.partition.calls.size();
    for (int block = 0; position < length; ++block) {
        int32_t count = std::min(kLaterBlock, length - position);
        if (block % 2 == 1 && count > 1) {
            int32_t cut = random.Between(1, count - 1);
            plan.partition.calls.push_back({0, cut});
            plan.partition.calls.push_back({cut, count - cut});
        } else {
            plan.partition.calls.push_back({0, count});
        }
        position += count;
    }
    return plan;
}

// One life of one instance through the plan; with `move`, fresh buffers before every call.
RunResult RunPlan(const ModuleLibrary& library, const Scenario& scenario, const Plan& plan, uint32_t seed, bool move) {
    return RunAlone(library, scenario, plan.partition, seed, [&](StreamRun& run) {
        if (run.NextCall() == plan.switch_call) run.Session().SetBlockSize(kLaterBlock);
        if (move) run.Session().MoveBuffers();
    });
}

}  // namespace

void CheckMovingBuffers(CheckContext& context) {
    Depth depth = DepthFor(context.Level());
    auto probed = ReadPins(context);
    if (!probed) return;
    const std::vector<DrivenPin>& pins = *probed;
    bool any_movable = false;
    for (const auto& pin : pins) any_movable = any_movable || ModuleSession::Movable(pin);
    if (!any_movable) {
        context.Skip("no audio pin has a module member, so the host cannot move any buffer");
        return;
    }
    int runs = 0;
    for (float rate : depth.rates) {
        for (const ListSetting& setting : SettingsForLevel(pins, context.Level(), depth.settings, context.Rng())) {
            InputStreams streams = MovingStreams(pins, depth.length, context.Rng());
            Scenario scenario{rate, kOpenBlock, setting, &streams};
            Plan plan = MakePlan(depth.length, context.Rng());
            uint32_t seed = context.Rng().Between(0, INT32_MAX);
            context.Stage("buffers kept: " + scenario.Describe());
            RunResult kept = RunPlan(context.Library(), scenario, plan, seed, false);
            if (!kept.made) {
                context.Fail("makeModule(0, 1) answered null");
                return;
            }
            for (const auto& fault : kept.faults) context.Fail(fault);
            context.Stage("buffers moved before every call: " + scenario.Describe());
            RunResult moved = RunPlan(context.Library(), scenario, plan, seed, true);
            runs += 2;
            for (const auto& fault : moved.faults) context.Fail(fault + ", buffers moved before every call");
            Difference difference = FirstDifference(kept.outputs, moved.outputs);
            if (!difference.found) {
                if (!moved.faults.empty()) return;
                continue;
            }
            context.Stage("the run with kept buffers once more: " + scenario.Describe());
            RunResult again = RunPlan(context.Library(), scenario, plan, seed, false);
            if (FirstDifference(kept.outputs, again.outputs).found) {
                context.Skip(kNotReproducible);
                return;
            }
            context.Fail(PinLabel(pins, difference.pin) + ": sample " + std::to_string(difference.sample) + " (" +
                         plan.partition.Locate(difference.sample) + ") is " + SampleText(difference.got) +
                         " when the host moves the buffers before every call but " +
                         SampleText(difference.expected) + " when it keeps them (" + scenario.Describe() +
                         "): read the pin members anew on every process call");
            return;
        }
    }
    context.Info(std::to_string(runs) + " runs of " + std::to_string(depth.length) +
                 " samples, block size changed halfway, agree with buffers kept and moved");
}

}  // namespace trhost::validate
