// Real-time safety: the process routine runs on the host's audio thread, where taking or giving back
// heap memory can block. Every allocator is interposed, or hooked in the module's import table
// (allocation_counter.h), and counted while a block runs, callbacks into the host left out. Allocations in the event entry are reported as a
// warning: events arrive on the same thread, but less often.
#include <cstdio>

#include "allocation_counter.h"
#include "check_steps.h"
#include "checks.h"
#include "list_settings.h"
#include "module_session.h"

namespace trhost::validate {

namespace {

constexpr float kRates[] = {44100.0f, 96000.0f};
constexpr int32_t kBlockSizes[] = {1, 17, 64, 1024, 4096};

void Sweep(CheckContext& context, float rate, int64_t& blocks, std::string& first_case) {
    ModuleSession session(context.Library(), context.Rng());
    if (!CreateAndOpen(context, session, rate)) return;
    session.CountAllocations(true);
    for (const ListSetting& setting : ListSettings(session.Pins())) {
        session.SetLists(setting);
        for (int32_t count : kBlockSizes) {
            session.SetRandomInRangeInputs();
            std::string when = std::to_string(static_cast<int>(rate)) + " Hz, block " + std::to_string(count) + ": " +
                               session.DescribeSettings();
            context.Stage(when);
            int64_t seen_before = session.ProcessAllocations().allocations + session.ProcessAllocations().releases;
            ReportBlock(context, session.Process(0, count), when, OutputRule::kAnything);
            ++blocks;
            int64_t seen = session.ProcessAllocations().allocations + session.ProcessAllocations().releases;
            if (first_case.empty() && seen != seen_before) first_case = when;
        }
    }
    for (const auto& pin : session.Pins()) {
        context.Stage("pin-status events on " + pin.Label());
        session.SendPinStatus(pin, PIN_STATE_RUNNING);
        session.SendPinStatus(pin, PIN_STATE_CHANGED);
        session.Process(0, 64);
    }
    session.CountAllocations(false);

    const AllocationWindow& process = session.ProcessAllocations();
    if (process.allocations || process.releases) {
        context.Fail(std::to_string(process.allocations) + " allocations and " + std::to_string(process.releases) +
                     " releases inside the process routine at " + std::to_string(static_cast<int>(rate)) +
                     " Hz; the first allocation asked for " + std::to_string(process.first_size) +
                     " bytes; first seen at " + first_case);
    }
    const AllocationWindow& events = session.EventAllocations();
    if (events.allocations || events.releases) {
        context.Warn(std::to_string(events.allocations) + " allocations and " + std::to_string(events.releases) +
                     " releases inside the event entry");
    }
    context.Stage("DISP_CLOSE");
    session.Close();
}

}  // namespace

void CheckRealtime(CheckContext& context) {
    if (!context.CountsAllocations()) {
        context.Skip(
            "allocations are not counted in this build (trhost interposes the allocators on Linux and hooks the "
            "module's on Windows, outside sanitizer builds)");
        return;
    }
    ExcludeHostCallbacksFromWindow();
    int64_t blocks = 0;
    std::string first_case;
    for (float rate : kRates) Sweep(context, rate, blocks, first_case);
    context.Info(std::to_string(blocks) + " blocks counted");
    if (std::string watched = WatchedAllocators(); !watched.empty()) context.Info(watched);
}

}  // namespace trhost::validate
