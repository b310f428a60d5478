// The floating-point control state belongs to the host's thread: a module that changes rounding,
// exception masks or flush-to-zero and leaves them changed alters every module that runs after it.
// Every call into the module is watched (the session does it), once with the default state and once
// with flush-to-zero and denormals-are-zero set, as some hosts run.
#include <cmath>
#include <cstdio>

#include "check_steps.h"
#include "checks.h"
#include "fp_control.h"
#include "list_settings.h"
#include "module_session.h"

namespace trhost::validate {

namespace {

constexpr int32_t kBlockSizes[] = {1, 64, 1024};

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04x", static_cast<unsigned>(value));
    return text;
}

void WatchedModuleProperties(CheckContext& context, const std::string& host_state) {
    context.Stage("getModuleProperties(0)" + host_state);
    ModuleProperties properties{};
    FpControl before = ReadFpControl();
    context.Library().GetModuleProperties()(0, &properties);
    FpControl after = ReadFpControl();
    if (after != before) {
        context.Fail("getModuleProperties: " + DescribeFpChange(before, after) + host_state);
        WriteFpControl(before);
    }
}

void WatchedLife(CheckContext& context, const std::string& host_state) {
    ModuleSession session(context.Library(), context.Rng());
    if (!CreateAndOpen(context, session, 44100.0f)) return;
    for (const ListSetting& setting : ListSettings(session.Pins())) {
        session.SetLists(setting);
        for (int32_t count : kBlockSizes) {
            session.SetRandomInRangeInputs();
            context.Stage("process " + std::to_string(count) + host_state + ": " + session.DescribeSettings());
            session.Process(0, count);
        }
    }
    // Input that raises exception flags inside the module: NaN and infinity on every audio input.
    for (float bad : {NAN, INFINITY}) {
        session.SetDefaults();
        for (const auto& pin : session.Pins()) {
            if (pin.IsAudio() && pin.IsInput()) session.SetInput(pin, InputSignal::Constant(bad));
        }
        context.Stage("process with " + SampleText(bad) + " input" + host_state);
        session.Process(0, 64);
    }
    for (const auto& pin : session.Pins()) {
        context.Stage("pin-status event on " + pin.Label() + host_state);
        session.SendPinStatus(pin, PIN_STATE_CHANGED);
    }
    context.Stage("DISP_CLOSE" + host_state);
    session.Close();
    for (const auto& fault : session.FpControlFaults()) context.Fail(fault + host_state);
}

}  // namespace

void CheckFpState(CheckContext& context) {
    FpControl original = ReadFpControl();
    for (uint32_t mxcsr : {kMxcsrDefault, kMxcsrDefault | kMxcsrFlushDenormals}) {
        WriteMxcsr(mxcsr);
        std::string host_state = " (host MXCSR " + Hex(mxcsr) + ")";
        WatchedModuleProperties(context, host_state);
        WatchedLife(context, host_state);
    }
    WriteFpControl(original);
}

}  // namespace trhost::validate
