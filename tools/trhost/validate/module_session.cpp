#include "module_session.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace trhost::validate {

namespace {

// What a retired output buffer holds: a quiet NaN whose payload differs from the canaries'.
constexpr uint32_t kRetiredOutputBits = 0x7FC0BEEFu;

}  // namespace

ModuleSession::ModuleSession(const ModuleLibrary& library, Random& random, int32_t buffer_length)
    : m_library(library), m_random(random), m_buffer_length(buffer_length), m_host(library) {}

ModuleSession::~ModuleSession() {
    if (m_host.Alive()) Close();
}

template <class Action>
auto ModuleSession::Call(const std::string& what, Action&& action, int32_t block) {
    m_host.ClearCalls();
    CallMoment moment{what, m_host.Record(), m_host.PinCount(), m_host.SampleClock(), block, m_known_process};
    FpControl before = ReadFpControl();
    auto watch = [&] {
        FpControl after = ReadFpControl();
        if (after != before) {
            m_fp_faults.push_back(what + ": " + DescribeFpChange(before, after));
            WriteFpControl(before);
        }
        // makeModule's calls carry the record it is about to answer.
        if (!moment.record) moment.record = m_host.Record();
        for (auto& fault : AuditHostCalls(moment, m_host.Calls())) m_host_call_faults.push_back(std::move(fault));
        WatchProcessEntry(what);
    };
    if constexpr (std::is_void_v<decltype(action())>) {
        action();
        watch();
    } else {
        auto answer = action();
        watch();
        return answer;
    }
}

template <class Action>
auto ModuleSession::Counted(AllocationWindow& total, Action&& action) {
    if (!m_count_allocations) return action();
    OpenAllocationWindow();
    auto answer = action();
    AllocationWindow seen = CloseAllocationWindow();
    if (total.allocations == 0) total.first_size = seen.first_size;
    total.allocations += seen.allocations;
    total.releases += seen.releases;
    return answer;
}

void ModuleSession::WatchProcessEntry(const std::string& what) {
    if (!m_host.Alive()) return;
    TRProcessEntry now = m_host.Record()->process;
    if (now == m_known_process) return;
    const HostCall* notice = nullptr;
    for (const auto& call : m_host.Calls()) {
        if (call.opcode == HOST_PROCESS_FUNCTION_CHANGED) notice = &call;
    }
    if (!notice) {
        m_process_entry_faults.push_back(what + ": the process entry changed without HOST_PROCESS_FUNCTION_CHANGED");
    } else if (notice->process_entry != now) {
        m_process_entry_faults.push_back(
            what + ": HOST_PROCESS_FUNCTION_CHANGED came before the record held the new process entry");
    }
    if (!now) m_process_entry_faults.push_back(what + ": the process entry is null");
    m_known_process = now;
}

bool ModuleSession::Create() { return Create(0); }

bool ModuleSession::Create(uint32_t host_handle) {
    bool made = Call("makeModule", [&] {
        bool created = host_handle ? m_host.Create(0, TR_KIND_MODULE, host_handle) : m_host.Create(0, TR_KIND_MODULE);
        // The entry the record is made with is the first one known, not a change.
        if (created) m_known_process = m_host.Record()->process;
        return created;
    });
    if (!made) return false;
    m_descriptions = Call("DISP_GET_PIN_PROPERTIES", [&] { return m_host.DescribePins(); });
    m_pins = DrivenPins(m_descriptions, kExtraRepeatedPins);
    // The host's own buffers are never used: every audio pin is pointed at a guarded one.
    m_host.Wire(m_descriptions, 1, static_cast<int32_t>(m_pins.size()));
    m_buffers.clear();
    m_retired.clear();
    for (const auto& pin : m_pins) {
        if (!pin.IsAudio()) continue;
        auto buffer = std::make_shared<GuardedBuffer>(m_buffer_length);
        m_host.SetBuffer(pin.index, buffer->Data());
        m_buffers[pin.index] = std::move(buffer);
    }
    SetDefaults();
    return true;
}

void ModuleSession::Open(float sample_rate) { Open(sample_rate, kLongestBlock); }

void ModuleSession::Open(float sample_rate, int32_t block_size) {
    m_sample_rate = sample_rate;
    Call("DISP_SET_SAMPLE_RATE", [&] { m_host.SetSampleRate(sample_rate); });
    SetBlockSize(block_size);
    Call("DISP_OPEN", [&] { return m_host.Open(); });
}

void ModuleSession::SetBlockSize(int32_t block_size) {
    Call("DISP_SET_BLOCK_SIZE", [&] { m_host.SetBlockSize(block_size); });
}

int32_t ModuleSession::Close() {
    return Call("DISP_CLOSE", [&] { return m_host.Close(); });
}

void ModuleSession::SetList(const DrivenPin& pin, int32_t value) {
    m_lists[pin.index] = value;
    m_host.SetListValue(pin.index, static_cast<int16_t>(value));
}

void ModuleSession::SetInput(const DrivenPin& pin, const InputSignal& signal) { m_inputs[pin.index] = signal; }

void ModuleSession::SetDefaults() {
    m_inputs.clear();
    m_lists.clear();
    for (const auto& pin : m_pins) {
        if (pin.IsAudio() && pin.IsInput()) {
            SetInput(pin, InputSignal::Constant(static_cast<float>(pin.default_sample)));
        } else if (pin.IsList()) {
            SetList(pin, pin.default_choice);
        }
    }
}

void ModuleSession::SetRandomInRangeInputs() {
    for (const auto& pin : m_pins) {
        if (pin.IsAudio() && pin.IsInput()) SetInput(pin, RandomInRangeSignal(pin, m_random));
    }
}

void ModuleSession::SetLists(const ListSetting& setting) {
    for (const auto& [pin, value] : setting) SetList(*pin, value);
}

std::string ModuleSession::DescribeSettings() const {
    std::string text;
    for (const auto& pin : m_pins) {
        std::string value;
        if (auto list = m_lists.find(pin.index); list != m_lists.end()) {
            value = pin.ChoiceName(list->second);
        } else if (auto input = m_inputs.find(pin.index); input != m_inputs.end()) {
            value = input->second.Describe();
        } else {
            continue;
        }
        if (!text.empty()) text += ", ";
        text +=
            (pin.description.name.empty() ? "pin " + std::to_string(pin.index) : pin.description.name) + "=" + value;
    }
    return text;
}

void ModuleSession::SetInputDecoys(bool on) {
    m_decoys.clear();
    if (!on) return;
    for (const auto& pin : m_pins) {
        if (!pin.IsAudio() || !pin.IsInput()) continue;
        std::vector<float>& decoy = m_decoys[pin.index];
        decoy.resize(static_cast<size_t>(m_buffer_length));
        InputSignal signal = RandomInRangeSignal(pin, m_random);
        // A constant decoy equal to the input would hide a misread: noise across the range instead.
        if (signal.kind == InputSignal::Kind::kConstant) {
            signal = {InputSignal::Kind::kRandom, InRangeSample(pin, pin.low), InRangeSample(pin, pin.high)};
        }
        signal.Fill(decoy.data(), m_buffer_length, m_random);
    }
}

void ModuleSession::FillDecoys(const DrivenPin& pin, GuardedBuffer& buffer) {
    auto decoy = m_decoys.find(pin.index);
    if (decoy == m_decoys.end()) return;
    std::copy(decoy->second.begin(), decoy->second.end(), buffer.Data());
}

const float* ModuleSession::Buffer(const DrivenPin& pin) const {
    auto found = m_buffers.find(pin.index);
    return found == m_buffers.end() ? nullptr : found->second->Data();
}

bool ModuleSession::Movable(const DrivenPin& pin) {
    return pin.IsAudio() && !pin.repeated && pin.description.variable_address;
}

void ModuleSession::MoveBuffers() {
    for (const auto& pin : m_pins) {
        auto found = m_buffers.find(pin.index);
        if (!Movable(pin) || found == m_buffers.end()) continue;
        // The old buffer is the host's again: it keeps it and watches it. An input's holds canaries,
        // so that a module reading it reads NaN; an output's holds other bits, so that a module
        // writing into it is seen even when what it writes is a canary it read.
        if (pin.IsInput()) {
            found->second->FillCanaries();
        } else {
            found->second->FillBits(kRetiredOutputBits);
        }
        found->second->Snapshot();
        m_retired.emplace_back(pin.Label(), std::move(found->second));
        found->second = std::make_shared<GuardedBuffer>(m_buffer_length);
        m_host.SetBuffer(pin.index, found->second->Data());
    }
}

void ModuleSession::ShareBuffer(const DrivenPin& pin, const DrivenPin& source) {
    auto shared = m_buffers.find(source.index);
    if (!Movable(pin) || shared == m_buffers.end()) return;
    m_buffers[pin.index] = shared->second;
    m_host.SetBuffer(pin.index, shared->second->Data());
}

namespace {

// "3 samples written, first at 117"
std::string Position(int32_t count, int32_t first, const char* noun, const char* verb = nullptr) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s") + (verb ? std::string(" ") + verb : "") +
           ", first at " + std::to_string(first);
}

}  // namespace

void ModuleSession::ProcessBare(int32_t offset, int32_t count) {
    if (m_host.Alive() && m_host.Record()->process) {
        Call(
            "process(offset " + std::to_string(offset) + ", " + std::to_string(count) +
                (count == 1 ? " sample)" : " samples)"),
            [&] {
                return Counted(m_process_allocations, [&] {
                    m_host.Process(offset, count);
                    return 0;
                });
            },
            count);
    }
    m_host.AdvanceClock(static_cast<uint32_t>(count));
}

BlockFindings ModuleSession::Process(int32_t offset, int32_t count) {
    BlockFindings findings;
    for (const auto& pin : m_pins) {
        auto buffer = m_buffers.find(pin.index);
        if (buffer == m_buffers.end()) continue;
        buffer->second->FillCanaries();
        FillDecoys(pin, *buffer->second);
        if (auto input = m_inputs.find(pin.index); input != m_inputs.end()) {
            input->second.Fill(buffer->second->Data() + offset, count, m_random);
        }
        buffer->second->Snapshot();
    }
    ProcessBare(offset, count);

    for (auto& [label, retired] : m_retired) {
        auto written = retired->ChangesSinceSnapshot();
        if (!written.count) continue;
        findings.stale_writes.push_back(label + ": " + Position(written.count, written.first, "sample", "written") +
                                        " into a buffer the host lent before it moved the pin");
        retired->Snapshot();
    }
    for (const auto& pin : m_pins) {
        auto found = m_buffers.find(pin.index);
        if (found == m_buffers.end()) continue;
        GuardedBuffer& buffer = *found->second;
        if (pin.IsInput()) {
            auto changes = buffer.ChangesSinceSnapshot();
            if (changes.count) {
                findings.changed_inputs.push_back(pin.Label() + ": " +
                                                  Position(changes.count, changes.first, "sample", "changed"));
            }
            continue;
        }
        auto outside = buffer.WritesOutside(offset, count);
        if (outside.count) {
            findings.outside_writes.push_back(pin.Label() + ": " +
                                              Position(outside.count, outside.first, "sample", "written"));
        }
        int32_t nonfinite = 0, denormal = 0, unwritten = 0;
        int32_t first_nonfinite = 0, first_denormal = 0, first_unwritten = 0;
        float nonfinite_value = 0.0f, denormal_value = 0.0f;
        const float* block = buffer.Data() + offset;
        for (int32_t i = 0; i < count; ++i) {
            float value = block[i];
            if (IsCanary(value)) {
                if (unwritten++ == 0) first_unwritten = offset + i;
            } else if (!std::isfinite(value)) {
                if (nonfinite++ == 0) first_nonfinite = offset + i, nonfinite_value = value;
            } else if (std::fpclassify(value) == FP_SUBNORMAL) {
                if (denormal++ == 0) first_denormal = offset + i, denormal_value = value;
            }
        }
        if (nonfinite) {
            findings.nonfinite_outputs.push_back(pin.Label() + ": " +
                                                 Position(nonfinite, first_nonfinite, "non-finite sample") + " (" +
                                                 SampleText(nonfinite_value) + ")");
        }
        if (denormal) {
            findings.denormal_outputs.push_back(pin.Label() + ": " +
                                                Position(denormal, first_denormal, "denormal sample") + " (" +
                                                SampleText(denormal_value) + ")");
        }
        if (unwritten) {
            findings.unwritten_outputs.push_back(pin.Label() + ": " +
                                                 Position(unwritten, first_unwritten, "sample", "not written"));
        }
    }
    return findings;
}

int32_t ModuleSession::SendEvent(TREvent event) {
    return Call("event of type " + std::to_string(event.event_type),
                [&] { return Counted(m_event_allocations, [&] { return m_host.SendEvent(&event); }); });
}

}  // namespace trhost::validate

namespace trhost::validate {

TREvent ModuleSession::EventNow(int32_t type) const {
    TREvent event{};
    event.time_stamp = m_host.SampleClock();
    event.event_type = type;
    return event;
}

int32_t ModuleSession::SendPinStatus(const DrivenPin& pin, int32_t state) {
    TREvent event = EventNow(EVT_PIN_STATUS);
    event.int_param1 = state;
    event.ptr_param = reinterpret_cast<void*>(static_cast<uintptr_t>(pin.index));
    return SendEvent(event);
}

}  // namespace trhost::validate
