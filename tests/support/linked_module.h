// One VexloModule linked into the test, served by a FakeHost and driven through its record by a
// ModuleRig. Closes the module (through DISP_CLOSE) when the test ends, unless the test did.
#ifndef VEXLO_TESTS_LINKED_MODULE_H
#define VEXLO_TESTS_LINKED_MODULE_H

#include <cstdint>

#include "fake_host.h"
#include "module_rig.h"
#include "vexlo_module.h"

class LinkedModule {
public:
    explicit LinkedModule(int32_t capacity = 4096, TRHostCallback callback = FakeHost::Callback)
        : module(new VexloModule(callback, 0xC0FFEEu)), rig(module->Plug(), capacity) {
        host.pin_count = VexloModule::kPinCount;
    }
    ~LinkedModule() {
        if (rig.record()) rig.Close();
    }
    LinkedModule(const LinkedModule&) = delete;
    LinkedModule& operator=(const LinkedModule&) = delete;

    // Sets the rate, wires the pins to the rig's buffers and opens, as a host does.
    void Open(float rate = 44100.0f) {
        rig.SetSampleRate(rate);
        rig.Wire();
        rig.Open();
    }

    // Fills every input buffer at [from, from + count) with one sample's values.
    void Set(int32_t from, int32_t count, float in, float depth, float offset, float freq, float phase) {
        for (int32_t k = from; k < from + count; ++k) {
            rig.in[k] = in;
            rig.depth[k] = depth;
            rig.offset[k] = offset;
            rig.freq[k] = freq;
            rig.phase[k] = phase;
        }
    }

    // Processes `count` samples at offset 0 with the same inputs and answers Out[count - 1].
    float Run(int32_t count, float in, float depth, float offset, float freq, float phase) {
        Set(0, count, in, depth, offset, freq, phase);
        rig.Process(0, count);
        return rig.out[count - 1];
    }

    FakeHost host;  // current before the module makes any call
    VexloModule* module;
    ModuleRig rig;
};

#endif  // VEXLO_TESTS_LINKED_MODULE_H
