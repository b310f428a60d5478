// Information, never a verdict: how long DISP_OPEN takes at a few rates, and what the process routine
// costs per sample at two block sizes, timed on the guarded buffers the other checks use, in the
// thread's own working time where the system counts it (work_clock.h).
#include <chrono>
#include <cstdio>

#include "checks.h"
#include "module_session.h"
#include "work_clock.h"

namespace trhost::validate {

namespace {

using Clock = WorkClock;

constexpr float kOpenRates[] = {8000.0f, 44100.0f, 192000.0f};
constexpr float kProcessRate = 44100.0f;
constexpr int32_t kTimedBlocks[] = {64, 1024};
// Time spent timing each block size: long enough to smooth out the scheduler, short enough for a run.
constexpr double kTimingSeconds = 0.15;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

void CheckReport(CheckContext& context) {
    std::string opens;
    for (float rate : kOpenRates) {
        ModuleSession session(context.Library(), context.Rng());
        context.Stage("timing DISP_OPEN at " + std::to_string(static_cast<int>(rate)) + " Hz");
        if (!session.Create()) {
            context.Fail("makeModule(0, 1) answered null");
            return;
        }
        auto start = Clock::now();
        session.Open(rate);
        double seconds = Seconds(start);
        opens += (opens.empty() ? "" : ", ") + Format("%.2f ms", seconds * 1e3) + " at " +
                 std::to_string(static_cast<int>(rate)) + " Hz";
        session.Close();
    }
    context.Info("DISP_OPEN takes " + opens);

    ModuleSession session(context.Library(), context.Rng());
    if (!session.Create()) return;
    session.Open(kProcessRate);
    std::string costs;
    for (int32_t count : kTimedBlocks) {
        context.Stage("timing process at block " + std::to_string(count));
        session.Process(0, count);  // fills the inputs with their defaults once
        int64_t blocks = 0;
        auto start = Clock::now();
        double seconds = 0.0;
        do {
            for (int i = 0; i < 16; ++i) session.Host().Process(0, count);
            blocks += 16;
            seconds = Seconds(start);
        } while (seconds < kTimingSeconds);
        double per_sample = seconds / static_cast<double>(blocks * count);
        costs += (costs.empty() ? "" : ", ") + Format("%.1f ns", per_sample * 1e9) + " per sample at block " +
                 std::to_string(count) + Format(" (%.3f%% of real time", per_sample * kProcessRate * 100.0) +
                 " at 44100 Hz)";
    }
    context.Info("process costs " + costs);
    session.Close();
}

}  // namespace trhost::validate
