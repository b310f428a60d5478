// One module instance made by the loaded library and driven as a host drives it, with the least host
// of its own: its pins point at buffers the caller owns (several instances may share them), and the
// callback answers only the pin count and a sample clock of 0. So what an instance costs in time and
// memory is the module's alone.
#ifndef VEXLO_BENCH_INSTANCE_H
#define VEXLO_BENCH_INSTANCE_H

#include <cstdint>
#include <memory>
#include <string>

#include "module_library.h"
#include "trmod_interface.h"

namespace vexlo::bench {

// The pin buffers a block reads and writes.
struct PinBuffers {
    float* in;
    float* depth;
    float* offset;
    float* freq;
    float* phase;
    float* out;
};

// The module library every benchmark loads: the one this build made, unless UseLibrary named another
// before the first benchmark ran (an A/B comparison of two builds runs one bench against both).
void UseLibrary(const std::string& path);
const std::string& LibraryInUse();

// That library, loaded once for the whole run (exits with a message when it cannot be).
const trhost::ModuleLibrary& Library();

class BenchInstance {
public:
    // Makes an instance, sets its sample rate and list values and points its pins at `buffers`; Open
    // is separate so that it can be timed.
    BenchInstance(float sample_rate, const PinBuffers& buffers, int16_t wave = 0, uint16_t freq_scale = 0,
                  uint16_t depth_scale = 0);
    // Closes the instance.
    ~BenchInstance();
    BenchInstance(const BenchInstance&) = delete;
    BenchInstance& operator=(const BenchInstance&) = delete;

    void Open() { Dispatch(DISP_OPEN); }
    void Process(int32_t offset, int32_t count) { m_record->process(m_record->object, offset, count); }

private:
    int32_t Dispatch(int32_t opcode, int32_t index = 0, int32_t value = 0, void* ptr = nullptr, float opt = 0.0f) {
        return m_record->dispatcher(m_record, opcode, index, value, ptr, opt);
    }

    TRMod_struct* m_record = nullptr;
};

}  // namespace vexlo::bench

#endif  // VEXLO_BENCH_INSTANCE_H
