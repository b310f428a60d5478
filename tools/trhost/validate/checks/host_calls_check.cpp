// The host-call audit: two instances through a host's life, interleaved (made, described, wired with
// repeated pins where the module asks for them, opened once each at its own rate, blocks of many sizes
// at random offsets, events of every kind, closed), with sample clocks that start just short of
// 2^32 and wrap during the run. Every call the module makes into the host is held against what the
// interface allows at that moment (host_call_audit.h); each fault names the call and its arguments.
#include <memory>

#include "check_steps.h"
#include "checks.h"
#include "list_settings.h"
#include "module_session.h"

namespace trhost::validate {

namespace {

constexpr float kRates[] = {44100.0f, 48000.0f};
constexpr uint32_t kFirstClock = 0xFFFFF000u;
constexpr int32_t kBlockSizes[] = {1, 17, 64, 333, 1024, 4096, 5};
constexpr int32_t kPinStates[] = {PIN_STATE_STATIC, PIN_STATE_CHANGED, PIN_STATE_RUNNING};

void Blocks(CheckContext& context, std::vector<std::unique_ptr<ModuleSession>>& sessions,
            const std::vector<ListSetting>& settings) {
    for (int32_t count : kBlockSizes) {
        for (auto& session : sessions) {
            session->SetLists(settings[context.Rng().Between(0, static_cast<int32_t>(settings.size()) - 1)]);
            session->SetRandomInRangeInputs();
            int32_t offset = context.Rng().Between(0, ModuleSession::kBufferLength - count);
            context.Stage("process(offset " + std::to_string(offset) + ", " + std::to_string(count) + " samples)");
            ReportBlock(context, session->Process(offset, count), "host-call audit", OutputRule::kAnything);
        }
    }
}

}  // namespace

void CheckHostCalls(CheckContext& context) {
    std::vector<std::unique_ptr<ModuleSession>> sessions;
    for (size_t i = 0; i < std::size(kRates); ++i) {
        auto session = std::make_unique<ModuleSession>(context.Library(), context.Rng());
        session->Host().SetSampleClock(kFirstClock + static_cast<uint32_t>(i) * 1000u);
        context.Stage("makeModule");
        if (!session->Create()) {
            context.Fail("makeModule(0, 1) answered null");
            return;
        }
        sessions.push_back(std::move(session));
    }
    for (size_t i = 0; i < sessions.size(); ++i) {
        context.Stage("DISP_OPEN at " + std::to_string(static_cast<int>(kRates[i])) + " Hz");
        sessions[i]->Open(kRates[i]);
    }
    std::vector<ListSetting> settings = ListSettings(sessions[0]->Pins());
    Blocks(context, sessions, settings);
    for (auto& session : sessions) {
        for (const auto& pin : session->Pins()) {
            for (int32_t state : kPinStates) {
                context.Stage("pin-status event, state " + std::to_string(state) + ", " + pin.Label());
                session->SendPinStatus(pin, state);
            }
        }
        for (int32_t type : {static_cast<int32_t>(EVT_DATA), 1, 99}) {
            context.Stage("event of type " + std::to_string(type));
            session->SendEvent(session->EventNow(type));
        }
    }
    Blocks(context, sessions, settings);
    for (auto& session : sessions) {
        context.Stage("DISP_CLOSE");
        session->Close();
        for (const auto& fault : session->HostCallFaults()) context.Fail(fault);
    }
}

}  // namespace trhost::validate
