// The sweep: at every listed sample rate, every block size at a random offset, through the list
// settings, with random in-range signals on every audio input; then each input alone at either end of
// its range. Every buffer is guarded, every input must come back unchanged, and in-range input must
// give finite output.
#include <cstdio>
#include <vector>

#include "check_steps.h"
#include "checks.h"
#include "list_settings.h"
#include "module_session.h"

namespace trhost::validate {

namespace {

// The common rates, and one that is not a whole number.
constexpr float kRates[] = {8000.0f,  11025.0f, 22050.0f,  44100.0f,  48000.0f,
                            88200.0f, 96000.0f, 176400.0f, 192000.0f, 38461.54f};
constexpr int32_t kBlockSizes[] = {1, 2, 17, 64, 333, 1024, 4096};
constexpr int32_t kCornerBlock = 64;

std::string RateText(float rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%g Hz", static_cast<double>(rate));
    return text;
}

int32_t RandomOffset(Random& random, int32_t count) { return random.Between(0, ModuleSession::kBufferLength - count); }

struct Totals {
    int64_t cases = 0;
    int64_t samples = 0;
};

void RunCase(CheckContext& context, ModuleSession& session, int32_t count, Totals& totals) {
    int32_t offset = RandomOffset(context.Rng(), count);
    std::string when = RateText(session.SampleRate()) + ", block " + std::to_string(count) + " at offset " +
                       std::to_string(offset) + ": " + session.DescribeSettings();
    context.Stage(when);
    ReportBlock(context, session.Process(offset, count), when, OutputRule::kInRange);
    ++totals.cases;
    totals.samples += count;
}

void SweepRate(CheckContext& context, float rate, Totals& totals) {
    ModuleSession session(context.Library(), context.Rng());
    if (!CreateAndOpen(context, session, rate)) return;

    for (const ListSetting& setting : ListSettings(session.Pins())) {
        session.SetLists(setting);
        for (int32_t count : kBlockSizes) {
            session.SetRandomInRangeInputs();
            RunCase(context, session, count, totals);
        }
    }
    // Each input alone at either end of its range, the others at their defaults.
    for (const auto& pin : session.Pins()) {
        if (!pin.IsAudio() || !pin.IsInput()) continue;
        for (double end : {pin.low, pin.high}) {
            session.SetDefaults();
            session.SetInput(pin, InputSignal::Constant(InRangeSample(pin, end)));
            RunCase(context, session, kCornerBlock, totals);
        }
    }
    context.Stage("DISP_CLOSE at " + RateText(rate));
    session.Close();
}

}  // namespace

void CheckProcessing(CheckContext& context) {
    Totals totals;
    // The quickest level takes the lowest rate, the usual one and the highest.
    std::vector<float> rates(std::begin(kRates), std::end(kRates));
    if (context.Level() <= kQuickestLevel) rates = {8000.0f, 44100.0f, 192000.0f};
    for (float rate : rates) SweepRate(context, rate, totals);
    context.Info(std::to_string(totals.cases) + " blocks, " + std::to_string(totals.samples) + " samples at " +
                 std::to_string(rates.size()) + " sample rates");
}

}  // namespace trhost::validate
