// @NAME@: a voltage-controlled amplifier, Out = In x Gain, where a Gain of 10 V (a sample value of 1.0)
// passes In unchanged. A starting point: change the pins in @name@_pins.cpp and the work in Process.
//
// The host owns every buffer: it writes their addresses into the pin-bound members below, may change
// them between any two process calls, and may hand one buffer to several inputs. So Process reads the
// members anew on every call and never writes into an input. Process runs on the host's audio thread
// and allocates nothing; one thread at a time calls an instance.
#ifndef @NAME@_MODULE_H
#define @NAME@_MODULE_H

#include <cstdint>

#include "tr_module_base.h"

class @Class@ : public TRModule_base {
public:
    // The pins, in the order the host sees them (the rows of the pin table).
    enum Pin : int32_t { kPinIn, kPinGain, kPinOut, kPinCount };

    @Class@(TRHostCallback host_callback, uint32_t host_handle);

    // DISP_OPEN: names the process routine, builds the pins, and tells the host Out changes every sample.
    void Open() override;
    // Describes pin `index` from the pin table, bound to its member; false past the last pin.
    bool GetPinProperties(int32_t index, PinProperties* properties) override;

    // Produces `count` samples at `offset` of the pin buffers. A block that cannot be processed (an
    // unwired buffer, a negative offset, an end beyond 32 bits) writes nothing.
    void Process(int32_t offset, int32_t count);

private:
    void* PinMember(int32_t index);

    // Pin-bound members: buffer addresses the host writes, 32-bit floats where 1.0 is 10 V.
    float* m_in = nullptr;
    float* m_gain = nullptr;
    float* m_out = nullptr;
};

#endif  // @NAME@_MODULE_H
