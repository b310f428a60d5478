// Fuzz target: everything trhost reads from its user, as text. Bad input must end in a CommandError
// (one line for the user and an exit code), never in a crash, an undefined operation or any other
// exception. The first byte picks what the rest of the input is:
//   0  a patch file (JSON), then its run settings checked and its pin values resolved against VEXLO's
//      pins, as the patch command does;
//   1  --set values, one per line, resolved against VEXLO's pins, as the render command does;
//   2  pin texts, one per line, read as numbers, list values, range texts and list texts, and as the
//      range, list and default texts of a module's pin.
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "command_error.h"
#include "exit_codes.h"
#include "module_info.h"
#include "patch_file.h"
#include "patch_plan.h"
#include "pin_text.h"
#include "pin_values.h"
#include "trmod_interface.h"

extern "C" TRMod_struct* TR_CALL makeModule(int32_t index, int32_t kind, TRHostCallback host_callback,
                                            uint32_t host_handle);

namespace {

using namespace trhost;

// VEXLO's pin descriptions, copied out of an instance made once with the linked library.
std::vector<PinDescription> g_pins;

std::vector<PinDescription> DescribeModule() {
    std::vector<PinDescription> pins;
    TRMod_struct* record = makeModule(0, TR_KIND_MODULE, nullptr, 0);
    if (!record) return pins;
    for (int32_t index = 0; index < 64; ++index) {
        PinProperties properties{};
        if (!record->dispatcher(record, DISP_GET_PIN_PROPERTIES, index, 0, &properties, 0.0f)) break;
        pins.push_back(CopyPinDescription(index, properties));
        pins.back().variable_address = nullptr;  // the instance is closed below
    }
    record->dispatcher(record, DISP_CLOSE, 0, 0, nullptr, 0.0f);
    return pins;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

// One pin value as a user writes it; every failure must be a CommandError.
void ResolveSetting(const std::string& pin_name, const std::string& value) {
    std::vector<std::string> warnings;
    const PinDescription& pin = FindPin(g_pins, pin_name);
    if (IsSettable(pin)) ResolvePinValue(pin, value, &warnings);
}

void PatchFileText(const std::string& text) {
    PatchFile file = ParsePatchText(text, "fuzz/patch.json");
    RunSettings run;
    if (file.rate) run.rate = *file.rate;
    if (file.block) run.block = *file.block;
    if (file.seconds) run.seconds = *file.seconds;
    run.Check(kExitPatch, file.plan.origin);
    run.Frames();
    for (const ModulePlan& module : file.plan.modules) {
        for (const auto& [pin, value] : module.set) ResolveSetting(pin, value);
    }
}

void SetValues(const std::string& text) {
    for (const std::string& line : Lines(text)) {
        std::string pin, value;
        SplitAssignment(line, &pin, &value);
        ResolveSetting(pin, value);
    }
}

void PinTexts(const std::string& text) {
    for (const std::string& line : Lines(text)) {
        ParseNumber(line);
        ParseListValue(line);
        ParseRangeText(line);
        ParseListText(line);
        ParsePinRef(line);
        VoltsText(ParseNumber(line).value_or(0.0));

        // The same text as a module's own pin texts: a host must survive any module, too.
        std::vector<std::string> warnings;
        PinDescription audio;
        audio.name = "Audio";
        audio.datatype = DT_FSAMPLE;
        audio.default_text = line;
        audio.extra_text = line;
        DefaultPinValue(audio, &warnings);
        PinDescription list = audio;
        list.name = "List";
        list.datatype = DT_LIST;
        DefaultPinValue(list, &warnings);
        for (const std::string& value : {std::string("1"), line, std::string("sine")}) {
            try {
                ResolvePinValue(audio, value, &warnings);
            } catch (const CommandError&) {
            }
            try {
                ResolvePinValue(list, value, &warnings);
            } catch (const CommandError&) {
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_pins = DescribeModule();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    try {
        switch (data[0] % 3) {
            case 0: PatchFileText(text); break;
            case 1: SetValues(text); break;
            default: PinTexts(text); break;
        }
    } catch (const CommandError&) {
        // The error a user sees: the sound answer to bad input.
    }
    return 0;
}
