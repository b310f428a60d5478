#include "rack.h"

#include <algorithm>
#include <optional>
#include <set>

#include "command_error.h"
#include "exit_codes.h"
#include "pin_text.h"
#include "pin_units.h"

namespace trhost {

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

bool IsAudioOutput(const PinDescription& pin) { return pin.direction == PIN_OUT && pin.IsAudio(); }

// A wire fed by an audio file rather than by a module.
template <typename Source>
bool IsFed(const Source& source) {
    return source.file != kNone;
}

// Runs `step`, and gives any refusal from it the instance's label and the stage `exit_code`.
template <typename Step>
auto WithLabel(const std::string& label, int exit_code, Step step) -> decltype(step()) {
    try {
        return step();
    } catch (const CommandError& error) {
        throw CommandError(exit_code, label + error.what());
    }
}

}  // namespace

Rack::Rack(const PatchPlan& plan, const RunSettings& run, const AudioSourceLoader& sources) : m_run(run) {
    if (plan.modules.empty()) throw CommandError(kExitPatch, plan.origin + "the patch has no modules");
    for (const auto& module : plan.modules) CreateInstance(module, plan.origin);
    LoadFiles(plan, sources);
    for (size_t i = 0; i < plan.modules.size(); ++i) ApplySettings(m_modules[i], plan.modules[i]);
    for (size_t i = 0; i < plan.modules.size(); ++i) ApplyWires(i, plan.modules[i]);
    OrderByWires(plan.origin);
    ChooseOutputs(plan);
}

Rack::~Rack() {
    for (size_t index : m_order) m_modules[index].host.reset();
    m_modules.clear();
}

ModuleLibrary& Rack::LoadLibrary(const std::string& path) {
    auto found = m_libraries.find(path);
    if (found != m_libraries.end()) return *found->second;
    std::string error;
    auto library = ModuleLibrary::Load(path, &error);
    if (!library) throw CommandError(kExitLoad, error);
    return *(m_libraries[path] = std::move(library));
}

void Rack::CreateInstance(const ModulePlan& plan, const std::string& origin) {
    if (FindInstance(plan.name) != kNone) {
        throw CommandError(kExitPatch, origin + "two modules are named " + Quoted(plan.name));
    }
    Instance instance;
    instance.name = plan.name;
    instance.label = origin.empty() ? "" : origin + "module " + Quoted(plan.name) + ": ";
    instance.library =
        &WithLabel(instance.label, kExitLoad, [&]() -> ModuleLibrary& { return LoadLibrary(plan.library); });
    instance.info = ReadModuleInfo(*instance.library);
    if (!instance.info.described) {
        throw CommandError(kExitModule, plan.library + ": holds no module (getModuleProperties(0) answered 0)");
    }
    instance.host = std::make_unique<HostInstance>(*instance.library);
    if (!instance.host->Create()) {
        throw CommandError(kExitModule, plan.library + ": makeModule(0, 1) answered null");
    }
    instance.host->SetSampleRate(static_cast<float>(m_run.rate));
    instance.host->SetBlockSize(m_run.block);
    instance.pins = instance.host->DescribePins();
    m_modules.push_back(std::move(instance));
}

void Rack::ApplySettings(Instance& instance, const ModulePlan& plan) {
    std::set<int32_t> set_pins;
    // The scale a Freq setting is read on, for the summary: as set, or the default.
    std::optional<std::string> scale = FrequencyScale(instance.pins, plan.set);
    for (const auto& [pin_name, text] : plan.set) {
        WithLabel(instance.label, kExitSettings, [&] {
            const PinDescription& pin = FindPin(instance.pins, pin_name);
            if (!set_pins.insert(pin.index).second) {
                throw CommandError(kExitSettings, "pin " + Quoted(pin.name) + " is set twice");
            }
            std::vector<std::string> warnings;
            PinValue value = ResolvePinValue(pin, text, &warnings);
            // ResolvePinValue warns of nothing but a value outside the pin's range.
            for (const auto& warning : warnings) {
                m_warnings.push_back(instance.label + warning);
                m_set_out_of_range.push_back(instance.label + warning);
            }
            std::string reading = pin.IsAudio() ? MusicalReading(pin.name, value.sample * kVoltsPerUnit, scale) : "";
            instance.settings_shown.push_back(pin.name + "=" + value.shown + reading);
            instance.values[pin.index] = value;
        });
    }
    for (const auto& pin : instance.pins) {
        if (!IsSettable(pin) || instance.values.count(pin.index)) continue;
        std::vector<std::string> warnings;
        instance.values[pin.index] = DefaultPinValue(pin, &warnings);
        for (const auto& warning : warnings) m_warnings.push_back(instance.label + warning);
    }
}

void Rack::ApplyWires(size_t target, const ModulePlan& plan) {
    Instance& instance = m_modules[target];
    for (const auto& [pin_name, source_ref] : plan.wires) {
        std::string wire = "wire " + pin_name + " <- " + source_ref.Text() + ": ";
        auto refuse = [&](const std::string& what) { throw CommandError(kExitPatch, instance.label + wire + what); };
        const PinDescription& pin = WithLabel(instance.label + wire, kExitPatch, [&]() -> const PinDescription& {
            return FindPin(instance.pins, pin_name);
        });
        if (pin.direction == PIN_OUT || !pin.IsAudio()) {
            refuse("pin " + Quoted(pin.name) + " is not an audio input");
        }
        if (instance.wires.count(pin.index)) refuse("pin " + Quoted(pin.name) + " is wired twice");
        bool was_set = std::any_of(plan.set.begin(), plan.set.end(),
                                   [&](const auto& setting) { return &FindPin(instance.pins, setting.first) == &pin; });
        if (was_set) refuse("pin " + Quoted(pin.name) + " is both set and wired");

        if (FindFile(source_ref.module) != kNone) {
            instance.values.erase(pin.index);
            instance.wires[pin.index] = FileChannel(source_ref, instance.label + wire);
            instance.wires_shown.push_back(pin.name + " <- " + source_ref.Text());
            WatchRange(instance, pin, source_ref.Text());
            continue;
        }
        size_t source = FindInstance(source_ref.module);
        if (source == kNone) refuse("unknown module " + Quoted(source_ref.module));
        const Instance& from = m_modules[source];
        const PinDescription& source_pin =
            WithLabel(instance.label + wire + "module " + Quoted(from.name) + ": ", kExitPatch,
                      [&]() -> const PinDescription& { return FindPin(from.pins, source_ref.pin); });
        if (!IsAudioOutput(source_pin)) {
            refuse("pin " + Quoted(source_pin.name) + " of " + Quoted(from.name) + " is not an audio output");
        }
        instance.values.erase(pin.index);
        instance.wires[pin.index] = Source{source, source_pin.index};
        instance.wires_shown.push_back(pin.name + " <- " + from.name + "." + source_pin.name);
        WatchRange(instance, pin, from.name + "." + source_pin.name);
    }
}

void Rack::WatchRange(Instance& instance, const PinDescription& pin, const std::string& source) {
    if (!pin.extra_text) return;
    const std::optional<PinRange> range = ParseRangeText(*pin.extra_text);
    if (!range) return;
    instance.watched[pin.index] = m_ranges.Watch(instance.name + "." + pin.name + " <- " + source, pin.name, *range);
}

void Rack::OrderByWires(const std::string& origin) {
    // Sources before the inputs they feed; among instances free to go, the patch's own order.
    size_t count = m_modules.size();
    std::vector<bool> placed(count, false);
    while (m_order.size() < count) {
        size_t next = kNone;
        for (size_t i = 0; i < count && next == kNone; ++i) {
            if (placed[i]) continue;
            bool ready = std::all_of(m_modules[i].wires.begin(), m_modules[i].wires.end(), [&](const auto& wire) {
                return IsFed(wire.second) || placed[wire.second.module];
            });
            if (ready) next = i;
        }
        if (next == kNone) break;
        placed[next] = true;
        m_order.push_back(next);
    }
    if (m_order.size() == count) return;

    // Every unplaced instance waits for another unplaced one: walk back along the wires until an
    // instance repeats, and name the wires of that loop.
    size_t start = 0;
    while (placed[start]) ++start;
    std::vector<size_t> path;
    std::vector<std::string> steps;
    size_t at = start;
    while (std::find(path.begin(), path.end(), at) == path.end()) {
        path.push_back(at);
        for (const auto& [pin, source] : m_modules[at].wires) {
            if (IsFed(source) || placed[source.module]) continue;
            steps.push_back(m_modules[at].name + "." + m_modules[at].pins[pin].name + " <- " +
                            m_modules[source.module].name + "." + m_modules[source.module].pins[source.pin].name);
            at = source.module;
            break;
        }
    }
    size_t loop_start = std::find(path.begin(), path.end(), at) - path.begin();
    std::string loop;
    for (size_t i = loop_start; i < steps.size(); ++i) loop += (loop.empty() ? "" : ", ") + steps[i];
    throw CommandError(kExitPatch, origin + "the wires form a loop: " + loop);
}

void Rack::ChooseOutputs(const PatchPlan& plan) {
    bool several = m_modules.size() > 1;
    auto add = [&](size_t module, const PinDescription& pin) {
        std::string name = several ? m_modules[module].name + "." + pin.name : pin.name;
        m_outputs.push_back({module, pin.index, name});
    };
    if (plan.outputs.empty()) {
        for (size_t i = 0; i < m_modules.size(); ++i) {
            for (const auto& pin : m_modules[i].pins) {
                if (IsAudioOutput(pin)) add(i, pin);
            }
        }
        if (m_outputs.empty()) {
            throw CommandError(kExitModule,
                               plan.origin + m_modules.front().info.name + " has no audio output pin to render");
        }
        return;
    }
    for (const auto& ref : plan.outputs) {
        std::string where = plan.origin + "output " + ref.Text() + ": ";
        size_t module = FindInstance(ref.module);
        if (module == kNone) {
            throw CommandError(kExitPatch, where + "unknown module " + Quoted(ref.module));
        }
        const PinDescription& pin = WithLabel(
            where, kExitPatch, [&]() -> const PinDescription& { return FindPin(m_modules[module].pins, ref.pin); });
        if (!IsAudioOutput(pin)) {
            throw CommandError(kExitPatch, where + "pin " + Quoted(pin.name) + " is not an audio output");
        }
        for (const auto& earlier : m_outputs) {
            if (earlier.module == module && earlier.pin == pin.index) {
                throw CommandError(kExitPatch, where + "listed twice: every channel needs an output of its own");
            }
        }
        add(module, pin);
    }
}

size_t Rack::FindInstance(const std::string& name) const {
    for (size_t i = 0; i < m_modules.size(); ++i) {
        if (m_modules[i].name == name) return i;
    }
    return kNone;
}

void Rack::PassOnSourceStates(Instance& instance, bool initial) {
    for (auto& [pin, source] : instance.wires) {
        if (IsFed(source)) {
            // A file's signal changes every sample, from the start to the end of the run.
            if (initial) instance.host->SendPinStatus(pin, PIN_STATE_RUNNING);
            source.state_sent = PIN_STATE_RUNNING;
            continue;
        }
        const auto& reports = m_modules[source.module].host->StatusReports();
        int32_t state = initial ? PIN_STATE_RUNNING : source.state_sent;
        for (; source.reports_seen < reports.size(); ++source.reports_seen) {
            const PinStatusReport& report = reports[source.reports_seen];
            if (report.pin == source.pin) state = report.state;
        }
        if (state != source.state_sent) {
            instance.host->SendPinStatus(pin, state);
            source.state_sent = state;
        }
    }
}

Rendering Rack::Run() {
    Rendering result;
    result.rate = m_run.rate;
    result.block = m_run.block;
    result.frames = m_run.Frames();
    for (const auto& output : m_outputs) {
        result.channel_names.push_back(output.name);
        result.channels.emplace_back(static_cast<size_t>(result.frames), 0.0f);
    }

    // Buffers of one block for every pin; then the wired inputs read their sources' buffers.
    for (auto& instance : m_modules) {
        instance.host->Wire(instance.pins, static_cast<size_t>(m_run.block));
    }
    for (auto& instance : m_modules) {
        for (const auto& [pin, source] : instance.wires) {
            instance.host->SetBuffer(pin, IsFed(source) ? m_files[source.file].blocks[source.pin].data()
                                                        : m_modules[source.module].host->Buffer(source.pin));
        }
        for (const auto& [pin, value] : instance.values) {
            if (instance.pins[pin].IsAudio()) {
                float* buffer = instance.host->Buffer(pin);
                std::fill(buffer, buffer + m_run.block, value.sample);
            } else {
                instance.host->SetListValue(pin, static_cast<int16_t>(value.list_value));
            }
        }
    }

    for (size_t index : m_order) {
        Instance& instance = m_modules[index];
        instance.host->Open();
        for (const auto& [pin, value] : instance.values) {
            instance.host->SendPinStatus(pin, PIN_STATE_STATIC);
        }
        PassOnSourceStates(instance, true);
    }

    for (int64_t done = 0; done < result.frames;) {
        int32_t count = static_cast<int32_t>(std::min<int64_t>(m_run.block, result.frames - done));
        FeedFiles(done, count);
        for (size_t index : m_order) {
            Instance& instance = m_modules[index];
            PassOnSourceStates(instance, false);
            for (const auto& [pin, watch] : instance.watched) {
                m_ranges.Check(watch, instance.host->Buffer(pin), count, done);
            }
            instance.host->Process(0, count);
        }
        for (size_t c = 0; c < m_outputs.size(); ++c) {
            const float* buffer = m_modules[m_outputs[c].module].host->Buffer(m_outputs[c].pin);
            std::copy(buffer, buffer + count, result.channels[c].begin() + done);
        }
        for (auto& instance : m_modules) instance.host->AdvanceClock(static_cast<uint32_t>(count));
        done += count;
    }

    for (size_t index : m_order) m_modules[index].host->Close();
    return result;
}

std::vector<std::string> Rack::Summary() const {
    std::vector<std::string> lines;
    for (size_t index : m_order) {
        const Instance& instance = m_modules[index];
        std::string line = instance.name + ": " + instance.info.name;
        std::string details;
        for (const auto* shown : {&instance.settings_shown, &instance.wires_shown}) {
            for (const auto& item : *shown) details += (details.empty() ? "" : ", ") + item;
        }
        lines.push_back(line + (details.empty() ? " (defaults)" : " (" + details + ")"));
    }
    for (const FileFeed& feed : m_files) lines.push_back(FileSummary(feed));
    return lines;
}

std::vector<Rack::InstanceSetup> Rack::Setup() const {
    std::vector<InstanceSetup> setup;
    for (size_t index : m_order) {
        const Instance& instance = m_modules[index];
        setup.push_back({instance.name, instance.info.name, instance.library->Path(), instance.settings_shown,
                         instance.wires_shown});
    }
    return setup;
}

std::string Rack::FirstModuleName() const { return m_modules.front().info.name; }

std::vector<std::string> Rack::ModuleNames() const {
    std::vector<std::string> names;
    for (const auto& instance : m_modules) names.push_back(instance.info.name);
    return names;
}

std::vector<std::string> Rack::ProcessingOrder() const {
    std::vector<std::string> names;
    for (size_t index : m_order) names.push_back(m_modules[index].name);
    return names;
}

}  // namespace trhost
