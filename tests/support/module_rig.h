// Drives one module instance the way a host does, through its plug record only: sample rate, open,
// pin wiring over DISP_GET_PIN_PROPERTIES, list values, block processing and close. Works for a module
// linked into the test and for one made by a loaded library alike.
//
// A rig can also call the way a host with another floating-point environment does: it installs a chosen
// MXCSR around every call into the module and counts the calls that did not hand it back unchanged.
//
// Every pin buffer has `capacity` samples. Out is pre-filled with a canary pattern before each block,
// so a test can prove that nothing outside [offset, offset + count) was written.
#ifndef VEXLO_TESTS_MODULE_RIG_H
#define VEXLO_TESTS_MODULE_RIG_H

#include <xmmintrin.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "trmod_interface.h"

class ModuleRig {
public:
    // A quiet NaN with a payload no arithmetic produces: marks Out samples that must stay unwritten.
    static constexpr uint32_t kCanaryBits = 0x7FC0A5A5u;

    ModuleRig(TRMod_struct* record, int32_t capacity)
        : record_(record),
          in(capacity, 1.0f),
          depth(capacity, 0.5f),
          offset(capacity, 0.0f),
          freq(capacity, 0.1f),
          phase(capacity, 0.0f),
          out(capacity, 0.0f) {}

    TRMod_struct* record() const { return record_; }

    int32_t Dispatch(uint32_t opcode, int32_t index = 0, int32_t value = 0, void* ptr = nullptr, float opt = 0.0f) {
        const uint32_t own = EnterCallerEnvironment();
        const int32_t answer = record_->dispatcher(record_, static_cast<int32_t>(opcode), index, value, ptr, opt);
        LeaveCallerEnvironment(own);
        return answer;
    }

    // The MXCSR the module is called with from now on (0: the test's own, left as it is).
    void CallWithMxcsr(uint32_t mxcsr) { caller_mxcsr_ = mxcsr; }
    // Calls after which the MXCSR differed from the one the module was called with.
    int32_t mxcsr_changes() const { return mxcsr_changes_; }

    void SetSampleRate(float rate) { Dispatch(DISP_SET_SAMPLE_RATE, 0, 0, nullptr, rate); }
    void Open() { Dispatch(DISP_OPEN); }
    // The record is gone afterwards.
    int32_t Close() {
        const int32_t answer = Dispatch(DISP_CLOSE);
        record_ = nullptr;
        return answer;
    }

    // Asks for the nine pin descriptions and writes each buffer's address (or list value) where the
    // description says. Answers the number of pins described.
    int32_t Wire() {
        int32_t described = 0;
        for (int32_t i = 0; i < 16; ++i) {
            PinProperties p{};
            if (!Dispatch(DISP_GET_PIN_PROPERTIES, i, 0, &p)) break;
            members_[i] = p.variable_address;
            ++described;
        }
        Bind(0, in);
        Bind(1, depth);
        Bind(2, offset);
        Bind(3, freq);
        Bind(4, phase);
        Bind(6, out);
        SetChoices(wave_, freq_scale_, depth_scale_);
        return described;
    }

    // Writes the three list values into the members the pin table names.
    void SetChoices(int16_t wave, uint16_t freq_scale, uint16_t depth_scale) {
        wave_ = wave;
        freq_scale_ = freq_scale;
        depth_scale_ = depth_scale;
        WriteList(5, static_cast<uint16_t>(wave));
        WriteList(7, freq_scale);
        WriteList(8, depth_scale);
    }

    // Points a pin's member at an arbitrary buffer (null included).
    void BindRaw(int32_t pin, float* buffer) {
        if (members_[pin]) std::memcpy(members_[pin], &buffer, sizeof buffer);
    }

    void FillOutWithCanaries() {
        for (float& s : out) std::memcpy(&s, &kCanaryBits, sizeof s);
    }

    static bool IsCanary(float s) {
        uint32_t bits;
        std::memcpy(&bits, &s, sizeof bits);
        return bits == kCanaryBits;
    }

    // One block through the record's process entry, as the host calls it.
    void Process(int32_t block_offset, int32_t count) {
        const uint32_t own = EnterCallerEnvironment();
        record_->process(record_->object, block_offset, count);
        LeaveCallerEnvironment(own);
    }

private:
    TRMod_struct* record_;

public:
    std::vector<float> in, depth, offset, freq, phase, out;

private:
    void Bind(int32_t pin, std::vector<float>& buffer) { BindRaw(pin, buffer.data()); }
    void WriteList(int32_t pin, uint16_t value) {
        if (members_[pin]) std::memcpy(members_[pin], &value, sizeof value);
    }

    uint32_t EnterCallerEnvironment() {
        const uint32_t own = _mm_getcsr();
        if (caller_mxcsr_ != 0) _mm_setcsr(caller_mxcsr_);
        return own;
    }
    void LeaveCallerEnvironment(uint32_t own) {
        if (caller_mxcsr_ == 0) return;
        if (_mm_getcsr() != caller_mxcsr_) ++mxcsr_changes_;
        _mm_setcsr(own);
    }

    void* members_[16] = {};
    uint32_t caller_mxcsr_ = 0;
    int32_t mxcsr_changes_ = 0;
    int16_t wave_ = 0;
    uint16_t freq_scale_ = 0;
    uint16_t depth_scale_ = 0;
};

#endif  // VEXLO_TESTS_MODULE_RIG_H
