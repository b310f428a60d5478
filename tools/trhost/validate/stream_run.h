// One instance driven through whole input streams, a process call at a time, with its output kept:
// the runs that the partition, isolation, determinism and thread checks compare. A run touches no
// CheckContext, so runs can go on other threads; what it saw comes back as text.
#ifndef TRHOST_VALIDATE_STREAM_RUN_H
#define TRHOST_VALIDATE_STREAM_RUN_H

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "input_streams.h"
#include "list_settings.h"
#include "module_session.h"
#include "partition.h"

namespace trhost::validate {

// What one instance is given: its rate, the block size the host sets, its list settings and its
// input streams. The settings' pins and the streams belong to the check and outlive the runs.
struct Scenario {
    float rate = 44100.0f;
    int32_t block_size = 256;
    ListSetting lists;
    const InputStreams* inputs = nullptr;

    // "44100 Hz, Wave=square, Freq scale=Hz"
    std::string Describe() const;
    int32_t Length() const;
};

// Each output's samples over the whole run, by pin index.
using OutputStreams = std::map<int32_t, std::vector<float>>;

class StreamRun {
public:
    StreamRun(const ModuleLibrary& library, const Scenario& scenario, const Partition& partition, uint32_t seed);

    // makeModule, DISP_OPEN, and PIN_STATE_RUNNING for every input, since every input moves. False
    // when makeModule refused.
    bool Start();
    bool Done() const { return m_next_call >= m_partition.calls.size(); }
    // The next process call.
    void Step();
    // Samples made so far.
    int32_t Position() const { return m_position; }
    // The call Step makes next, counted from 0.
    size_t NextCall() const { return m_next_call; }
    // The instance's session, for what a check does between calls (moving buffers, block sizes).
    ModuleSession& Session() { return m_session; }
    void Close();

    const OutputStreams& Outputs() const { return m_outputs; }
    // Memory faults seen (writes outside the block, changed inputs, writes into buffers the host took
    // back), the first few.
    const std::vector<std::string>& Faults() const { return m_faults; }

private:
    const Scenario& m_scenario;
    const Partition& m_partition;
    Random m_random;
    ModuleSession m_session;
    size_t m_next_call = 0;
    int32_t m_position = 0;
    OutputStreams m_outputs;
    std::vector<std::string> m_faults;
};

struct RunResult {
    bool made = false;  // makeModule answered a record
    OutputStreams outputs;
    std::vector<std::string> faults;
};

// What a check's host does between calls of a run (moves buffers, changes the block size), just
// before each call.
using BeforeCall = std::function<void(StreamRun& run)>;

// A whole life of one instance, alone: Start, every call of the partition, Close.
RunResult RunAlone(const ModuleLibrary& library, const Scenario& scenario, const Partition& partition, uint32_t seed,
                   const BeforeCall& before_call = {});

// The first sample at which two runs' outputs differ. Samples count as the same when their bits are
// equal, or when both are NaN: a deterministic module computes the same floats the same way.
struct Difference {
    bool found = false;
    int32_t pin = 0;
    int32_t sample = 0;
    float expected = 0.0f;
    float got = 0.0f;
    double largest = 0.0;  // the largest difference over the whole run, relative to the larger sample
};
// Compares the first `length` samples of each output (all of them when negative).
Difference FirstDifference(const OutputStreams& expected, const OutputStreams& got, int32_t length = -1);

// After a run differed from `reference`: whether the reference, run once more alike, gives the same
// output again. When it does not, the module's output is not a function of its input and a comparison
// of cuts or neighbours says nothing (the determinism check reports it).
bool Reproducible(const ModuleLibrary& library, const Scenario& scenario, const Partition& partition, uint32_t seed,
                  const RunResult& reference);
extern const char* const kNotReproducible;

// The pins a module describes, from an instance made and closed for the purpose; none when makeModule
// refused.
std::optional<std::vector<DrivenPin>> ProbePins(const ModuleLibrary& library, Random& random);

// The list settings a comparing check goes through at `level`: at the quickest two of them, at the
// default up to `most`, at the deepest all of them.
std::vector<ListSetting> SettingsForLevel(const std::vector<DrivenPin>& pins, int level, size_t most, Random& random);

// "pin 3 (Out)", or "pin 3" for a pin not among `pins`.
std::string PinLabel(const std::vector<DrivenPin>& pins, int32_t index);

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_STREAM_RUN_H
