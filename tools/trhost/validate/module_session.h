// One module instance driven the way the validator drives it: made, described and wired with a
// guarded buffer behind every audio pin, opened at a chosen rate, and run block by block with the
// inputs it is told to feed. After every block it reports what it saw in the buffers; after every
// call into the module it watches the floating-point control state and the record's process entry.
#ifndef TRHOST_VALIDATE_MODULE_SESSION_H
#define TRHOST_VALIDATE_MODULE_SESSION_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "allocation_counter.h"
#include "driven_pin.h"
#include "fp_control.h"
#include "guarded_buffer.h"
#include "host_call_audit.h"
#include "host_instance.h"
#include "input_signal.h"
#include "list_settings.h"
#include "random.h"

namespace trhost::validate {

// What one block left in the buffers, one line per pin and kind of finding.
struct BlockFindings {
    std::vector<std::string> outside_writes;  // a buffer changed outside [offset, offset + count)
    std::vector<std::string> changed_inputs;  // an input buffer came back changed
    std::vector<std::string> nonfinite_outputs;
    std::vector<std::string> denormal_outputs;
    std::vector<std::string> unwritten_outputs;  // output samples the module left alone
    std::vector<std::string> stale_writes;       // a buffer the host lent before it moved the pin was written

    bool Clean() const {
        return outside_writes.empty() && changed_inputs.empty() && nonfinite_outputs.empty() &&
               denormal_outputs.empty() && unwritten_outputs.empty() && stale_writes.empty();
    }
};

class ModuleSession {
public:
    static constexpr int32_t kLongestBlock = 4096;
    // Room behind the longest block for the random offsets the sweeps use.
    static constexpr int32_t kBufferLength = kLongestBlock + 256;
    // Pins the host keeps beyond the described ones when the last description asks for repetition.
    static constexpr int32_t kExtraRepeatedPins = 2;

    // Every audio pin gets a guarded buffer of `buffer_length` samples.
    ModuleSession(const ModuleLibrary& library, Random& random, int32_t buffer_length = kBufferLength);
    ModuleSession(const ModuleSession&) = delete;
    ModuleSession& operator=(const ModuleSession&) = delete;
    ~ModuleSession();

    // makeModule, the pin descriptions, and the wiring: a guarded buffer for every audio pin, list
    // members at their defaults, inputs set to feed their defaults. False when makeModule refused.
    bool Create();
    // The same with a chosen host handle (0: one unique to the instance).
    bool Create(uint32_t host_handle);
    // DISP_SET_SAMPLE_RATE, DISP_SET_BLOCK_SIZE (the longest block) and DISP_OPEN.
    void Open(float sample_rate);
    void Open(float sample_rate, int32_t block_size);
    // DISP_SET_BLOCK_SIZE on an open instance, as a host may send it between any two blocks.
    void SetBlockSize(int32_t block_size);
    // DISP_CLOSE; answers the module's answer.
    int32_t Close();
    // The rate the session last opened at.
    float SampleRate() const { return m_sample_rate; }
    int32_t BufferLength() const { return m_buffer_length; }

    HostInstance& Host() { return m_host; }
    const std::vector<DrivenPin>& Pins() const { return m_pins; }
    const std::vector<PinDescription>& Descriptions() const { return m_descriptions; }

    void SetList(const DrivenPin& pin, int32_t value);
    void SetInput(const DrivenPin& pin, const InputSignal& signal);
    // Every list at its default and every input feeding its default.
    void SetDefaults();
    // Every audio input feeding a random in-range signal (RandomInRangeSignal).
    void SetRandomInRangeInputs();
    // The lists as `setting` has them.
    void SetLists(const ListSetting& setting);
    // "Wave=square Freq=ramp 0..2": what the next block is fed, for messages.
    std::string DescribeSettings() const;
    // With decoys on, the samples of an input buffer outside the block hold in-range values that
    // are not the input's (the block's neighbours in another stream), rather than canaries: a module
    // that reads outside its block then reads plausible numbers, and its output shows it.
    void SetInputDecoys(bool on);
    // The buffer of an audio pin, as the module sees it (the block of the last call starts at its
    // offset).
    const float* Buffer(const DrivenPin& pin) const;
    // Whether the host can move the pin's buffer: an audio pin whose address lives in a module member.
    // A pin without one keeps the address it asked for in Open (HOST_GET_PIN_BUFFER) for good.
    static bool Movable(const DrivenPin& pin);
    // Hands every movable pin a fresh guarded buffer and writes its address into the pin's member, as
    // a host does between any two process calls. The buffers lent before stay allocated and full of
    // canaries: a module that still reads one reads NaN, and one that writes into one is reported
    // (BlockFindings::stale_writes).
    void MoveBuffers();
    // Points `pin`'s member at `source`'s buffer, as a host does when one output feeds both inputs.
    // Both are then one buffer, holding whatever the later of the two in pin order is fed: the caller
    // feeds them the same samples.
    void ShareBuffer(const DrivenPin& pin, const DrivenPin& source);

    // Feeds the inputs, runs one block through the record's process entry, checks every buffer and
    // advances the sample clock by `count`.
    BlockFindings Process(int32_t offset, int32_t count);
    // One block through the record's process entry and nothing more: no feeding, no canaries, no
    // findings; the watches on every call into the module still run. For long stretches of held
    // input, once a Process of the same offset and count has put the inputs in place: the caller
    // reads the output from Buffer.
    void ProcessBare(int32_t offset, int32_t count);
    // Delivers an event through the record's event entry; answers the module's answer.
    int32_t SendEvent(TREvent event);
    // An event of `type` at the current sample clock, parameters 0.
    TREvent EventNow(int32_t type) const;
    // A pin-status event for `pin` at the current sample clock.
    int32_t SendPinStatus(const DrivenPin& pin, int32_t state);

    // Counts the module's own allocations while its process routine and event entry run (from now
    // on, added up across calls), where allocations are counted at all.
    void CountAllocations(bool on) { m_count_allocations = on; }
    const AllocationWindow& ProcessAllocations() const { return m_process_allocations; }
    const AllocationWindow& EventAllocations() const { return m_event_allocations; }

    // "DISP_OPEN: the process entry changed without HOST_PROCESS_FUNCTION_CHANGED"
    const std::vector<std::string>& ProcessEntryFaults() const { return m_process_entry_faults; }
    // "process: MXCSR 0x1f80 -> 0x9fc0"; the state is put back after each such call.
    const std::vector<std::string>& FpControlFaults() const { return m_fp_faults; }
    // Host calls the interface does not allow at the moment they came (host_call_audit.h).
    const std::vector<std::string>& HostCallFaults() const { return m_host_call_faults; }

private:
    template <class Action>
    auto Call(const std::string& what, Action&& action, int32_t block = 0);
    // Runs `action` inside an allocation window when counting, adding what it saw to `total`.
    template <class Action>
    auto Counted(AllocationWindow& total, Action&& action);
    void WatchProcessEntry(const std::string& what);
    void FillDecoys(const DrivenPin& pin, GuardedBuffer& buffer);

    const ModuleLibrary& m_library;
    Random& m_random;
    int32_t m_buffer_length;
    HostInstance m_host;
    std::vector<PinDescription> m_descriptions;
    std::vector<DrivenPin> m_pins;
    std::map<int32_t, std::shared_ptr<GuardedBuffer>> m_buffers;  // by pin index, audio pins only
    // Buffers lent before a move, with the label of the pin that had them.
    std::vector<std::pair<std::string, std::shared_ptr<GuardedBuffer>>> m_retired;
    std::map<int32_t, InputSignal> m_inputs;                      // by pin index
    std::map<int32_t, int32_t> m_lists;                           // by pin index
    TRProcessEntry m_known_process = nullptr;
    float m_sample_rate = 44100.0f;
    std::vector<std::string> m_process_entry_faults;
    std::vector<std::string> m_fp_faults;
    std::vector<std::string> m_host_call_faults;
    std::map<int32_t, std::vector<float>> m_decoys;  // by pin index, audio inputs, while decoys are on
    bool m_count_allocations = false;
    AllocationWindow m_process_allocations;
    AllocationWindow m_event_allocations;
};

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_MODULE_SESSION_H
