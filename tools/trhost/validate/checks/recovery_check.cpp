// Recovery: after a non-finite or huge input ends, the output must be finite again within
// kLongestHold. A NaN, an infinity or a huge value reaches a module in the field whenever something
// upstream misbehaves for a moment; the patch must come back by itself once the input is sane, or
// the instance stays dead until the user opens it again.
//
// The bound. A module may hold a non-finite sample as long as it holds any sample: a delay line
// gives back what it took in one delay later, so a NaN that went in comes out once, at most that long
// after the input ended. It may not hold it longer: a value that is no number never decays, so a
// module with feedback, or any recursive state, that lets one in keeps it for good, however small
// its feedback; the sound behaviour is to keep such values out of the state (store silence, or
// start the state afresh). So the bound does not depend on the settings a module states but on the
// longest memory a module of this host is expected to have: 10 s, the greatest delay of DELAY, the
// delay among the companion modules. A module that remembers longer clears non-finite values from
// its memory itself. Finite but huge output is allowed: a huge input leaves huge echoes that decay.
//
// Each audio input in turn, and then all of them at once, gets each bad value for one sample and
// held for 0.1 s, the other inputs at their defaults; then every input is at its default for
// kLongestHold and kWatch more. A non-finite sample in the watch is a failure. One instance per list
// setting goes through every case, as an instance in a patch lives through one fault after another.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>

#include "check_steps.h"
#include "checks.h"
#include "module_session.h"
#include "stream_run.h"

namespace trhost::validate {

namespace {

constexpr float kRate = 44100.0f;
constexpr double kLongestHoldSeconds = 10.0;
// How long after the bound the output is watched: longer than any block a host runs at once.
constexpr double kWatchSeconds = 1.0;
constexpr double kHeldBadSeconds = 0.1;
constexpr int32_t kBlock = 4096;

struct Depth {
    std::vector<float> bad_values;
    size_t settings;
};

Depth DepthFor(int level) {
    if (level <= kQuickestLevel) return {{NAN, 1e30f}, 1};
    if (level >= kDeepestLevel) return {{NAN, INFINITY, -INFINITY, 1e30f, -1e30f, FLT_MAX}, 0};
    return {{NAN, INFINITY, 1e30f, -1e30f}, 2};
}

int32_t Samples(double seconds) { return static_cast<int32_t>(std::ceil(seconds * kRate)); }

std::string Seconds(int32_t samples) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", samples / static_cast<double>(kRate));
    return text;
}

// Where the first and last non-finite output samples of one case fell, counted from the end of the
// bad input; -1 for none.
struct Span {
    int32_t first = -1;
    int32_t last = -1;
    void Add(int32_t at) {
        if (first < 0) first = at;
        last = at;
    }
};

// Feeds `bad` to the pins chosen: one sample of it, or kHeldBadSeconds of it, in blocks checked for
// memory faults. Answers false when a memory fault was reported.
bool FeedBad(CheckContext& context, ModuleSession& session, const std::vector<const DrivenPin*>& targets, float bad,
             bool held, const std::string& what) {
    int32_t left = held ? Samples(kHeldBadSeconds) : 1;
    while (left > 0) {
        int32_t count = std::min(left, kBlock);
        for (const DrivenPin* pin : targets) session.SetInput(*pin, InputSignal::Constant(bad));
        if (!ReportBlock(context, session.Process(0, count), what, OutputRule::kAnything)) return false;
        left -= count;
    }
    return true;
}

// The defaults again for the bound and the watch; the non-finite output samples it saw.
Span Recover(CheckContext& context, ModuleSession& session, const std::vector<DrivenPin>& outputs, bool* clean,
             const std::string& what) {
    Span span;
    session.SetDefaults();
    const int32_t total = Samples(kLongestHoldSeconds + kWatchSeconds);
    bool fed = false;
    for (int32_t done = 0; done < total; done += kBlock) {
        int32_t count = std::min(kBlock, total - done);
        if (!fed || count != kBlock) {
            *clean = ReportBlock(context, session.Process(0, count), what, OutputRule::kAnything) && *clean;
            fed = count == kBlock;
        } else {
            session.ProcessBare(0, count);
        }
        for (const auto& pin : outputs) {
            const float* out = session.Buffer(pin);
            for (int32_t i = 0; i < count; ++i) {
                if (!std::isfinite(out[i])) span.Add(done + i);
            }
        }
    }
    return span;
}

}  // namespace

void CheckRecovery(CheckContext& context) {
    Depth depth = DepthFor(context.Level());
    ModuleSession session(context.Library(), context.Rng(), kBlock);
    if (!CreateAndOpen(context, session, kRate)) return;
    std::vector<DrivenPin> outputs;
    std::vector<std::vector<const DrivenPin*>> targets;  // each audio input alone, then all at once
    std::vector<const DrivenPin*> every_input;
    for (const auto& pin : session.Pins()) {
        if (pin.IsAudio() && pin.IsOutput()) outputs.push_back(pin);
        if (pin.IsAudio() && pin.IsInput()) {
            targets.push_back({&pin});
            every_input.push_back(&pin);
        }
    }
    if (every_input.size() > 1) targets.push_back(every_input);
    if (outputs.empty() || targets.empty()) {
        context.Skip("no audio input or no audio output");
        return;
    }
    std::vector<ListSetting> settings = SettingsForLevel(session.Pins(), context.Level(), depth.settings, context.Rng());
    if (context.Level() <= kQuickestLevel) settings.resize(1);
    const int32_t watch_from = Samples(kLongestHoldSeconds);
    int32_t slowest = -1;
    std::string slowest_case;
    int cases = 0;
    for (const ListSetting& setting : settings) {
        for (const auto& pins : targets) {
            for (float bad : depth.bad_values) {
                for (bool held : {false, true}) {
                    session.SetDefaults();
                    session.SetLists(setting);
                    std::string what = (pins.size() == 1 ? pins.front()->Label() : std::string("every input")) +
                                       " " + SampleText(bad) +
                                       (held ? " for " + Seconds(Samples(kHeldBadSeconds)) : " for one sample") +
                                       " (" + session.DescribeSettings() + ")";
                    context.Stage(what);
                    if (!FeedBad(context, session, pins, bad, held, what)) return;
                    context.Stage("default input after " + what);
                    bool clean = true;
                    Span span = Recover(context, session, outputs, &clean, "default input after " + what);
                    ++cases;
                    if (!clean) return;
                    if (span.last >= watch_from) {
                        context.Fail("output not finite " + Seconds(span.last) + " after " + what +
                                     " ended (non-finite from " + Seconds(span.first) +
                                     "): a module may hold a non-finite value only as long as a delay holds a "
                                     "sound, at most " +
                                     Seconds(watch_from) + "; keep values that are no number out of its state");
                        return;
                    }
                    if (span.last > slowest) slowest = span.last, slowest_case = what;
                }
            }
        }
    }
    context.Stage("DISP_CLOSE");
    session.Close();
    if (slowest < 0) {
        context.Info(std::to_string(cases) + " bad inputs: the output was finite from the first sample after each");
    } else {
        context.Info(std::to_string(cases) + " bad inputs: finite again within " + Seconds(slowest + 1) +
                     " at most (after " + slowest_case + "); the bound is " + Seconds(watch_from));
    }
}

}  // namespace trhost::validate
