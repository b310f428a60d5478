// Events, each at the current sample clock as the host delivers them: a pin-status event of every
// state for every pin, data events, and types the interface does not define, with blocks in between.
#include <climits>

#include "check_steps.h"
#include "checks.h"
#include "module_session.h"

namespace trhost::validate {

namespace {

constexpr float kRate = 44100.0f;
constexpr int32_t kBlock = 64;
constexpr int32_t kPinStates[] = {PIN_STATE_STATIC, PIN_STATE_CHANGED, PIN_STATE_RUNNING};
constexpr int32_t kUnknownTypes[] = {1, 3, 4, 20, 22, 99, -1, INT_MAX, INT_MIN};

void Block(CheckContext& context, ModuleSession& session, const std::string& after) {
    int32_t offset = context.Rng().Between(0, ModuleSession::kBufferLength - kBlock);
    context.Stage("process after " + after);
    ReportBlock(context, session.Process(offset, kBlock), "after " + after, OutputRule::kAnything);
}

}  // namespace

void CheckEvents(CheckContext& context) {
    ModuleSession session(context.Library(), context.Rng());
    if (!CreateAndOpen(context, session, kRate)) return;
    Block(context, session, "DISP_OPEN");

    for (const auto& pin : session.Pins()) {
        for (int32_t state : kPinStates) {
            std::string what = "pin-status event, state " + std::to_string(state) + ", " + pin.Label();
            context.Stage(what);
            session.SendPinStatus(pin, state);
            Block(context, session, what);
        }
    }
    const std::pair<int32_t, int32_t> data[] = {{0, 0}, {1, 0x12345}, {-1, -1}, {INT_MAX, 0xFFFF}, {INT_MIN, 0}};
    for (auto [first, second] : data) {
        std::string what = "data event " + std::to_string(first) + ", " + std::to_string(second);
        context.Stage(what);
        TREvent event = session.EventNow(EVT_DATA);
        event.int_param1 = first;
        event.int_param2 = second;
        session.SendEvent(event);
        Block(context, session, what);
    }
    for (int32_t type : kUnknownTypes) {
        std::string what = "event of unknown type " + std::to_string(type);
        context.Stage(what);
        TREvent event = session.EventNow(type);
        event.int_param1 = 1;
        event.int_param2 = 1;
        session.SendEvent(event);
        Block(context, session, what);
    }
    // Several events at one sample clock, as a host delivers what falls between two blocks.
    context.Stage("several events at one sample clock");
    for (const auto& pin : session.Pins()) session.SendPinStatus(pin, PIN_STATE_CHANGED);
    Block(context, session, "several events at one sample clock");
    context.Stage("DISP_CLOSE");
    session.Close();
}

}  // namespace trhost::validate
