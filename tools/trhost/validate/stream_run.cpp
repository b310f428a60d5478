#include "stream_run.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "check_steps.h"

namespace trhost::validate {

namespace {

constexpr size_t kKeptFaults = 3;

}  // namespace

std::string Scenario::Describe() const {
    std::string text = std::to_string(static_cast<int>(rate)) + " Hz";
    for (const auto& [pin, value] : lists) {
        text += ", " + (pin->description.name.empty() ? "pin " + std::to_string(pin->index) : pin->description.name) +
                "=" + pin->ChoiceName(value);
    }
    return text;
}

int32_t Scenario::Length() const {
    return inputs && !inputs->empty() ? static_cast<int32_t>(inputs->begin()->second.size()) : 0;
}

StreamRun::StreamRun(const ModuleLibrary& library, const Scenario& scenario, const Partition& partition, uint32_t seed)
    : m_scenario(scenario), m_partition(partition), m_random(seed), m_session(library, m_random, scenario.block_size) {}

bool StreamRun::Start() {
    if (!m_session.Create()) return false;
    m_session.SetLists(m_scenario.lists);
    m_session.SetInputDecoys(true);
    m_session.Open(m_scenario.rate, m_scenario.block_size);
    for (const auto& pin : m_session.Pins()) {
        if (pin.IsAudio() && pin.IsInput()) m_session.SendPinStatus(pin, PIN_STATE_RUNNING);
        if (pin.IsAudio() && pin.IsOutput())
            m_outputs[pin.index].assign(static_cast<size_t>(m_scenario.Length()), 0.0f);
    }
    return true;
}

void StreamRun::Step() {
    const ProcessCall& call = m_partition.calls[m_next_call++];
    for (const auto& [index, samples] : *m_scenario.inputs) {
        for (const auto& pin : m_session.Pins()) {
            if (pin.index == index) m_session.SetInput(pin, InputSignal::Stream(samples.data() + m_position));
        }
    }
    BlockFindings findings = m_session.Process(call.offset, call.count);
    if (!findings.outside_writes.empty() || !findings.changed_inputs.empty() || !findings.stale_writes.empty()) {
        BlockJudgement judged =
            JudgeBlock(findings, m_partition.name + ", " + m_partition.Locate(m_position), OutputRule::kAnything);
        for (auto& line : judged.failures) {
            if (m_faults.size() < kKeptFaults) m_faults.push_back(std::move(line));
        }
    }
    for (auto& [index, samples] : m_outputs) {
        for (const auto& pin : m_session.Pins()) {
            if (pin.index != index) continue;
            const float* made = m_session.Buffer(pin) + call.offset;
            std::copy(made, made + call.count, samples.begin() + m_position);
        }
    }
    m_position += call.count;
}

void StreamRun::Close() { m_session.Close(); }

RunResult RunAlone(const ModuleLibrary& library, const Scenario& scenario, const Partition& partition, uint32_t seed,
                   const BeforeCall& before_call) {
    RunResult result;
    StreamRun run(library, scenario, partition, seed);
    result.made = run.Start();
    if (!result.made) return result;
    while (!run.Done()) {
        if (before_call) before_call(run);
        run.Step();
    }
    run.Close();
    result.outputs = run.Outputs();
    result.faults = run.Faults();
    return result;
}

Difference FirstDifference(const OutputStreams& expected, const OutputStreams& got, int32_t length) {
    Difference difference;
    for (const auto& [pin, wanted] : expected) {
        auto found = got.find(pin);
        if (found == got.end()) continue;
        const std::vector<float>& made = found->second;
        size_t end = std::min(wanted.size(), made.size());
        if (length >= 0) end = std::min(end, static_cast<size_t>(length));
        for (size_t i = 0; i < end; ++i) {
            float a = wanted[i], b = made[i];
            if (std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b))) continue;
            double relative = INFINITY;  // a number against no number, or against an infinity
            if (std::isfinite(a) && std::isfinite(b)) {
                double scale = std::max({1.0, std::fabs(static_cast<double>(a)), std::fabs(static_cast<double>(b))});
                relative = std::fabs(static_cast<double>(a) - b) / scale;
            }
            difference.largest = std::max(difference.largest, relative);
            if (!difference.found) {
                difference.found = true;
                difference.pin = pin;
                difference.sample = static_cast<int32_t>(i);
                difference.expected = a;
                difference.got = b;
            }
        }
    }
    return difference;
}

const char* const kNotReproducible =
    "the same instance run twice alike gives different output, so comparisons between runs say nothing here "
    "(see the determinism check)";

bool Reproducible(const ModuleLibrary& library, const Scenario& scenario, const Partition& partition, uint32_t seed,
                  const RunResult& reference) {
    RunResult again = RunAlone(library, scenario, partition, seed);
    return again.made && !FirstDifference(reference.outputs, again.outputs).found;
}

std::optional<std::vector<DrivenPin>> ProbePins(const ModuleLibrary& library, Random& random) {
    ModuleSession session(library, random, 1);
    if (!session.Create()) return std::nullopt;
    std::vector<DrivenPin> pins = session.Pins();
    session.Close();
    return pins;
}

std::vector<ListSetting> SettingsForLevel(const std::vector<DrivenPin>& pins, int level, size_t most, Random& random) {
    std::vector<ListSetting> settings = ListSettings(pins);
    size_t keep = level <= kQuickestLevel ? 2 : level >= kDeepestLevel ? settings.size() : most;
    while (settings.size() > keep)
        settings.erase(settings.begin() + random.Between(0, static_cast<int32_t>(settings.size()) - 1));
    if (settings.empty()) settings.emplace_back();  // a module without lists still runs once
    return settings;
}

std::string PinLabel(const std::vector<DrivenPin>& pins, int32_t index) {
    for (const auto& pin : pins) {
        if (pin.index == index) return pin.Label();
    }
    return "pin " + std::to_string(index);
}

}  // namespace trhost::validate
