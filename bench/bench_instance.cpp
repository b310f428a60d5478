#include "bench_instance.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vexlo::bench {

namespace {

int32_t TR_CALL Callback(TRMod_struct*, int32_t opcode, int32_t, int32_t, void*, float) {
    constexpr int32_t kPins = 9;
    return opcode == HOST_GET_PIN_COUNT ? kPins : 0;
}

std::string& LibraryPath() {
    static std::string path = VEXLO_LIBRARY_PATH;
    return path;
}

}  // namespace

void UseLibrary(const std::string& path) { LibraryPath() = path; }

const std::string& LibraryInUse() { return LibraryPath(); }

const trhost::ModuleLibrary& Library() {
    static const std::unique_ptr<trhost::ModuleLibrary> library = [] {
        std::string error;
        auto loaded = trhost::ModuleLibrary::Load(LibraryPath(), &error);
        if (!loaded) {
            std::fprintf(stderr, "vexlo_bench: %s\n", error.c_str());
            std::exit(1);
        }
        return loaded;
    }();
    return *library;
}

BenchInstance::BenchInstance(float sample_rate, const PinBuffers& buffers, int16_t wave, uint16_t freq_scale,
                             uint16_t depth_scale) {
    m_record = Library().MakeModule()(0, TR_KIND_MODULE, Callback, 0);
    if (!m_record) {
        std::fprintf(stderr, "vexlo_bench: makeModule answered null\n");
        std::exit(1);
    }
    Dispatch(DISP_SET_SAMPLE_RATE, 0, 0, nullptr, sample_rate);

    // Pins in table order: In, Depth, Offset, Freq, Phase, Wave, Out, Freq scale, Depth scale.
    float* const audio[] = {buffers.in,    buffers.depth, buffers.offset, buffers.freq,
                            buffers.phase, nullptr,       buffers.out};
    const uint16_t lists[] = {static_cast<uint16_t>(wave), freq_scale, depth_scale};
    for (int32_t pin = 0; pin < 9; ++pin) {
        PinProperties properties{};
        if (!Dispatch(DISP_GET_PIN_PROPERTIES, pin, 0, &properties) || !properties.variable_address) continue;
        if (properties.datatype == DT_FSAMPLE && pin < 7) {
            std::memcpy(properties.variable_address, &audio[pin], sizeof(float*));
        } else if (properties.datatype == DT_LIST) {
            const uint16_t value = lists[pin == 5 ? 0 : pin - 6];
            std::memcpy(properties.variable_address, &value, sizeof value);
        }
    }
}

BenchInstance::~BenchInstance() { Dispatch(DISP_CLOSE); }

}  // namespace vexlo::bench
