// Long runs: an instance left running at held settings must sound at the end as it did at the start.
// In a patch a modulator runs for hours; one whose phase is kept in a float that grows (a count of
// samples or seconds) changes pitch after minutes and stops when the count's step rounds to nothing
// (a float count of samples stops at 2^24, six minutes at 44.1 kHz), and one with a 32-bit sample
// count meets its wrap after 27 hours.
//
// Each run holds every audio input at a random value within its range and every list at one choice;
// the runs together take every choice of every list. At the quickest level a run lasts 10 minutes of
// audio, at the default an hour, at the deepest past 2^32 samples, where a 32-bit count of samples
// wraps (the host's sample clock wraps on the way too). Three windows of kWindowSeconds at the start
// (after a second in which smoothing may settle) and three at the end are measured: peak, RMS, DC
// and the frequency where there is a steady one. Each window at the end must lie within the span of
// the windows at the start, widened by that span again (so that output that varies by itself, such
// as noise, is judged against its own variation) and by kLevelTolerance of their level; where the
// frequency is steady at the start (its windows agree within kSteadyFrequency, and their swing within
// kSteadySwing), each window at the end must have one within kFrequencyTolerance of it. Output that
// is not finite anywhere fails.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "check_steps.h"
#include "checks.h"
#include "measurements.h"
#include "module_session.h"

namespace trhost::validate {

namespace {

constexpr float kRate = 44100.0f;
constexpr int32_t kBlock = 4096;
constexpr double kSettleSeconds = 1.0;
// Long enough to hold two periods of the slowest LFO that commonly runs (0.1 Hz) and many of any
// audible one; three of them at each end.
constexpr double kWindowSeconds = 20.0;
constexpr int kWindows = 3;
// 1 % of level (0.09 dB) is far below what a listener hears in a level change and far above what
// rounding gives a correct oscillator over any time.
constexpr double kLevelTolerance = 0.01;
// Level differences below this (a millionth of full scale, 120 dB down) are no change at all.
constexpr double kLevelFloor = 1e-6;
// 0.1 % of frequency is 1.7 cents: less than a listener tells apart, more than a correct oscillator
// moves. At the start, windows that agree within a tenth of that have a steady frequency.
constexpr double kFrequencyTolerance = 1e-3;
constexpr double kSteadyFrequency = 1e-4;
// ... and whose swing (the RMS about the DC) agrees within 10 %: a held oscillator's windows differ
// only by the part of a period each cuts off (under 2 % for two periods of 0.1 Hz in a window), while
// a ring that dies away, such as a feedback delay's answer to a step, falls by orders of magnitude
// between them. Such a ring has a frequency at the start and none at the end, and that is no fault.
constexpr double kSteadySwing = 0.1;
// The time the runs may take, below the default timeouts (60 s, and 600 s at the deepest level): a
// module too slow for a full run in it is run for less, with a warning.
constexpr double kBudgetSeconds = 40.0;
constexpr double kDeepestBudgetSeconds = 480.0;

int64_t Samples(double seconds) { return static_cast<int64_t>(std::llround(seconds * kRate)); }

int64_t RunLength(int level) {
    if (level <= kQuickestLevel) return Samples(600.0);
    if (level >= kDeepestLevel) return (int64_t{1} << 32) + Samples(kWindows * kWindowSeconds + kSettleSeconds);
    return Samples(3600.0);
}

std::string Duration(int64_t samples) {
    double seconds = static_cast<double>(samples) / kRate;
    char text[48];
    if (seconds >= 3600.0) {
        std::snprintf(text, sizeof text, "%.2f h", seconds / 3600.0);
    } else if (seconds >= 60.0) {
        std::snprintf(text, sizeof text, "%.1f min", seconds / 60.0);
    } else {
        std::snprintf(text, sizeof text, "%.2f s", seconds);
    }
    return text;
}

// One list setting per choice index, each list at that choice (or its last one), so that every
// choice of every list is run.
std::vector<ListSetting> EveryChoice(const std::vector<DrivenPin>& pins) {
    size_t most = 1;
    for (const auto& pin : pins) {
        if (pin.IsList() && !pin.repeated && pin.description.variable_address) most = std::max(most, pin.choices.size());
    }
    std::vector<ListSetting> settings(most);
    for (size_t k = 0; k < most; ++k) {
        for (const auto& pin : pins) {
            if (!pin.IsList() || pin.repeated || !pin.description.variable_address) continue;
            int32_t value = pin.choices.empty() ? pin.default_choice
                                                : pin.choices[std::min(k, pin.choices.size() - 1)].value;
            settings[k].emplace_back(&pin, value);
        }
    }
    return settings;
}

// The samples of one output in the windows at the start and at the end.
struct Kept {
    std::vector<float> start, end;
};

struct Measured {
    double peak, rms, dc;
    std::optional<double> frequency;

    double Swing() const { return std::sqrt(std::max(0.0, rms * rms - dc * dc)); }
};

Measured Measure(const std::vector<float>& samples, size_t window) {
    std::vector<float> part(samples.begin() + static_cast<std::ptrdiff_t>(window * Samples(kWindowSeconds)),
                            samples.begin() + static_cast<std::ptrdiff_t>((window + 1) * Samples(kWindowSeconds)));
    ChannelMeasurement m = MeasureChannel("", part, kRate);
    return {m.peak_volts, m.rms_volts, m.dc_volts, m.frequency_hz};
}

// Whether no sample is a NaN or an infinity, in a loop the compiler vectorises: most of the samples
// of a long run are looked at only here.
bool AllFinite(const float* samples, int32_t count) {
    uint32_t all_ones = 0;
    for (int32_t i = 0; i < count; ++i) {
        uint32_t bits;
        std::memcpy(&bits, &samples[i], sizeof bits);
        all_ones |= static_cast<uint32_t>((bits & 0x7F800000u) == 0x7F800000u);
    }
    return all_ones == 0;
}

std::string Volts(double volts) { return LevelText(volts); }

// Compares the windows at the end with those at the start; a line per difference.
std::vector<std::string> Compare(const Kept& kept, int64_t length) {
    std::vector<Measured> start, end;
    for (size_t w = 0; w < kWindows; ++w) start.push_back(Measure(kept.start, w));
    for (size_t w = 0; w < kWindows; ++w) end.push_back(Measure(kept.end, w));
    std::vector<std::string> differences;
    auto at = [&](size_t w) { return Duration(length - Samples((kWindows - w) * kWindowSeconds)); };
    double level = 0;
    for (const auto& m : start) level = std::max(level, m.peak);
    for (auto [name, field] : {std::pair{"peak", &Measured::peak}, {"RMS", &Measured::rms}, {"DC", &Measured::dc}}) {
        double lo = INFINITY, hi = -INFINITY;
        for (const auto& m : start) lo = std::min(lo, m.*field), hi = std::max(hi, m.*field);
        double slack = (hi - lo) + kLevelTolerance * level + kLevelFloor * kFullScaleVolts;
        for (size_t w = 0; w < kWindows; ++w) {
            double value = end[w].*field;
            if (value >= lo - slack && value <= hi + slack) continue;
            differences.push_back(std::string(name) + " " + Volts(value) + " in the window from " + at(w) + " but " +
                                  (lo == hi ? Volts(lo) : Volts(lo) + " to " + Volts(hi)) + " in the first minute");
            break;
        }
    }
    bool steady = true;
    double lowest = INFINITY, highest = 0, sum = 0, least_swing = INFINITY, most_swing = 0;
    for (const auto& m : start) {
        steady = steady && m.frequency;
        if (!m.frequency) break;
        lowest = std::min(lowest, *m.frequency), highest = std::max(highest, *m.frequency), sum += *m.frequency;
        least_swing = std::min(least_swing, m.Swing()), most_swing = std::max(most_swing, m.Swing());
    }
    steady = steady && highest - lowest <= kSteadyFrequency * highest &&
             most_swing - least_swing <= kSteadySwing * most_swing;
    if (steady) {
        double reference = sum / kWindows;
        for (size_t w = 0; w < kWindows; ++w) {
            if (!end[w].frequency) {
                differences.push_back("no steady frequency in the window from " + at(w) + " but " +
                                      FrequencyText(reference) + " in the first minute");
                break;
            }
            if (std::fabs(*end[w].frequency - reference) > kFrequencyTolerance * reference) {
                differences.push_back("frequency " + FrequencyText(*end[w].frequency) + " in the window from " + at(w) +
                                      " but " + FrequencyText(reference) + " in the first minute");
                break;
            }
        }
    }
    return differences;
}

struct RunOutcome {
    bool made = false;
    int64_t length = 0;  // samples run, which the budget may have shortened
    double seconds = 0;
};

class LongRun {
public:
    LongRun(CheckContext& context, const ListSetting& setting) : m_context(context), m_setting(setting) {}

    // Runs `length` samples, or fewer when the time left in `deadline` will not hold them.
    RunOutcome Run(int64_t length, std::chrono::steady_clock::time_point deadline) {
        using Clock = std::chrono::steady_clock;
        RunOutcome outcome;
        auto started = Clock::now();
        ModuleSession session(m_context.Library(), m_context.Rng(), kBlock);
        if (!CreateAndOpen(m_context, session, kRate)) return outcome;
        outcome.made = true;
        session.SetLists(m_setting);
        for (const auto& pin : session.Pins()) {
            if (pin.IsAudio() && pin.IsInput())
                session.SetInput(pin, InputSignal::Constant(InRangeSample(pin, m_context.Rng().Uniform(pin.low, pin.high))));
            if (pin.IsAudio() && pin.IsOutput()) m_outputs.push_back(pin);
        }
        m_settings = session.DescribeSettings();
        // Open's work (tables, say) is not the run's: the time per sample is counted from here.
        auto running = Clock::now();
        m_context.Stage("held for " + Duration(length) + ": " + m_settings);
        const int64_t window_samples = Samples(kWindows * kWindowSeconds);
        const int64_t start_from = Samples(kSettleSeconds);
        m_kept.assign(m_outputs.size(), {});
        for (auto& kept : m_kept) {
            kept.start.reserve(static_cast<size_t>(window_samples));
            kept.end.reserve(static_cast<size_t>(window_samples));
        }
        int64_t done = 0;
        bool checked = false, estimated = false;
        while (done < length) {
            int32_t count = static_cast<int32_t>(std::min<int64_t>(kBlock, length - done));
            if (!checked || count != kBlock) {
                if (!ReportBlock(m_context, session.Process(0, count), "held for " + Duration(done), OutputRule::kAnything))
                    return outcome;
                checked = count == kBlock;
            } else {
                session.ProcessBare(0, count);
            }
            Keep(session, done, count, start_from, length - window_samples, static_cast<size_t>(window_samples));
            if (!m_nonfinite.empty()) break;
            done += count;
            // After the first ten seconds of audio, the time the rest will take is known.
            if (!estimated && done >= Samples(10.0) && done < length) {
                estimated = true;
                double per_sample = std::chrono::duration<double>(Clock::now() - running).count() / done;
                double left = std::chrono::duration<double>(deadline - Clock::now()).count();
                if (per_sample * (length - done) > left) {
                    int64_t fits = done + static_cast<int64_t>(left / per_sample);
                    length = std::max(done + window_samples, fits - fits % kBlock);
                }
            }
        }
        outcome.length = length;
        session.Close();
        outcome.seconds = std::chrono::duration<double>(Clock::now() - started).count();
        return outcome;
    }

    const std::vector<DrivenPin>& Outputs() const { return m_outputs; }
    const std::vector<Kept>& KeptWindows() const { return m_kept; }
    const std::string& NonFinite() const { return m_nonfinite; }
    const std::string& Settings() const { return m_settings; }

private:
    // Looks for non-finite samples in the block and keeps those that fall into the windows, the first
    // `kept` samples from `start_from` and every sample from `end_from`.
    void Keep(ModuleSession& session, int64_t done, int32_t count, int64_t start_from, int64_t end_from, size_t kept) {
        for (size_t o = 0; o < m_outputs.size(); ++o) {
            const float* out = session.Buffer(m_outputs[o]);
            if (m_nonfinite.empty() && !AllFinite(out, count)) {
                int32_t i = 0;
                while (std::isfinite(out[i])) ++i;
                m_nonfinite = m_outputs[o].Label() + ": " + SampleText(out[i]) + " after " + Duration(done + i);
            }
            std::vector<float>& start = m_kept[o].start;
            for (int32_t i = static_cast<int32_t>(std::max<int64_t>(0, start_from - done));
                 i < count && start.size() < kept; ++i)
                start.push_back(out[i]);
            std::vector<float>& end = m_kept[o].end;
            for (int32_t i = static_cast<int32_t>(std::clamp<int64_t>(end_from - done, 0, count)); i < count; ++i)
                end.push_back(out[i]);
        }
    }

    CheckContext& m_context;
    const ListSetting& m_setting;
    std::vector<DrivenPin> m_outputs;
    std::vector<Kept> m_kept;
    std::string m_nonfinite;
    std::string m_settings;
};

}  // namespace

void CheckLongRun(CheckContext& context) {
    using Clock = std::chrono::steady_clock;
    auto probed = ReadPins(context);
    if (!probed) return;
    const auto started = Clock::now();
    const double budget = context.Level() >= kDeepestLevel ? kDeepestBudgetSeconds : kBudgetSeconds;
    const auto deadline = started + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(budget));
    const int64_t wanted = RunLength(context.Level());
    std::vector<ListSetting> settings = EveryChoice(*probed);
    size_t runs = 0;
    int64_t shortest = wanted;
    for (const ListSetting& setting : settings) {
        // A later run starts only when one as long as the last still fits.
        if (runs > 0) {
            double spent = std::chrono::duration<double>(Clock::now() - started).count();
            if (spent / static_cast<double>(runs) > budget - spent) break;
        }
        LongRun run(context, setting);
        RunOutcome outcome = run.Run(wanted, deadline);
        if (!outcome.made) return;
        ++runs;
        if (!run.NonFinite().empty()) {
            context.Fail("output not finite at held settings: " + run.NonFinite() + " (" + run.Settings() + ")");
            return;
        }
        shortest = std::min(shortest, outcome.length);
        if (outcome.length < Samples(kSettleSeconds) + 2 * Samples(kWindows * kWindowSeconds)) continue;
        for (size_t o = 0; o < run.Outputs().size(); ++o) {
            for (const auto& difference : Compare(run.KeptWindows()[o], outcome.length)) {
                context.Fail(run.Outputs()[o].Label() + ": " + difference + ", held for " +
                             Duration(outcome.length) + " (" + run.Settings() + ")");
            }
        }
    }
    double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    char timing[64];
    std::snprintf(timing, sizeof timing, " in %.1f s", seconds);
    context.Info(std::to_string(runs) + " run" + (runs == 1 ? "" : "s") + " of " + Duration(shortest) + " at " +
                 std::to_string(static_cast<int>(kRate)) + " Hz (" + std::to_string(shortest) + " samples each)" +
                 timing);
    if (shortest < wanted) {
        context.Warn("too slow for " + Duration(wanted) + " of audio within " + std::to_string(static_cast<int>(budget)) +
                     " s: ran " + Duration(shortest));
    }
    if (runs < settings.size()) {
        context.Warn("ran " + std::to_string(runs) + " of " + std::to_string(settings.size()) +
                     " settings within " + std::to_string(static_cast<int>(budget)) + " s");
    }
}

}  // namespace trhost::validate
