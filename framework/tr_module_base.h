// The base class of every module object. It holds the plug record the host sees, turns dispatcher
// calls into virtual operations, wraps the host callback, and keeps the pins.
//
// Who calls what, and on which thread:
// - The host reaches an instance only through its plug record: the dispatcher entry (Dispatch and
//   the operations it calls), the process entry (the routine named by SetProcessFunction) and the
//   event entry (HandleEvent and what it calls). It makes one call at a time into one instance, so
//   nothing here takes a lock; but different instances may be called on different threads at once,
//   so anything a module shares between its instances must be safe for that.
// - The process entry and the event entry run on the host's audio thread, between the samples the
//   host hears: they allocate nothing, free nothing, wait for nothing. Events arrive between process
//   calls, never during one.
// - The dispatcher calls (open, close, sample rate, block size, pin descriptions, notifications) come
//   on whichever thread the host chooses, never at the same time as a process or event call of the
//   same instance. Open and Close are where a module allocates and frees; the others store a value or
//   answer a question and allocate nothing.
// Ownership: the instance owns its plug record (embedded), its pin array and whatever its Open
// allocates; the host owns every sample buffer, every PinProperties and ModuleProperties record it
// passes and every event; the module's texts are constants of the library.
#ifndef TR_MODULE_BASE_H
#define TR_MODULE_BASE_H

#include <cstdint>

#include "tr_pin.h"
#include "trmod_interface.h"

class TRModule_base {
public:
    // Called by makeModule (TRMakeModule), on the host's calling thread, before the derived class's own
    // construction. Fills the plug record; makes no request of the host. A null callback is accepted:
    // every request of the host then answers 0. `host_handle` is the host's, stored and never read.
    TRModule_base(TRHostCallback host_callback, uint32_t host_handle);
    TRModule_base(const TRModule_base&) = delete;
    TRModule_base& operator=(const TRModule_base&) = delete;

    // Called by Dispatch for DISP_CLOSE, after Close, as the instance is deleted. Destroys the pin array.
    virtual ~TRModule_base();

    // Called by the pin whose state the host reported (an EVT_PIN_STATUS event), on the audio thread,
    // between process calls; the pin already holds the new state (PIN_STATE_CHANGED only during this
    // call). The pin belongs to the module's pin array. Allocates nothing.
    virtual void OnPinStatusChanged(TRPin* pin);
    // Called by the event entry, on the audio thread, between process calls, with an event the host
    // owns and that lives only for this call (copy what is kept); a null event is ignored. Its time
    // stamp must be the current sample clock. Hands EVT_PIN_STATUS to the pin, EVT_DATA to OnDataEvent
    // and runs the routine of EVT_RUN_ROUTINE; ignores other types. The answer carries no defined value
    // (0). An override that handles other types calls this one for these.
    virtual int32_t HandleEvent(TREvent* event);
    // Called by the dispatcher entry, on the host's calling thread: the opcode table
    // (trmod_interface.h). DISP_CLOSE deletes the instance, so nothing may touch it after that call.
    // `ptr` points at the host's record (DISP_GET_PIN_PROPERTIES) or is the host's (DISP_INDEXED_NOTIFY).
    virtual int32_t Dispatch(uint32_t opcode, int32_t index, int32_t value, void* ptr, float opt);
    // DISP_OPEN, once per instance as a host sends it, before any process call, on the host's calling
    // thread. Where a module reads the sample rate, allocates its tables and names its process routine.
    // The base builds the pin array from the module's descriptions (asking the host for its pin count
    // and for the buffers of pins without a member); an override calls it, and announces its output
    // states (AnnouncePinState) after it. A second open replaces the pins of the first.
    virtual void Open();
    // DISP_CLOSE, before the instance is deleted, on the host's calling thread; also when the instance
    // was never opened. The module releases what it allocated; the base then frees the pins.
    virtual void Close();
    // No caller: a slot of the interface's table of operations, kept for its place.
    virtual void ReservedA(int32_t a, int32_t b);
    // DISP_SET_SAMPLE_RATE and DISP_SET_BLOCK_SIZE, at any time, before or after Open: store the value.
    // A module reads the rate in its Open; a rate set later takes effect at the next open. The block
    // size is the host's usual number of samples per process call; each call's own `offset` and `count`
    // say which samples to produce, and the host may hand new buffers after the size changes.
    virtual void SetSampleRate(float sample_rate);
    virtual void SetBlockSize(int32_t block_size);
    // The last values the host set: 44100 Hz and 1024 samples until it sets others.
    virtual float GetSampleRate();
    virtual int32_t GetBlockSize();
    // Describes pin `index` into `properties` and answers true, or answers false and writes nothing.
    // Called by the base's Open (record cleared first) and by the host through DISP_GET_PIN_PROPERTIES
    // (the host's record, as the host passes it), at any time, before and after Open, on the host's
    // calling thread; the answers never change. The record is the caller's; the texts written into it
    // are constants of the library. TRDescribePin answers it from a TRPinRow table.
    virtual bool GetPinProperties(int32_t index, PinProperties* properties);
    // No caller: slots of the interface's table of operations, kept for their places.
    virtual bool ReservedB(int32_t a);
    virtual bool ReservedC(int32_t a);
    // DISP_NOTIFY, on the host's calling thread. The base does nothing.
    virtual void OnHostNotify();
    // An EVT_DATA event, from HandleEvent, on the audio thread between process calls: its time stamp
    // (the current sample clock), int_param1 and the low 16 bits of int_param2. The base does nothing.
    virtual void OnDataEvent(uint32_t time_stamp, int32_t value, uint16_t number);
    // DISP_INDEXED_NOTIFY, on the host's calling thread; `ptr` is the host's. The base does nothing.
    virtual void OnHostIndexedNotify(int32_t index, void* ptr);

    // The host's handle on this instance: the address makeModule answers. Owned by the instance, valid
    // until DISP_CLOSE.
    TRMod_struct* Plug() { return &m_plug; }

    // Sends one request to the host, on the calling thread, with this instance's record first; answers
    // the host's answer, or 0 when there is no callback.
    int32_t CallHost(int32_t opcode, int32_t index = 0, int32_t value = 0, void* ptr = nullptr, float opt = 0.0f);
    // Asks the host for its current sample clock; never cached: every call is a call into the host.
    uint32_t SampleClock();
    // Makes `routine` the process routine: the record is updated, then the host is told
    // (HOST_PROCESS_FUNCTION_CHANGED). From a module's Open, before the base's Open; the routine is
    // TRProcessRoutine<Module, &Module::Process>.
    void SetProcessFunction(TRProcessEntry routine);
    // The pin at `index`, owned by the instance, or null (after a reported check) before Open or
    // outside the built array.
    TRPin* GetPin(int32_t index);
    // Tells the host that pin `index` is in `state` from the current sample clock on; nothing when the
    // host keeps no such pin. For a module's Open, after the base's Open has built the pins: an output
    // that changes every sample is PIN_STATE_RUNNING, one that holds is PIN_STATE_STATIC. Also from the
    // audio thread when an output starts or stops changing; allocates nothing.
    void AnnouncePinState(int32_t index, int32_t state);
    // The number of pins built by the last Open; 0 before.
    int32_t PinCount() const { return m_pin_count; }

    // The module instance behind a record's `object` value.
    static TRModule_base* FromObject(void* object) { return static_cast<TRModule_base*>(object); }

    // The record's entries, called by the host through the record. The dispatcher entry takes the
    // record's address; the event entry the record's `object`. NoProcess is the process routine until
    // the module names its own: it does nothing.
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
