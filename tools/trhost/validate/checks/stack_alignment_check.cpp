// The host's stack: 32-bit Windows promises a called function only 4-byte stack alignment, and hosts
// built by compilers that keep no more call modules that way. A module built to assume 16 bytes at
// its entries (g++'s -mincoming-stack-boundary=4) then crashes at its first aligned SSE store to the
// stack in every such host, while trhost.exe, built by g++, keeps 16 and would never show it. This
// check calls every entry, the two exports, the dispatcher, process and event, with the stack 4, 8
// and 12 bytes past a multiple of 16, and compares what comes out with the same calls on an aligned
// stack. On Linux the i386 ABI has every host keep 16 bytes: nothing to check there.
#include <cstring>

#include "check_steps.h"
#include "checks.h"
#include "stack_offset_call.h"
#include "stream_run.h"

namespace trhost::validate {

namespace {

constexpr uint32_t kOffsets[] = {4, 8, 12};
constexpr int32_t kLength = 4096;
constexpr int32_t kHostBlock = 256;
constexpr float kRate = 44100.0f;

const char* const kFix =
    "build it without assuming 16-byte alignment at its entries: drop -mincoming-stack-boundary=4, or realign "
    "there (-mstackrealign, or __attribute__((force_align_arg_pointer)) on the exports, dispatcher, process and "
    "event routines)";

// The host's calls into the module all go through CallWithStackOffset at this offset while an
// OffsetEntries lives.
uint32_t g_offset = 0;
uint32_t CallAtOffset(const void* entry, const uint32_t* arguments, int32_t count) {
    return CallWithStackOffset(entry, arguments, count, g_offset);
}

class OffsetEntries {
public:
    explicit OffsetEntries(uint32_t offset) {
        g_offset = offset;
        SetEntryCaller(CallAtOffset);
    }
    ~OffsetEntries() { SetEntryCaller(nullptr); }
    OffsetEntries(const OffsetEntries&) = delete;
    OffsetEntries& operator=(const OffsetEntries&) = delete;
};

std::string StackText(uint32_t offset) {
    return "on a stack " + std::to_string(16 - offset) + " bytes past a multiple of 16";
}

// What a crash in the stage means, said in the stage itself, which is what a crash report quotes.
[[maybe_unused]] std::string Stage(const std::string& calls, uint32_t offset) {
    return calls + " " + StackText(offset) + "; a crash here is a stack-alignment fault: " + kFix;
}

struct Described {
    uint32_t answer = 0;
    ModuleProperties record{};
};

[[maybe_unused]] Described Describe(const ModuleLibrary& library, uint32_t offset) {
    Described described;
    const uint32_t arguments[] = {0, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&described.record))};
    described.answer =
        CallWithStackOffset(reinterpret_cast<const void*>(library.GetModuleProperties()), arguments, 2, offset);
    return described;
}

}  // namespace

void CheckStackAlignment(CheckContext& context) {
#if !defined(_WIN32)
    context.Skip(
        "Linux hosts keep the stack aligned to 16 bytes, as the i386 ABI asks; trhost.exe checks Windows modules, "
        "whose hosts may keep 4");
#else
    auto probed = ReadPins(context);
    if (!probed) return;
    const std::vector<DrivenPin>& pins = *probed;

    context.Stage("getModuleProperties(0) on an aligned stack");
    Described aligned = Describe(context.Library(), 0);
    for (uint32_t offset : kOffsets) {
        context.Stage(Stage("getModuleProperties(0)", offset));
        Described described = Describe(context.Library(), offset);
        if (described.answer != aligned.answer ||
            std::memcmp(&described.record, &aligned.record, sizeof aligned.record) != 0) {
            context.Fail("getModuleProperties(0) " + StackText(offset) + " answers otherwise than on an aligned stack");
        }
    }

    ListSetting setting = SettingsForLevel(pins, kQuickestLevel, 1, context.Rng()).front();
    InputStreams streams = MovingStreams(pins, kLength, context.Rng());
    Scenario scenario{kRate, kHostBlock, setting, &streams};
    Partition whole = WholeBlocks(kLength, kHostBlock);
    uint32_t seed = context.Rng().Between(0, INT32_MAX);
    context.Stage("a run on an aligned stack: " + scenario.Describe());
    RunResult reference;
    {
        OffsetEntries entries(0);
        reference = RunAlone(context.Library(), scenario, whole, seed);
    }
    if (!reference.made) {
        context.Fail("makeModule(0, 1) answered null");
        return;
    }
    for (uint32_t offset : kOffsets) {
        context.Stage(Stage("makeModule, dispatcher, process and event calls", offset));
        RunResult run;
        {
            OffsetEntries entries(offset);
            run = RunAlone(context.Library(), scenario, whole, seed);
        }
        for (const auto& fault : run.faults) context.Fail(fault + " (" + StackText(offset) + ")");
        if (!run.made) {
            context.Fail("makeModule(0, 1) answered null " + StackText(offset));
        } else if (Difference difference = FirstDifference(reference.outputs, run.outputs); difference.found) {
            if (!Reproducible(context.Library(), scenario, whole, seed, reference)) {
                context.Skip(kNotReproducible);
                return;
            }
            context.Fail(PinLabel(pins, difference.pin) + " sample " + std::to_string(difference.sample) + " is " +
                         SampleText(difference.got) + " " + StackText(offset) + " but " +
                         SampleText(difference.expected) + " on an aligned stack (" + scenario.Describe() +
                         "); a module whose output depends on the stack's alignment assumes it: " + kFix);
        }
    }
    context.Info("every entry called on stacks 4, 8 and 12 bytes past a multiple of 16 gives what it gives aligned");
#endif
}

}  // namespace trhost::validate
