// The base class of every module object. It holds the plug record the host sees, turns dispatcher
// calls into virtual operations, wraps the host callback, and keeps the pins.
//
// Threads: every entry runs to completion on the host's calling thread; nothing here guards one
// instance against two threads at once (the host calls one instance at a time).
#ifndef TR_MODULE_BASE_H
#define TR_MODULE_BASE_H

#include <cstdint>

#include "tr_pin.h"
#include "trmod_interface.h"

class TRModule_base {
public:
    // Fills the plug record; makes no request of the host. A null callback is accepted: every request
    // of the host then answers 0.
    TRModule_base(TRHostCallback host_callback, uint32_t host_handle);
    TRModule_base(const TRModule_base&) = delete;
    TRModule_base& operator=(const TRModule_base&) = delete;

    // Destroys the pin array. Called by DISP_CLOSE after Close.
    virtual ~TRModule_base();

    // Called by a pin whose state the host changed; the pin already holds the new state.
    virtual void OnPinStatusChanged(TRPin* pin);
    // Called by the event entry with an event the host owns; a null event is ignored. The answer
    // carries no defined value (0).
    virtual int32_t HandleEvent(TREvent* event);
    // Called by the dispatcher entry; the opcode table. DISP_CLOSE deletes the instance.
    virtual int32_t Dispatch(uint32_t opcode, int32_t index, int32_t value, void* ptr, float opt);
    // DISP_OPEN. The base builds the pin array from the module's descriptions; an override calls it.
    virtual void Open();
    // DISP_CLOSE, before the instance is deleted: the module releases what it allocated.
    virtual void Close();
    virtual void ReservedA(int32_t a, int32_t b);
    virtual void SetSampleRate(float sample_rate);
    virtual void SetBlockSize(int32_t block_size);
    virtual float GetSampleRate();
    virtual int32_t GetBlockSize();
    // Describes pin `index` into `properties` and answers true, or answers false and writes nothing.
    // Called by the base's Open (record cleared first) and by the host (record as the host passes it).
    virtual bool GetPinProperties(int32_t index, PinProperties* properties);
    virtual bool ReservedB(int32_t a);
    virtual bool ReservedC(int32_t a);
    virtual void OnHostNotify();
    virtual void OnDataEvent(uint32_t time_stamp, int32_t value, uint16_t number);
    virtual void OnHostIndexedNotify(int32_t index, void* ptr);

    // The host's handle on this instance: the address makeModule answers.
    TRMod_struct* Plug() { return &m_plug; }

    // Sends one request to the host; answers 0 when there is no callback.
    int32_t CallHost(int32_t opcode, int32_t index = 0, int32_t value = 0, void* ptr = nullptr, float opt = 0.0f);
    // Asks the host for its current sample clock; never cached.
    uint32_t SampleClock();
    // Makes `routine` the process routine: the record is updated, then the host is told.
    void SetProcessFunction(TRProcessEntry routine);
    // The pin at `index`, or null (after a reported check) before Open or outside the built array.
    TRPin* GetPin(int32_t index);
    // Tells the host that pin `index` is in `state` from the current sample clock on; nothing when the
    // host keeps no such pin. For a module's Open, after the base's Open has built the pins.
    void AnnouncePinState(int32_t index, int32_t state);
    // The number of pins built by the last Open; 0 before.
    int32_t PinCount() const { return m_pin_count; }

    // The module instance behind a record's `object` value.
    static TRModule_base* FromObject(void* object) { return static_cast<TRModule_base*>(object); }

    // The record's entries.
    static int32_t TR_CALL DispatcherEntry(TRMod_struct* record, int32_t opcode, int32_t index, int32_t value,
                                           void* ptr, float opt);
    static int32_t TR_CALL EventEntry(void* object, TREvent* event);
    static void TR_CALL NoProcess(void* object, int32_t offset, int32_t count);

private:
    void ReleasePins();

    TRHostCallback m_host_callback;       // may be null
    TRMod_struct m_plug;                  // the host's handle on this instance
    float m_host_sample_rate = 44100.0f;  // hertz, as last set by the host
    int32_t m_host_block_size = 1024;     // samples, as last set by the host
    TRPin* m_pins = nullptr;              // one per host pin; built by Open
    TRProcessEntry m_process_function = NoProcess;
    int32_t m_pin_count = 0;  // pins in m_pins; bounds GetPin
};

#endif  // TR_MODULE_BASE_H
