// Drives one companion module linked into the test, through its plug record only, as a host does: a
// buffer for every audio pin, list values written into the members the descriptions name, whole-run
// processing in blocks. The module is made by the framework's factory for its class.
#ifndef COMPANIONS_TESTS_COMPANION_RIG_H
#define COMPANIONS_TESTS_COMPANION_RIG_H

#include <cstdint>
#include <cstring>
#include <vector>

#include "fake_host.h"
#include "tr_module_library.h"
#include "trmod_interface.h"

template <class Module>
class CompanionRig {
public:
    // Creates the instance and gives each audio pin a buffer of `length` samples, filled with `fill`.
    explicit CompanionRig(int32_t length, float fill = 0.0f) {
        record_ = TRMakeModule<Module>(0, TR_KIND_MODULE, FakeHost::Callback, 0);
        for (int32_t index = 0;; ++index) {
            PinProperties pin{};
            if (!Dispatch(DISP_GET_PIN_PROPERTIES, index, 0, &pin)) break;
            pins_.push_back(pin);
            buffers_.emplace_back(pin.datatype == DT_FSAMPLE ? length : 0, fill);
        }
        host_.pin_count = static_cast<int32_t>(pins_.size());
        for (size_t index = 0; index < pins_.size(); ++index) {
            if (pins_[index].datatype != DT_FSAMPLE) continue;
            float* buffer = buffers_[index].data();
            std::memcpy(pins_[index].variable_address, &buffer, sizeof buffer);
        }
    }
    ~CompanionRig() {
        if (record_) Dispatch(DISP_CLOSE);
    }
    CompanionRig(const CompanionRig&) = delete;
    CompanionRig& operator=(const CompanionRig&) = delete;

    int32_t Dispatch(uint32_t opcode, int32_t index = 0, int32_t value = 0, void* ptr = nullptr, float opt = 0.0f) {
        return record_->dispatcher(record_, static_cast<int32_t>(opcode), index, value, ptr, opt);
    }
    void Open(float rate) {
        Dispatch(DISP_SET_SAMPLE_RATE, 0, 0, nullptr, rate);
        Dispatch(DISP_OPEN);
    }
    void SetList(int32_t pin, int16_t value) { std::memcpy(pins_[pin].variable_address, &value, sizeof value); }
    Module& module() { return *static_cast<Module*>(record_->object); }

    // The buffer of audio pin `pin`.
    std::vector<float>& operator[](int32_t pin) { return buffers_[pin]; }

    // Every sample of the buffers, in blocks of `block`.
    void Run(int32_t block = 64) {
        const auto length = static_cast<int32_t>(buffers_.front().size());
        for (int32_t at = 0; at < length; at += block) {
            record_->process(record_->object, at, at + block <= length ? block : length - at);
        }
    }

private:
    FakeHost host_;
    TRMod_struct* record_ = nullptr;
    std::vector<PinProperties> pins_;
    std::vector<std::vector<float>> buffers_;
};

#endif  // COMPANIONS_TESTS_COMPANION_RIG_H
