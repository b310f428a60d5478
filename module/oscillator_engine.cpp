// The oscillator engine: Open takes the tables for the sample rate, and Process runs each block in
// stretches of up to kStretch samples. The map below names every path and innermost loop, the
// condition that chooses it, why its result is DefinedOutput's (oscillator_definition.h, the steps as
// defined), and the tests that reach it; each row's name is its counter's (path_counters.h). A row
// indented under another runs within it; a loop compiled twice, for stretches with an inactive sample
// and without, has a row for each. The stepwise path is that definition, sample by sample; every other
// path measures through one body, MeasureLanes (measure_lanes.h), for one sample or four, and the held
// cycle's activity test (AllDepthsActive) takes its DepthEff and DepthActive steps. The wave is chosen
// once per block from the list of waves (waves/wave_list.h, one file per wave), so each path is compiled
// once per wave; the cycle and smoother state are loaded into locals once per block and stored once at
// its end.
//
// Row (counter)                  Chosen when                            Proof beside      Reached by (test suites)
// ------------------------------ -------------------------------------- ----------------- ----------------------------
// NoTables                       Open could not build the tables        InactiveOutput    NoTables, UnusableSampleRate
// Stepwise                       N x N >= 2^53 (R above ~3.16 MHz); in  DefinedOutput     Stepwise (forced)
//                                the test build also when forced
// HeldInputsOf                   every stretch with exact products:     held_inputs.h     FastPath, Linked, HeldCycle,
//                                one scan for which inputs keep their                     HeldInputs
//                                bits (cycle, depth, gains)
// Measure                        the held cycle's first sample;         MeasureLanes      FastPath, Linked, HeldSine
//                                RenderModulated's stretch
// HeldCycle                      Freq and Phase keep their bits (the    held_stretch.cpp  FastPath, HeldCycle
//                                scan's cycle) and RunHeldCycle takes
//                                the stretch
//   AllDepthsActive              the frequency active, Depth or Offset  AllDepthsActive   FastPath, HeldCycle
//                                moving
//     HeldDeclined               some depth inactive: modulated instead RunHeldCycle      FastPath, HeldCycle
//   HeldInactive                 frequency inactive; or Depth and       CountChain        FastPath, HeldCycle
//                                Offset held and the first sample
//                                inactive
//     FillInactive               In, Depth and Offset held: one output  InactiveOutput    FastPath, Linked
//     WriteInactive              otherwise: Offset x In per sample      InactiveOutput    FastPath, HeldCycle
//   HeldGains                    In, Depth and Offset keep their bits   OutputOf          HeldSine, HeldCycle
//   InGains                      Depth and Offset keep their bits, In   OutputOf          HeldCycle
//                                moves (a tremolo)
//   SampleGains                  Depth or Offset moves                  OutputOf          HeldCycle
//   HeldLoopStepwise             any wave without a held loop of its    held_loop.h       HeldCycle (P = 2, 3, 5)
//                                own; sine with P < 16
//   SteppedIndexes               sine, P >= 16; eight positions a step  waves/sine.h      HeldSine, HeldCycle
//   SteppedIndexesByResidue      sine, P >= 16, near whole hertz        waves/sine.h      HeldSine.WalksInResidueOrder
//                                (DenserByResidue)
//   UnitGainOutputs              sine, P >= 16, gains held, In 1,       waves/sine.h      HeldSine.UnitInAndZeroOffset
//                                Offset +-0, DepthEff finite
//   HeldSineOutputs              sine, P >= 16, any other gains         OutputOf          HeldSine, HeldCycle
//   HeldTrianglePairs            triangle; two samples per division     TriangleOf        HeldCycle, FastPath
//   HeldSquareSums               square                                 waves/square.h    HeldSquare, FastPath
//     SettledRun                 a level has filled the ring, |sum| in  waves/square.h    HeldSquare, FastPath
//                                the shortcut's range
//   HeldSquareAverages           square, after its sums                 SmoothedOf        HeldSquare, FastPath
//   HeldSilent                   any other wave selector                waves/silent.h    HeldCycle (unlisted wave)
// Modulated                      every other stretch (RunModulated)     modulated_loop.h  FastPath, Linked
//   MeasureAndCount              sine, triangle, running square         RescaledProduct   ModulatedCount, FastPath
//     AllDecided                 after the grouped counts, always       IsDecided         ModulatedCount, FastPath
//     CountedAgain               a rescale product near a half          CountActive       ModulatedCount
//   SplitSineEntries             sine, the table's split gives every    split_sine.h      FastPath, Linked
//                                entry (SplitSineOf; every common rate)
//   SineTableEntries             sine, the split refuses an entry; in   SineValue         ModulatedSine (forced)
//                                the test build also when forced
//   SineIndexesAhead             sine, every sample active              SineIndexNearest  FastPath, Linked
//   SineIndexesAheadWithInactive sine, some sample inactive             SineIndexNearest  FastPath, Linked
//   SineOutputs                  sine, every sample active              RenderedPairs     FastPath, Linked
//   SineOutputsWithInactive      sine, some sample inactive             RenderedPairs     FastPath, Linked
//   TriangleOutputs              triangle, every sample active          waves/triangle.h  FastPath, Linked
//   TriangleOutputsWithInactive  triangle, some sample inactive         waves/triangle.h  FastPath, Linked
//   SquareFollower               square while SquareSmoother::Running   SquareFollower    FastPath, ModulatedCount
//                                and StartsWithinLimit (the leak keeps
//                                the sum far within it)
//     SquareFollowerFour         a group of four active samples; every  LeakyUpdate-      FastPath, ModulatedSquare,
//                                sum of the stretch within the limit    HeldAsDouble      HeldSquare, RoundedToSingle
//     SquareFollowerLanes        any other group (an inactive sample,   LeakyStep         FastPath, ModulatedSquare
//                                or the last one to three samples)
//     SquareFollowerFinish       after its stretch, always              SquareFollower    FastPath, ModulatedCount
//   SquareOutputs                running square, every sample active    SmoothedOf        FastPath, ModulatedCount
//   SquareOutputsWithInactive    running square, some sample inactive   SmoothedOf        FastPath, ModulatedCount
//   RenderModulated              other selectors; the square before its CountChain::Step  FastPath (unlisted wave,
//                                first step, with W <= 1, or not                          rates 881 and 1763)
//                                StartsWithinLimit
// SmootherRecompute              square, a step whose window is not the SmootherStep      HeldSquare, FastPath,
//                                previous step's (the first step): the                    Stepwise
//                                ring summed again; on every path
// (FastPath and Linked: the differential suites FastPathDifferential and LinkedDifferential.) The test
// build counts each row (path_counters.h, in the map's order), and a run of the whole differential
// program fails unless every row ran.
#include <algorithm>
#include <optional>

#include "checked_convert.h"
#include "engine_steps.h"
#include "float_environment.h"
#include "path_counters.h"
#include "shared_sine_table.h"
#include "tr_process_routine.h"
#include "vexlo_module.h"
#include "waves/wave_list.h"

// The Wave list values the host is offered are the waves' selectors.
static_assert(vexlo::SineWave::kSelector == VexloModule::kWaveSine);
static_assert(vexlo::TriangleWave::kSelector == VexloModule::kWaveTriangle);
static_assert(vexlo::SquareWave::kSelector == VexloModule::kWaveSquare);

namespace {

// The stretches of one block at [offset, end), each by the path its inputs and the table allow.
template <class Wave>
void RunStretches(const vexlo::Block& block, const vexlo::Tables& tables, int32_t offset, int32_t end,
                  vexlo::Cycle& cycle, Wave wave) {
    const std::optional<vexlo::ExactTables> exact =
        vexlo::paths::StepwiseForced() ? std::nullopt : vexlo::ExactTables::Checked(tables);
    for (int32_t from = offset; from < end;) {
        const int32_t n = std::min(end - from, vexlo::kStretch);
        if (!exact) {
            VEXLO_COUNT_PATH(Stepwise);
            vexlo::RunStepwise(block, tables, from, n, cycle, wave);
        } else if (const vexlo::HeldInputs held = vexlo::HeldInputsOf(block, from, n);
                   held.cycle && vexlo::RunHeldCycle(block, *exact, from, n, held, cycle, wave)) {
            // Done: the cycle held, and every sample was active or the frequency made every one inactive.
            VEXLO_COUNT_PATH(HeldCycle);
        } else {
            VEXLO_COUNT_PATH(Modulated);
            vexlo::RunModulated(block, *exact, from, n, cycle, wave);
        }
        from += n;
    }
}

}  // namespace

bool VexloModule::HoldSineTable(int32_t sample_rate) {
    if (sample_rate < 1 || sample_rate > vexlo::kMaxSampleRate) {
        ReleaseSineTable();
        return false;
    }
    // The new table is taken before the old one is let go, so that re-opening the only instance at a
    // rate keeps the table rather than building it again.
    const int32_t length = vexlo::kTableSecondsPerCycle * sample_rate;
    const float* table = vexlo::AcquireSineTable(length);
    ReleaseSineTable();
    if (!table) return false;
    m_sine_table = table;
    m_table_length = length;
    return true;
}

void VexloModule::ReleaseSineTable() {
    vexlo::ReleaseSineTable(m_sine_table);
    m_sine_table = nullptr;
    m_table_length = 0;
}

void VexloModule::Open() {
    {
        const vexlo::DefaultFloatEnvironment environment;

        // A second open starts afresh: the earlier smoother goes, and the sine table is exchanged for
        // the one at the current rate.
        ReleaseSmoother();
        m_int_sample_rate = 0;

        // Sample rate, sine table and smoother. A rate that is not a number, below 1 Hz or too large
        // for the table, or a failed allocation, leaves no tables: the module then runs inactive.
        int32_t rate = 0;
        const bool usable = vexlo::TruncToInt32(static_cast<double>(GetSampleRate()), &rate) && rate >= 1 &&
                            rate <= vexlo::kMaxSampleRate;
        if (usable && HoldSineTable(rate) && SetupSmoother(rate)) {
            m_int_sample_rate = rate;
        } else {
            ReleaseSineTable();
            ReleaseSmoother();
        }

        // The cycle starts afresh on the first active sample; nothing remembered from before applies.
        StoreCycle({-1, -1});
    }

    // Host calls, in this order whether or not the tables were built, in the host's own environment.
    SetProcessFunction(TRProcessRoutine<VexloModule, &VexloModule::Process>);
    TRModule_base::Open();
    // A host that keeps fewer pins than the table describes has no Out pin to announce; the clock is
    // asked for either way.
    AnnouncePinState(kPinOut, PIN_STATE_RUNNING);
}

void VexloModule::Close() {
    ReleaseSineTable();
    ReleaseSmoother();
}

void VexloModule::Process(int32_t offset, int32_t count) {
    // Buffers are read afresh for every block; a block that cannot be processed leaves all as it was.
    if (!TRProcessableBlock(offset, count)) return;
    const vexlo::Block block{m_in,   m_depth,           m_offset,          m_freq, m_phase, m_out,
                             m_wave, m_freq_scale != 0, m_depth_scale != 0};
    if (!block.in || !block.depth || !block.offset || !block.freq || !block.phase || !block.out) return;
    const int32_t end = offset + count;

    const vexlo::DefaultFloatEnvironment environment;
    vexlo::Cycle cycle = LoadCycle();

    // Without tables the oscillator never runs: every sample is inactive.
    if (!TablesBuilt()) {
        VEXLO_COUNT_PATH(NoTables);
        for (int32_t at = offset; at < end; ++at) block.out[at] = vexlo::InactiveOutput(block.offset[at], block.in[at]);
        StoreCycle({-1, -1});
        return;
    }

    const vexlo::Tables tables{m_sine_table, m_table_length, m_int_sample_rate, m_smooth_window};
    vexlo::SquareSmoother smoother = LoadSmoother();
    vexlo::WithWave(block.wave, {m_sine_table, m_table_length, &smoother},
                    [&](auto wave) { RunStretches(block, tables, offset, end, cycle, wave); });
    StoreCycle(cycle);
    StoreSmoother(smoother);
}

vexlo::Cycle VexloModule::LoadCycle() const { return {m_count, m_period}; }

void VexloModule::StoreCycle(const vexlo::Cycle& cycle) {
    m_count = cycle.count;
    m_period = cycle.period;
}

double VexloModule::Waveform(int16_t selector, int32_t position, int32_t period) {
    // Outside 0 <= position < period there is no wave to speak of.
    if (position < 0 || position >= period || !TablesBuilt()) return 0.0;
    // The wave's defined value, on the module's own smoother (stepped as one of its samples would, and
    // stored back).
    vexlo::SquareSmoother smoother = LoadSmoother();
    const double value = vexlo::WithWave(selector, {m_sine_table, m_table_length, &smoother},
                                         [&](auto wave) { return wave.Value(position, period); });
    StoreSmoother(smoother);
    return value;
}
