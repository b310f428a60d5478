// VEXLO: a frequency- and phase-modulatable low-frequency oscillator.
//
//   Out = In x (Offset + DepthEff x wave(position)),  DepthEff = Depth, or Depth x Offset (Relative)
//
// The host fills the pin-bound members (buffer addresses and list values) through the pin table; Open
// builds the sine table and the square smoother's ring from the sample rate; the process routine then
// turns each block of inputs into output samples. One thread at a time per instance (the host's).
//
// The member order is part of the module's layout and is kept as declared: pin-bound members, square
// smoother, engine.
#ifndef VEXLO_MODULE_H
#define VEXLO_MODULE_H

#include <cstdint>

#include "cycle_arithmetic.h"
#include "square_smoother.h"
#include "tr_module_base.h"

class VexloModule : public TRModule_base {
public:
    // Pin indexes of the pin table.
    enum Pin : int32_t {
        kPinIn = 0,
        kPinDepth = 1,
        kPinOffset = 2,
        kPinFreq = 3,
        kPinPhase = 4,
        kPinWave = 5,
        kPinOut = 6,
        kPinFreqScale = 7,
        kPinDepthScale = 8,
        kPinCount = 9,
    };

    // Wave list values; every other value gives a wave value of 0 while the cycle keeps running.
    enum Wave : int16_t { kWaveSine = 0, kWaveTriangle = 1, kWaveSquare = 2 };

    // Sets every member to a defined empty state; makes no request of the host. The tables are built by
    // Open, so until then a close releases nothing and the module holds no memory of its own.
    VexloModule(TRHostCallback host_callback, uint32_t host_handle);
    // Releases whatever Close has not (Close normally has; releasing twice is harmless).
    ~VexloModule() override;

    void OnPinStatusChanged(TRPin* pin) override;
    // Reads the sample rate, (re)builds the tables, names the process routine, builds the pins and
    // marks Out as running. A rate the tables cannot be built for leaves the module inactive.
    void Open() override;
    // Releases the sine table and the smoother ring.
    void Close() override;
    // The pin table: indexes 0 to 8; any other (negative ones included) answers false, writes nothing.
    bool GetPinProperties(int32_t index, PinProperties* properties) override;

    // The process routine, the record's process entry through TRProcessRoutine: produces `count`
    // samples at `offset` of the pin buffers. A block that cannot be processed (TRProcessableBlock, or a
    // null buffer) writes nothing and changes no state.
    void Process(int32_t offset, int32_t count);

    // The wave value at `position` for `selector`, as the oscillator's definition gives it
    // (oscillator_definition.h) on the module's own tables and smoother (the square moves the smoother
    // as one of its samples would), for callers that look at one position at a time (tests and
    // diagnostics); Process does not call it. Not rounded to single; 0 outside
    // 0 <= position < period, and when there are no tables.
    double Waveform(int16_t selector, int32_t position, int32_t period);

    // Read-only view of the engine state, for diagnostics and tests.
    bool TablesBuilt() const { return m_sine_table != nullptr && m_smooth_ring != nullptr; }
    int32_t Period() const { return m_period; }
    int32_t Count() const { return m_count; }
    int32_t IntSampleRate() const { return m_int_sample_rate; }
    int32_t TableLength() const { return m_table_length; }
    const float* SineTable() const { return m_sine_table; }
    int32_t SmoothWindow() const { return m_smooth_window; }
    int32_t SmoothRingLength() const { return m_smooth_ring_length; }
    int32_t SmoothIndex() const { return m_smooth_index; }
    float SmoothSum() const { return m_smooth_sum; }

private:
    // Address of the member that pin `index` is bound to (index 0 to 8).
    void* PinMember(int32_t index);

    // Square smoother: set up for a whole-number sample rate, and released.
    bool SetupSmoother(int32_t sample_rate);
    void ReleaseSmoother();
    // Sine table: the shared table for a whole-number sample rate, held and let go.
    bool HoldSineTable(int32_t sample_rate);
    void ReleaseSineTable();

    // The one way in and out of the cycle and smoother members for the process routine (and Open):
    // loaded into locals at the start of a block, stored at its end.
    vexlo::Cycle LoadCycle() const;
    void StoreCycle(const vexlo::Cycle& cycle);
    vexlo::SquareSmoother LoadSmoother() const;
    void StoreSmoother(const vexlo::SquareSmoother& smoother);

    // Pin-bound members, written by the host (buffer addresses and list values), read by the module.
    float* m_in = nullptr;       // In buffer (1.0 = 10 V)
    float* m_depth = nullptr;    // Depth buffer
    float* m_offset = nullptr;   // Offset buffer
    float* m_freq = nullptr;     // Freq buffer (1 V = 1 Hz, or 1 kHz on the kHz scale)
    float* m_phase = nullptr;    // Phase buffer (1 V = 1 degree)
    float* m_out = nullptr;      // Out buffer
    int16_t m_wave = kWaveSine;  // Wave list value, read as signed
    uint16_t m_freq_scale = 0;   // 0 Hz, otherwise kHz
    uint16_t m_depth_scale = 0;  // 0 Absolute, otherwise Relative

    // Square smoother: a leaky running sum over the last m_smooth_window square samples.
    float m_smooth_sum = 0.0f;         // running sum of the newest W ring samples, leak applied
    int32_t m_smooth_index = 0;        // ring slot the next sample is written to
    int32_t m_smooth_last_window = 0;  // window used by the previous step; 0 after setup
    int32_t m_smooth_window = 0;       // W, samples (about 1.13 ms)
    int32_t m_smooth_ring_length = 0;  // W + 1 slots; 0 while there is no ring
    float* m_smooth_ring = nullptr;    // owned; built by Open, released by Close

    // Engine.
    int32_t m_period = -1;          // P in samples at the previous active sample; -1 when inactive
    int32_t m_count = -1;           // samples into the current period, 0 <= count < P; -1 when inactive
    int32_t m_int_sample_rate = 0;  // R in hertz, read once by Open; 0 when the tables are not built
    int32_t m_table_length = 0;     // N = 30 x R sine entries; 0 when there is no table
    // One cycle of N entries, shared read-only with every instance opened at the same rate; held from
    // Open to Close (shared_sine_table.h).
    const float* m_sine_table = nullptr;
};

#endif  // VEXLO_MODULE_H
