// An instance's life: open, process, close; closing one that was never opened; opening twice. The
// process entry may change along the way only with HOST_PROCESS_FUNCTION_CHANGED after the change.
#include "check_steps.h"
#include "checks.h"
#include "module_session.h"

namespace trhost::validate {

namespace {

constexpr float kRate = 44100.0f;

void ProcessSome(CheckContext& context, ModuleSession& session, const std::string& when) {
    for (int32_t count : {64, 1, 333, 64}) {
        context.Stage("process " + std::to_string(count) + " samples " + when);
        ReportBlock(context, session.Process(0, count), when, OutputRule::kAnything);
    }
}

void ExpectCloseAnswersOne(CheckContext& context, ModuleSession& session, const std::string& when) {
    context.Stage("DISP_CLOSE " + when);
    int32_t answer = session.Close();
    if (answer != 1) context.Fail("DISP_CLOSE " + when + " answered " + std::to_string(answer) + ", not 1");
}

}  // namespace

void CheckOpenClose(CheckContext& context) {
    {
        ModuleSession session(context.Library(), context.Rng());
        context.Stage("makeModule");
        if (!session.Create()) {
            context.Fail("makeModule(0, 1) answered null");
            return;
        }
        TRProcessEntry made = session.Host().Record()->process;
        context.Stage("DISP_OPEN");
        session.Open(kRate);
        if (session.Host().Record()->process != made && session.ProcessEntryFaults().empty()) {
            context.Info("the process entry changed during DISP_OPEN, announced to the host");
        }
        ProcessSome(context, session, "after DISP_OPEN");
        ReportProcessEntryFaults(context, session);
        ExpectCloseAnswersOne(context, session, "after DISP_OPEN");
    }
    {
        ModuleSession session(context.Library(), context.Rng());
        context.Stage("makeModule, then DISP_CLOSE without DISP_OPEN");
        if (session.Create()) ExpectCloseAnswersOne(context, session, "without DISP_OPEN");
    }
    {
        ModuleSession session(context.Library(), context.Rng());
        context.Stage("makeModule for a second DISP_OPEN");
        if (!session.Create()) return;
        context.Stage("first DISP_OPEN");
        session.Open(kRate);
        ProcessSome(context, session, "after the first DISP_OPEN");
        context.Stage("second DISP_OPEN");
        session.Open(kRate);
        ProcessSome(context, session, "after a second DISP_OPEN");
        ReportProcessEntryFaults(context, session);
        ExpectCloseAnswersOne(context, session, "after a second DISP_OPEN");
    }
}

}  // namespace trhost::validate
