// Counters of the engine's paths and innermost loops, one per row of the map at the top of
// oscillator_engine.cpp, for the test build only: there the engine's objects are compiled a second
// time with VEXLO_PATH_COUNTERS defined, and the differential tests assert that every path ran. In the
// shipped library VEXLO_COUNT_PATH is nothing at all, so its code and exports do not change.
//
// The test build also has two switches: ForceStepwise makes every stretch take the stepwise path, which
// otherwise runs only with tables too long for exact products (sample rates above ~3.16 MHz, tables of
// hundreds of megabytes), so that the differential tests can compare it with the literal engine on an
// ordinary table; ForceSineTableReads makes the modulated sine read its table, which otherwise happens
// only at a rate whose split sine does not give every entry (none of the common ones).
//
// Threads: the counters and the switches are plain globals, read and written by the test's own thread
// between its process calls; the programs that link the counted engine run one instance at a time.
#ifndef VEXLO_PATH_COUNTERS_H
#define VEXLO_PATH_COUNTERS_H

#include <cstdint>

// Every path and innermost loop of the map, in its order.
#define VEXLO_ENGINE_PATHS(X)       \
    X(NoTables)                     \
    X(Stepwise)                     \
    X(HeldInputsOf)                 \
    X(Measure)                      \
    X(HeldCycle)                    \
    X(AllDepthsActive)              \
    X(HeldDeclined)                 \
    X(HeldInactive)                 \
    X(FillInactive)                 \
    X(WriteInactive)                \
    X(HeldGains)                    \
    X(InGains)                      \
    X(SampleGains)                  \
    X(HeldLoopStepwise)             \
    X(SteppedIndexes)               \
    X(SteppedIndexesByResidue)      \
    X(UnitGainOutputs)              \
    X(HeldSineOutputs)              \
    X(HeldTrianglePairs)            \
    X(HeldSquareSums)               \
    X(SettledRun)                   \
    X(HeldSquareAverages)           \
    X(HeldSilent)                   \
    X(Modulated)                    \
    X(MeasureAndCount)              \
    X(AllDecided)                   \
    X(CountedAgain)                 \
    X(SplitSineEntries)             \
    X(SineTableEntries)             \
    X(SineIndexesAhead)             \
    X(SineIndexesAheadWithInactive) \
    X(SineOutputs)                  \
    X(SineOutputsWithInactive)      \
    X(TriangleOutputs)              \
    X(TriangleOutputsWithInactive)  \
    X(SquareFollower)               \
    X(SquareFollowerFour)           \
    X(SquareFollowerLanes)          \
    X(SquareFollowerFinish)         \
    X(SquareOutputs)                \
    X(SquareOutputsWithInactive)    \
    X(RenderModulated)              \
    X(SmootherRecompute)

namespace vexlo::paths {

#define VEXLO_PATH_ENUMERATOR(name) k##name,
enum class Path : int32_t { VEXLO_ENGINE_PATHS(VEXLO_PATH_ENUMERATOR) kCount };
#undef VEXLO_PATH_ENUMERATOR

#ifdef VEXLO_PATH_COUNTERS
// Times the path was entered since the program started or Reset last ran.
int64_t& Counter(Path path);
// The path's name: its row in the map.
const char* Name(Path path);
// Sets every counter to 0.
void Reset();
// While set, every stretch of a block with tables takes the stepwise path.
void ForceStepwise(bool force);
bool StepwiseForced();
// While set, the modulated sine reads its table, as at a rate whose split does not give every entry.
void ForceSineTableReads(bool force);
bool SineTableReadsForced();
#else
constexpr bool StepwiseForced() { return false; }
constexpr bool SineTableReadsForced() { return false; }
#endif

}  // namespace vexlo::paths

#ifdef VEXLO_PATH_COUNTERS
#define VEXLO_COUNT_PATH(name) (++::vexlo::paths::Counter(::vexlo::paths::Path::k##name))
// A loop compiled twice, for stretches with an inactive sample (its name with WithInactive) and without.
#define VEXLO_COUNT_PATH_BY_INACTIVE(name, any_inactive)                                                  \
    (++::vexlo::paths::Counter((any_inactive) ? ::vexlo::paths::Path::k##name##WithInactive \
                                              : ::vexlo::paths::Path::k##name))
#else
#define VEXLO_COUNT_PATH(name) static_cast<void>(0)
#define VEXLO_COUNT_PATH_BY_INACTIVE(name, any_inactive) static_cast<void>(0)
#endif

#endif  // VEXLO_PATH_COUNTERS_H
