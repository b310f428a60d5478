// Instance isolation: several instances, at the same rate and at others, each with its own settings
// and moving inputs, processed a call at a time in turn. Each must give exactly what it gives alone,
// while another is made, opened, run and closed in the middle of their runs, one opens late, and one
// closes early. State one instance shares with another (a static filter state, a table that the last
// Open rebuilds for its own rate) shows as a difference after the moment that touched it.
#include <memory>

#include "check_steps.h"
#include "checks.h"
#include "stream_run.h"

namespace trhost::validate {

namespace {

constexpr int32_t kHostBlock = 256;
constexpr int32_t kPasserByCalls = 4;

struct Depth {
    std::vector<float> rates;  // one instance each; the last one opens late
    int32_t length;
};

Depth DepthFor(int level) {
    if (level <= kQuickestLevel) return {{44100.0f, 44100.0f, 96000.0f}, 2048};
    if (level >= kDeepestLevel) return {{44100.0f, 44100.0f, 96000.0f, 8000.0f, 192000.0f, 48000.0f}, 16384};
    return {{44100.0f, 44100.0f, 96000.0f, 48000.0f}, 4096};
}

// Something that happened to the others, and where each instance's stream stood then.
struct Moment {
    std::string what;
    std::vector<int32_t> positions;
};

}  // namespace

void CheckIsolation(CheckContext& context) {
    Depth depth = DepthFor(context.Level());
    auto probed = ReadPins(context);
    if (!probed) return;
    const std::vector<DrivenPin>& pins = *probed;
    std::vector<ListSetting> settings = ListSettings(pins);
    auto any_setting = [&] { return settings[context.Rng().Between(0, static_cast<int32_t>(settings.size()) - 1)]; };

    size_t count = depth.rates.size();
    std::vector<InputStreams> streams(count + 1);
    std::vector<Scenario> scenarios(count + 1);
    std::vector<uint32_t> seeds(count + 1);
    for (size_t i = 0; i <= count; ++i) {
        streams[i] = MovingStreams(pins, depth.length, context.Rng());
        // The last scenario is the passer-by's, at a rate none of the others has.
        scenarios[i] = {i < count ? depth.rates[i] : 22050.0f, kHostBlock, any_setting(), &streams[i]};
        seeds[i] = context.Rng().Between(0, INT32_MAX);
    }
    Partition whole = WholeBlocks(depth.length, kHostBlock);
    auto label = [&](size_t i) { return "instance " + std::to_string(i + 1) + " (" + scenarios[i].Describe() + ")"; };

    std::vector<RunResult> alone(count);
    for (size_t i = 0; i < count; ++i) {
        context.Stage(label(i) + " alone");
        alone[i] = RunAlone(context.Library(), scenarios[i], whole, seeds[i]);
        if (!alone[i].made) {
            context.Fail("makeModule(0, 1) answered null");
            return;
        }
        for (const auto& fault : alone[i].faults) context.Fail(fault);
    }

    // Together: all but the last start at once; calls go round in turn. A quarter in, a passer-by
    // lives a short life; half way, the last one starts; three quarters in, the second one closes.
    std::vector<std::unique_ptr<StreamRun>> runs;
    std::vector<bool> live(count, false);
    std::vector<Moment> moments;
    auto note = [&](const std::string& what) {
        Moment moment{what, {}};
        for (const auto& run : runs) moment.positions.push_back(run->Position());
        moments.push_back(moment);
    };
    for (size_t i = 0; i < count; ++i)
        runs.push_back(std::make_unique<StreamRun>(context.Library(), scenarios[i], whole, seeds[i]));
    for (size_t i = 0; i + 1 < count; ++i) {
        context.Stage("starting " + label(i) + " beside the others");
        live[i] = runs[i]->Start();
        note(label(i) + " opened");
    }
    bool passed_by = false, late_started = false, early_closed = false;
    const int32_t length = depth.length;
    while (!runs[0]->Done()) {
        int32_t at = runs[0]->Position();
        if (!passed_by && at >= length / 4) {
            passed_by = true;
            context.Stage(label(count) + " made, opened, run and closed among the others");
            StreamRun passer(context.Library(), scenarios[count], whole, seeds[count]);
            if (passer.Start()) {
                note(label(count) + " opened");
                for (int32_t n = 0; n < kPasserByCalls && !passer.Done(); ++n) passer.Step();
                passer.Close();
                note(label(count) + " closed");
            }
        }
        if (!late_started && at >= length / 2) {
            late_started = true;
            context.Stage("starting " + label(count - 1) + " late");
            live[count - 1] = runs[count - 1]->Start();
            note(label(count - 1) + " opened");
        }
        if (!early_closed && at >= 3 * length / 4) {
            early_closed = true;
            context.Stage("closing " + label(1) + " early");
            runs[1]->Close();
            live[1] = false;
            note(label(1) + " closed");
        }
        for (size_t i = 0; i < count; ++i) {
            if (!live[i] || runs[i]->Done()) continue;
            context.Stage(label(i) + " beside the others, sample " + std::to_string(runs[i]->Position()));
            runs[i]->Step();
        }
    }
    // The late one finishes alone.
    for (size_t i = 0; i < count; ++i) {
        while (live[i] && !runs[i]->Done()) runs[i]->Step();
    }
    for (size_t i = 0; i < count; ++i) {
        if (live[i]) {
            context.Stage("closing " + label(i));
            runs[i]->Close();
        }
        for (const auto& fault : runs[i]->Faults()) context.Fail(fault);
    }

    for (size_t i = 0; i < count; ++i) {
        Difference difference = FirstDifference(alone[i].outputs, runs[i]->Outputs(), runs[i]->Position());
        if (!difference.found) continue;
        context.Stage(label(i) + " alone once more");
        if (!Reproducible(context.Library(), scenarios[i], whole, seeds[i], alone[i])) {
            context.Skip(kNotReproducible);
            return;
        }
        std::string cause = "from the start";
        for (const Moment& moment : moments) {
            if (i < moment.positions.size() && moment.positions[i] <= difference.sample && moment.positions[i] > 0) {
                cause = "after " + moment.what + " at its sample " + std::to_string(moment.positions[i]);
            }
        }
        context.Fail(label(i) + ": " + PinLabel(pins, difference.pin) + " sample " + std::to_string(difference.sample) +
                     " is " + SampleText(difference.got) + " beside the others but " + SampleText(difference.expected) +
                     " alone, " + cause);
    }
    context.Info(std::to_string(count) + " instances of " + std::to_string(length) +
                 " samples each, and one passer-by");
}

}  // namespace trhost::validate
