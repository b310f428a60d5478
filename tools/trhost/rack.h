// The host at work: every instance of a patch loaded, described, set up, wired, opened and driven
// block by block, the way the Tavrisk host drives its modules.
//
// Per instance the host sets the sample rate and block size, describes the pins, gives every pin a
// buffer of one block, fills each unwired input from its value (set, or the pin's default) and points
// each wired input at its source's output buffer. It opens the instances in processing order and then
// tells each of its input states: static for a constant, and for a wired input the state its source
// announced for that output (running if it announced none). Per block it calls every instance in
// processing order, so that an input sees its source's output of the same block; the sample clock then
// advances by the block. A state a source announces while running is passed on to its wired inputs at
// the next call of those instances. Before each call, the signal on every wired input whose pin states
// a range is held against that range (wire_ranges.h).
#ifndef TRHOST_RACK_H
#define TRHOST_RACK_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "audio_source.h"
#include "host_instance.h"
#include "module_info.h"
#include "module_library.h"
#include "patch_plan.h"
#include "pin_values.h"
#include "wire_ranges.h"

namespace trhost {

// What a run produced: one channel per output pin, in the patch's order.
struct Rendering {
    double rate = 0;
    int32_t block = 0;
    int64_t frames = 0;
    std::vector<std::string> channel_names;    // "Out", or "car.Out" in a patch of several instances
    std::vector<std::vector<float>> channels;  // `frames` samples each, as the modules wrote them
};

class Rack {
public:
    // Loads the libraries, creates and describes every instance, decodes the audio files with `sources`
    // and checks every setting, wire and output against the descriptions. Throws CommandError: load,
    // module, settings, patch or source stage (a patch with files but no loader: patch stage).
    Rack(const PatchPlan& plan, const RunSettings& run, const AudioSourceLoader& sources = nullptr);
    ~Rack();
    Rack(const Rack&) = delete;
    Rack& operator=(const Rack&) = delete;

    // Runs the patch once, from open to close.
    Rendering Run();

    // Things the user should hear about that do not stop the run (values outside a pin's range).
    const std::vector<std::string>& Warnings() const { return m_warnings; }
    // Of those, the values set outside the range their pin states.
    const std::vector<std::string>& SetValuesOutOfRange() const { return m_set_out_of_range; }
    // After Run: the wires whose signal left the range the receiving pin states.
    std::vector<RangeExcursion> RangeExcursions() const { return m_ranges.Excursions(); }
    // Things done on the user's behalf that change no result they asked for (a file resampled).
    const std::vector<std::string>& Notes() const { return m_notes; }
    // One line per instance: its name, its module and what was set and wired; then one per audio file.
    // For titles.
    std::vector<std::string> Summary() const;
    // One instance as a patch author builds it in the host.
    struct InstanceSetup {
        std::string name;                   // "lfo"
        std::string module;                 // the module's own name, "VEXLO"
        std::string library;                // the path it was loaded from
        std::vector<std::string> settings;  // the values set, "Freq=4 V (4 Hz)"
        std::vector<std::string> wires;     // "Time <- lfo.Out", "In <- chord.1"
    };
    // Every instance in the order it is processed (sources first).
    std::vector<InstanceSetup> Setup() const;
    // The module name of the first instance (for a render's title).
    std::string FirstModuleName() const;
    // The module name of every instance, in the patch's order.
    std::vector<std::string> ModuleNames() const;
    // Instance names in the order they are processed.
    std::vector<std::string> ProcessingOrder() const;

private:
    struct Source {
        size_t module = 0;  // index into m_modules; unused for a file
        int32_t pin = 0;    // its output pin, or the file's channel counted from 0
        size_t reports_seen = 0;
        int32_t state_sent = -1;
        size_t file = static_cast<size_t>(-1);  // index into m_files, or none: a module's output
    };
    struct Output {
        size_t module = 0;
        int32_t pin = 0;
        std::string name;
    };
    struct Instance {
        std::string name;
        std::string label;  // error prefix: "" or "FILE: module "name": "
        ModuleLibrary* library = nullptr;
        ModuleInfo info;
        std::unique_ptr<HostInstance> host;
        std::vector<PinDescription> pins;
        std::map<int32_t, PinValue> values;  // unwired settable pins
        std::map<int32_t, Source> wires;     // wired input pin -> its source
        std::map<int32_t, size_t> watched;   // wired input pin with a range text -> its index in m_ranges
        std::vector<std::string> settings_shown;  // "Freq=4 V (4 Hz)"
        std::vector<std::string> wires_shown;     // "Freq <- mod.Out"
    };

    // An audio file's channels and the block buffers they feed the wired inputs from.
    struct FileFeed {
        std::string name;
        AudioSource source;
        std::vector<std::vector<float>> blocks;  // one block per channel
    };

    ModuleLibrary& LoadLibrary(const std::string& path);
    void LoadFiles(const PatchPlan& plan, const AudioSourceLoader& sources);
    size_t FindFile(const std::string& name) const;  // npos when none
    Source FileChannel(const PinRef& ref, const std::string& refuse_prefix) const;
    void FeedFiles(int64_t done, int32_t count);
    // "chord: FILE, 1 channel at 48000 Hz, resampled to 44100 Hz", for titles.
    static std::string FileSummary(const FileFeed& feed);
    void CreateInstance(const ModulePlan& plan, const std::string& origin);
    void ApplySettings(Instance& instance, const ModulePlan& plan);
    void ApplyWires(size_t target, const ModulePlan& plan);
    // Follows the signal `source` ("mod.Out", "chord.1") puts on `pin` when the pin states a range.
    void WatchRange(Instance& instance, const PinDescription& pin, const std::string& source);
    void ChooseOutputs(const PatchPlan& plan);
    void OrderByWires(const std::string& origin);
    size_t FindInstance(const std::string& name) const;  // npos when none
    void PassOnSourceStates(Instance& instance, bool initial);

    RunSettings m_run;
    // Libraries outlive the instances made from them: declared first, destroyed last.
    std::map<std::string, std::unique_ptr<ModuleLibrary>> m_libraries;
    std::vector<Instance> m_modules;
    std::vector<FileFeed> m_files;
    std::vector<size_t> m_order;  // processing order, sources before the inputs they feed
    std::vector<Output> m_outputs;
    std::vector<std::string> m_warnings;
    std::vector<std::string> m_set_out_of_range;
    WireRangeWatch m_ranges;
    std::vector<std::string> m_notes;
};

}  // namespace trhost

#endif  // TRHOST_RACK_H
