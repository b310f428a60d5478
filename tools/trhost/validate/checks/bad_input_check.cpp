// Input no module should see but every host can send: NaN, infinities, huge values, denormals and
// zero on each audio input, held or alternating with the default, and then on all inputs at once;
// list values outside the choices. Nothing may crash, hang or write where it must not, neither then
// nor once the input is sane again. Whether the output comes back is the recovery check's question.
#include <cfloat>
#include <climits>
#include <cmath>
#include <set>

#include "check_steps.h"
#include "checks.h"
#include "list_settings.h"
#include "module_session.h"

namespace trhost::validate {

namespace {

constexpr float kRate = 44100.0f;
constexpr int32_t kBadBlocks[] = {64, 333};
// Sane input after the bad: blocks in which a state the bad input left may still misbehave.
constexpr int32_t kRecoveryBlock = 1024;
constexpr int kRecoveryBlocks = 2;

const float kBadValues[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, FLT_TRUE_MIN, -FLT_TRUE_MIN, FLT_MIN / 2, 0.0f};

void RunBadBlocks(CheckContext& context, ModuleSession& session, const std::string& what) {
    for (int32_t count : kBadBlocks) {
        int32_t offset = context.Rng().Between(0, ModuleSession::kBufferLength - count);
        std::string when = what + ", block " + std::to_string(count) + " at offset " + std::to_string(offset);
        context.Stage(when);
        ReportBlock(context, session.Process(offset, count), when, OutputRule::kAnything);
    }
}

// Sane input again: memory faults fail as ever.
void Recover(CheckContext& context, ModuleSession& session, const std::string& what) {
    session.SetDefaults();
    context.Stage("default input after " + what);
    for (int i = 0; i < kRecoveryBlocks; ++i) {
        ReportBlock(context, session.Process(0, kRecoveryBlock), "default input after " + what,
                    OutputRule::kAnything);
    }
}

void RandomListSetting(CheckContext& context, ModuleSession& session, const std::vector<ListSetting>& settings) {
    if (settings.empty()) return;
    session.SetLists(settings[context.Rng().Between(0, static_cast<int32_t>(settings.size()) - 1)]);
}

void BadAudio(CheckContext& context, ModuleSession& session) {
    auto settings = ListSettings(session.Pins());
    for (const auto& pin : session.Pins()) {
        if (!pin.IsAudio() || !pin.IsInput()) continue;
        for (float bad : kBadValues) {
            float sane = static_cast<float>(pin.default_sample);
            for (const InputSignal& signal : {InputSignal::Constant(bad), InputSignal::Alternating(bad, sane)}) {
                session.SetDefaults();
                RandomListSetting(context, session, settings);
                session.SetInput(pin, signal);
                std::string what = pin.Label() + " " + signal.Describe() + " (" + session.DescribeSettings() + ")";
                RunBadBlocks(context, session, what);
                Recover(context, session, pin.Label() + " " + signal.Describe());
            }
        }
    }
    for (float bad : kBadValues) {
        session.SetDefaults();
        for (const auto& pin : session.Pins()) {
            if (pin.IsAudio() && pin.IsInput()) session.SetInput(pin, InputSignal::Constant(bad));
        }
        std::string what = "every input const " + SampleText(bad);
        RunBadBlocks(context, session, what);
        Recover(context, session, what);
    }
}

void BadLists(CheckContext& context, ModuleSession& session) {
    for (const auto& pin : session.Pins()) {
        if (!pin.IsList() || pin.repeated || !pin.description.variable_address) continue;
        std::set<int32_t> choices;
        int32_t lowest = INT32_MAX, highest = INT32_MIN;
        for (const auto& choice : pin.choices) {
            choices.insert(choice.value);
            lowest = std::min(lowest, choice.value);
            highest = std::max(highest, choice.value);
        }
        for (int32_t value : {highest + 1, lowest - 1, highest + 100, -1, 255, 256, 32767, -32768}) {
            if (choices.count(value) || value < INT16_MIN || value > INT16_MAX) continue;
            session.SetDefaults();
            session.SetRandomInRangeInputs();
            session.SetList(pin, value);
            RunBadBlocks(context, session, pin.Label() + " = " + std::to_string(value) + ", none of its choices");
        }
    }
}

}  // namespace

void CheckBadInput(CheckContext& context) {
    ModuleSession session(context.Library(), context.Rng());
    if (!CreateAndOpen(context, session, kRate)) return;
    BadAudio(context, session);
    BadLists(context, session);
    context.Stage("DISP_CLOSE");
    session.Close();
}

}  // namespace trhost::validate
