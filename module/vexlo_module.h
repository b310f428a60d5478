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

#include "sine_index.h"
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

    // The record's process entry: `object` is the record's object value.
    static void TR_CALL ProcessEntry(void* object, int32_t offset, int32_t count);

    // Produces `count` samples at `offset` of the pin buffers. A block that cannot be processed (a null
    // buffer, a negative offset, an index range beyond 32 bits) writes nothing and changes no state.
    void Process(int32_t offset, int32_t count);

    // The wave value at `position` (0 <= position < period) for `selector`, not rounded to single.
    double Waveform(int16_t selector, int32_t position, int32_t period);

    // One step of the square smoother: stores `sample` in the ring, updates the running sum and answers
    // the smoothed sample (sum / window when window > 1, else the sum), not rounded to single.
    double SmoothSquare(float sample, int32_t window, int32_t& last_window, int32_t& index, float*& ring, float& sum);

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

    // Square smoother: set up for a whole-number sample rate, and released; and its state copied out
    // for a block and back.
    bool SetupSmoother(int32_t sample_rate);
    void ReleaseSmoother();
    vexlo::SquareSmoother LoadSmoother() const;
    void StoreSmoother(const vexlo::SquareSmoother& smoother);
    // Sine table: the shared table for a whole-number sample rate, held and let go.
    bool HoldSineTable(int32_t sample_rate);
    void ReleaseSineTable();

    // The process routine's parts (oscillator_engine.cpp).
    struct Block;
    struct Inputs;
    // What one sample asks of the oscillator, before counting.
    struct Measure {
        int32_t period;        // P, samples; 0 when the sample is inactive
        int32_t phase_offset;  // samples, 0 .. P - 1
        double inverse;        // 1.0 / P
        float depth_eff;       // DepthEff
    };
    // The counters, copied out for a stretch of samples (locals stay in registers) and back.
    struct Cycle {
        int32_t count;   // m_count
        int32_t period;  // m_period
        double inverse;  // m_period_inverse
    };
    Cycle LoadCycle() const;
    void StoreCycle(const Cycle& cycle);
    Measure MeasureSample(const Block& block, const Inputs& x);
    int32_t Advance(const Measure& sample, Cycle& cycle);
    float Render(const Block& block, const Measure& sample, int32_t position, float in, float offset,
                 vexlo::SquareSmoother& smoother);
    void RunModulated(const Block& block, int32_t from, int32_t count, vexlo::SquareSmoother& smoother);
    void RunModulatedStepwise(const Block& block, int32_t from, int32_t count, vexlo::SquareSmoother& smoother);
    // The modulated stretch in passes over arrays, while products are exact (m_exact_products):
    // measuring, then counting and rendering.
    struct Stretch;
    void MeasureStretch(const Block& block, int32_t from, int32_t count, Stretch& stretch) const;
    void RenderStretch(const Block& block, int32_t from, int32_t count, const Stretch& stretch,
                       vexlo::SquareSmoother& smoother);
    void RunHeld(const Block& block, int32_t from, int32_t count, vexlo::SquareSmoother& smoother);
    int32_t PeriodFor(float hertz);
    int32_t NewPeriodFor(float hertz);
    int32_t PhaseOffsetFor(int32_t period, float fraction);
    int32_t NewPhaseOffsetFor(int32_t period, float fraction);
    void ForgetShortcuts();

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

    // Work the process routine has already done. Each entry is keyed on everything its value depends
    // on, so it only ever skips a computation whose result it holds; Open forgets them all.
    uint32_t m_period_key = kNoKey;     // bits of the F whose period is m_keyed_period (a NaN: none)
    int32_t m_keyed_period = 0;         // P, samples, for m_period_key at this R
    double m_keyed_inverse = 0.0;       // 1.0 / m_keyed_period
    double m_period_inverse = 0.0;      // 1.0 / m_period while active
    bool m_exact_products = false;      // N x N < 2^53: see Rescaled and SineIndex
    int32_t m_phase_key_period = 0;     // P of the phase offset below; 0: none
    uint32_t m_phase_key_fraction = 0;  // bits of PF of the phase offset below
    int32_t m_keyed_phase_offset = 0;   // P x PF + 0.5 truncated, reduced into 0 .. P - 1, samples
    vexlo::SineIndex m_sine_index;      // table index of the last sine position

    static constexpr uint32_t kNoKey = 0xFFFFFFFFu;
};

#endif  // VEXLO_MODULE_H
