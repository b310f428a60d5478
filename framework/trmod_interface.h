// The host boundary: every record, opcode, code and entry type that passes between the Tavrisk host
// and a module library. Plain records of 32-bit little-endian words; no class crosses the boundary.
//
// This header is the single statement of the interface. The module framework builds on it, and the
// stand-in host (host/) talks to a loaded module through it and nothing else.
#ifndef TRMOD_INTERFACE_H
#define TRMOD_INTERFACE_H

#include <cstddef>
#include <cstdint>

// Every function that crosses the boundary (the two exports, the record's three entries and the
// host callback) uses the plain C calling convention.
#if defined(_WIN32)
#define TR_CALL __cdecl
#else
#define TR_CALL __attribute__((cdecl))
#endif

static_assert(sizeof(void*) == 4, "the interface is 32-bit: its address fields are 32-bit words");
static_assert(sizeof(float) == 4, "opt and samples are 32-bit IEEE floats");

struct TRMod_struct;
struct TREvent;

// ---------------------------------------------------------------------------------------------------
// Entry and callback types
// ---------------------------------------------------------------------------------------------------

// The host's callback ("traudioMaster"), given to makeModule. Called by a module from inside any of its
// entries, on the thread that entry runs on, always with the address of its own plug record first,
// then an HOST_* opcode and its arguments. Answers an integer or an address (as a 32-bit value)
// according to the opcode; an address it answers (a pin buffer) stays the host's.
typedef int32_t(TR_CALL* TRHostCallback)(TRMod_struct* record, int32_t opcode, int32_t index, int32_t value, void* ptr,
                                         float opt);

// The record's dispatcher entry. Called by the host with the record's own address and a DISP_* opcode,
// on any of its threads, never at once with another call into the same instance. `ptr` is the host's
// (a PinProperties record it owns for DISP_GET_PIN_PROPERTIES).
typedef int32_t(TR_CALL* TRDispatcherEntry)(TRMod_struct* record, int32_t opcode, int32_t index, int32_t value,
                                            void* ptr, float opt);

// The record's process entry. Called by the host once per block, on its audio thread, with the record's
// `object` value (not the record's address), the buffer offset and the number of samples to produce:
// samples [offset, offset + count) of the host's buffers. Allocates nothing.
typedef void(TR_CALL* TRProcessEntry)(void* object, int32_t offset, int32_t count);

// The record's event entry. Called by the host with the record's `object` value and a time-stamped
// event that the host owns and that lives only for the call, on its audio thread, between process
// calls. The answer carries no defined value. Allocates nothing.
typedef int32_t(TR_CALL* TREventEntry)(void* object, TREvent* event);

// A module routine that an EVT_RUN_ROUTINE event runs on the module, on the audio thread: takes the
// record's `object` value.
typedef void(TR_CALL* TRModuleRoutine)(void* object);

// The library's two exports, by these undecorated names. Called by the host after it loads the
// library, on any of its threads, also at once.
typedef int32_t(TR_CALL* TRGetModulePropertiesFunction)(int32_t index, struct ModuleProperties* properties);
typedef TRMod_struct*(TR_CALL* TRMakeModuleFunction)(int32_t index, int32_t kind, TRHostCallback host_callback,
                                                     uint32_t host_handle);

#define TR_EXPORT_GET_MODULE_PROPERTIES "getModuleProperties"
#define TR_EXPORT_MAKE_MODULE "makeModule"

// ---------------------------------------------------------------------------------------------------
// ModuleProperties: owned by the host, passed by address to getModuleProperties.
// The library writes name, id, about and flags, and never reads any field.
// ---------------------------------------------------------------------------------------------------
struct ModuleProperties {
    const char* name;     // 0:  module name text; constant storage of the library
    const char* id;       // 4:  unique identifier text; constant storage of the library
    const char* about;    // 8:  about text, lines ended by "\n"; constant storage of the library
    int32_t host_word12;  // 12: the host's; never touched by the library
    int32_t host_word16;  // 16: the host's; never touched by the library
    int32_t flags;        // 20: module flags, 0x802 for every index and every module (the host's bits)
};
static_assert(sizeof(ModuleProperties) == 24, "ModuleProperties is six words");
static_assert(offsetof(ModuleProperties, name) == 0);
static_assert(offsetof(ModuleProperties, id) == 4);
static_assert(offsetof(ModuleProperties, about) == 8);
static_assert(offsetof(ModuleProperties, host_word12) == 12);
static_assert(offsetof(ModuleProperties, host_word16) == 16);
static_assert(offsetof(ModuleProperties, flags) == 20);

// Module kinds that makeModule may be asked for. Kind 1 is the audio module itself.
enum : int32_t { TR_KIND_MODULE = 1 };

// ---------------------------------------------------------------------------------------------------
// TRMod_struct: the plug record. Embedded in each module instance for the instance's whole life; its
// address is the host's only handle on the instance. Set up at construction; afterwards the module
// changes only `process`.
// ---------------------------------------------------------------------------------------------------
enum : uint32_t {
    TR_PLUG_MAGIC = 0x5452504Cu,  // "TRPL", 'T' in the most significant byte
    TR_PLUG_VERSION = 1u,
};

struct TRMod_struct {
    uint32_t magic;                // 0:  TR_PLUG_MAGIC
    uint32_t version;              // 4:  TR_PLUG_VERSION
    uint32_t host_handle;          // 8:  makeModule's host_handle, stored unchanged, never read by the module
    void* object;                  // 12: the module instance that embeds this record
    uint32_t reserved16;           // 16: 0
    TRDispatcherEntry dispatcher;  // 20: called with this record's address
    TRProcessEntry process;        // 24: the current process routine, called with `object`
    TREventEntry event;            // 28: called with `object`
    uint32_t reserved32[4];        // 32: all 0
};
static_assert(sizeof(TRMod_struct) == 48, "the plug record is twelve words");
static_assert(offsetof(TRMod_struct, magic) == 0);
static_assert(offsetof(TRMod_struct, version) == 4);
static_assert(offsetof(TRMod_struct, host_handle) == 8);
static_assert(offsetof(TRMod_struct, object) == 12);
static_assert(offsetof(TRMod_struct, reserved16) == 16);
static_assert(offsetof(TRMod_struct, dispatcher) == 20);
static_assert(offsetof(TRMod_struct, process) == 24);
static_assert(offsetof(TRMod_struct, event) == 28);
static_assert(offsetof(TRMod_struct, reserved32) == 32);

// Dispatcher opcodes: host to module, compared as unsigned. Every other opcode answers 0 and does
// nothing; 7 and 10 must never reach a module (the module reports a broken invariant).
enum : uint32_t {
    DISP_OPEN = 0,                // builds tables and pins; answers 0
    DISP_CLOSE = 1,               // releases and deletes the instance; answers 1; the record is gone after
    DISP_SET_SAMPLE_RATE = 2,     // opt: sample rate in hertz; answers 0
    DISP_SET_BLOCK_SIZE = 3,      // value: block size in samples; answers 0
    DISP_GET_PIN_PROPERTIES = 6,  // index, ptr: a PinProperties the host owns; answers 1 if described
    DISP_FORBIDDEN_7 = 7,         // never sent to a module
    DISP_NOTIFY = 8,              // answers 0
    DISP_FORBIDDEN_10 = 10,       // never sent to a module
    DISP_INDEXED_NOTIFY = 12,     // index, ptr; answers 0
};

// Host-callback opcodes: module to host, through the host callback. Arguments not named are 0.
enum : int32_t {
    HOST_SET_PIN_STATUS = 0,             // index: pin; value: state; ptr: sample clock from which it holds
    HOST_GET_SAMPLE_CLOCK = 3,           // answers the current sample clock (unsigned)
    HOST_GET_PIN_BUFFER = 7,             // index: pin; answers the address of the pin's sample buffer
    HOST_GET_PIN_COUNT = 14,             // answers the number of pins the host keeps for the instance
    HOST_PROCESS_FUNCTION_CHANGED = 22,  // the record's `process` now holds a new routine
};

// ---------------------------------------------------------------------------------------------------
// PinProperties: a module's description of one pin. The host owns the record; the module writes only
// the fields its pin uses and leaves the others as it found them. Texts are the module's constants.
// ---------------------------------------------------------------------------------------------------
struct PinProperties {
    void* variable_address;      // 0:  module member holding the pin's value (by datatype), or null
    int32_t direction;           // 4:  PIN_IN, PIN_OUT or PIN_SETTING
    int32_t datatype;            // 8:  DT_* code
    const char* name;            // 12: the pin's name as the host shows it
    const char* default_value;   // 16: volts for DT_FSAMPLE, a list value for DT_LIST; null for none
    const char* datatype_extra;  // 20: "a,b,c,d" range for DT_FSAMPLE, "name=value,..." for DT_LIST
    int32_t flags;               // 24: PIN_FLAG_REPEAT; other bits belong to the host
    int32_t reserved;            // 28: never written by a module
};
static_assert(sizeof(PinProperties) == 32, "PinProperties is eight words");
static_assert(offsetof(PinProperties, variable_address) == 0);
static_assert(offsetof(PinProperties, direction) == 4);
static_assert(offsetof(PinProperties, datatype) == 8);
static_assert(offsetof(PinProperties, name) == 12);
static_assert(offsetof(PinProperties, default_value) == 16);
static_assert(offsetof(PinProperties, datatype_extra) == 20);
static_assert(offsetof(PinProperties, flags) == 24);
static_assert(offsetof(PinProperties, reserved) == 28);

// Pin directions.
enum : int32_t {
    PIN_IN = 0,       // input
    PIN_OUT = 1,      // output
    PIN_SETTING = 3,  // chosen in the host, read by the module like an input
};

// Pin data types: what the member at variable_address holds.
enum : int32_t {
    DT_LIST = 0,     // 16-bit value of the chosen list entry
    DT_BYTE = 4,     // one byte
    DT_FSAMPLE = 5,  // address of the pin's sample buffer (32-bit floats owned by the host; 1.0 = 10 V)
    DT_WORD32 = 6,   // 32-bit value
};

// Pin flags.
enum : int32_t {
    PIN_FLAG_REPEAT = 8,  // on the last described pin: every further host pin repeats it
};

// Pin states.
enum : int32_t {
    PIN_STATE_STATIC = 0,   // the value does not change
    PIN_STATE_CHANGED = 1,  // changed once, at the event's time stamp
    PIN_STATE_RUNNING = 2,  // changes every sample
};

// ---------------------------------------------------------------------------------------------------
// TREvent: a time-stamped event, owned by the host and only read by the module.
// ---------------------------------------------------------------------------------------------------
struct TREvent {
    uint32_t time_stamp;  // 0:  sample clock at which the event falls; must be the current clock
    int32_t event_type;   // 4:  EVT_* code
    int32_t int_param1;   // 8:  first integer parameter (a pin state for EVT_PIN_STATUS)
    int32_t int_param2;   // 12: second integer parameter (its low 16 bits for EVT_DATA)
    void* ptr_param;      // 16: a pin index (EVT_PIN_STATUS) or a TRModuleRoutine (EVT_RUN_ROUTINE)
    TREvent* next;        // 20: the host's; never read by the module
};
static_assert(sizeof(TREvent) == 24, "TREvent is six words");
static_assert(offsetof(TREvent, time_stamp) == 0);
static_assert(offsetof(TREvent, event_type) == 4);
static_assert(offsetof(TREvent, int_param1) == 8);
static_assert(offsetof(TREvent, int_param2) == 12);
static_assert(offsetof(TREvent, ptr_param) == 16);
static_assert(offsetof(TREvent, next) == 20);

// Event types. Every other type is ignored.
enum : int32_t {
    EVT_PIN_STATUS = 0,    // ptr_param: pin index; int_param1: the pin's new state
    EVT_DATA = 2,          // time_stamp, int_param1, low 16 bits of int_param2
    EVT_RUN_ROUTINE = 21,  // ptr_param: a TRModuleRoutine to run on the module
};

#endif  // TRMOD_INTERFACE_H
