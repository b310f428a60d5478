// Fuzz target: lives of module instances, decoded from a byte stream and played through the library's
// makeModule and the plug record alone, as a host (a careless one, too) would.
//
// Each step is one byte naming an operation, followed by its arguments:
//   create, describe, set sample rate, set block size, wire, open, process, fill a pin, set a list
//   value, unwire a pin, send an event, advance the clock, any dispatcher opcode, close, null records.
// Sample rates, pin values and block positions are drawn from tables of the awkward cases (unusable
// rates, non-finite and huge values, negative offsets, empty blocks) as well as from raw bytes.
//
// Checked: no crash, no sanitizer report, no leak; after every block, nothing written outside it and
// nothing written into an input; descriptions the module does not give leave the host's record alone;
// the floating-point control is as the host left it.
#include <cstdint>
#include <cstring>

#include "byte_reader.h"
#include "fuzz_host.h"
#include "fuzz_values.h"
#include "tr_assert.h"

namespace {

// Longest host buffer: enough for several blocks of an ordinary host, small enough to check quickly.
constexpr uint32_t kMaxBufferLength = 2048;
// Most pins a host keeps for an instance here: every described pin (nine for VEXLO, fifteen for MIXER)
// and a few repeated or idle ones.
constexpr uint32_t kMaxHostPins = 16;
// Opens per input, so that one input stays quick to run: an open at 192 kHz fills a table of 5.76
// million sines.
constexpr int kMaxOpens = 6;

enum Step : uint8_t {
    kCreate,
    kDescribe,
    kSetSampleRate,
    kSetBlockSize,
    kWire,
    kOpen,
    kProcess,
    kFill,
    kSetList,
    kUnwire,
    kEvent,
    kAdvanceClock,
    kRawDispatch,
    kClose,
    kNullRecords,
    kStepCount
};

// A block position: mostly inside the buffers, sometimes empty, negative or past them.
void DecodeBlock(ByteReader& in, size_t length, int32_t& offset, int32_t& count) {
    switch (in.Choice(4)) {
        case 0:
        case 1: {  // inside the buffers
            uint32_t a = in.U16() % (length + 1), b = in.U16() % (length + 1);
            offset = static_cast<int32_t>(a < b ? a : b);
            count = static_cast<int32_t>(a < b ? b - a : a - b);
            break;
        }
        case 2:  // empty or negative count at any offset
            offset = static_cast<int32_t>(in.U16() % (length + 1));
            count = -static_cast<int32_t>(in.U8() % 3) * (in.U8() % 2 ? 1 : 1 << 30);
            break;
        default:  // negative offset, any count
            offset = in.I32();
            if (offset >= 0) offset = -1 - (offset & 0xFFFF);
            count = in.I32();
            break;
    }
}

// The routine an EVT_RUN_ROUTINE event runs: counts that it reached the module's object.
int g_routine_runs = 0;
void* g_routine_expected_object = nullptr;
void TR_CALL CountingRoutine(void* object) {
    if (object != g_routine_expected_object) FuzzFail("a routine ran with another object");
    ++g_routine_runs;
}

void SendEvent(ByteReader& in, FuzzHost& host) {
    TREvent event{};
    const int32_t kTypes[] = {EVT_PIN_STATUS, EVT_DATA, EVT_RUN_ROUTINE, 1, 3, -1};
    uint8_t type_choice = in.Choice(7);
    event.event_type = type_choice < 6 ? kTypes[type_choice] : in.I32();
    // Right or wrong time stamps: a wrong one is a broken host invariant, reported and survived.
    event.time_stamp = in.Choice(4) ? host.SampleClock() : host.SampleClock() + in.U32();
    event.int_param1 = in.Choice(2) ? static_cast<int32_t>(in.Choice(4)) : in.I32();
    event.int_param2 = in.I32();
    if (event.event_type == EVT_RUN_ROUTINE) {
        // A host hands over the address of a module routine or nothing; never a random address.
        event.ptr_param = in.Choice(2) ? reinterpret_cast<void*>(&CountingRoutine) : nullptr;
        g_routine_expected_object = host.Record() ? host.Record()->object : nullptr;
    } else {
        int32_t pin = in.Choice(2) ? static_cast<int32_t>(in.Choice(kMaxHostPins + 2)) - 1 : in.I32();
        event.ptr_param = reinterpret_cast<void*>(static_cast<uintptr_t>(static_cast<uint32_t>(pin)));
    }
    event.next = &event;  // the host's; a module that follows it loops
    host.SendEvent(&event);
}

// DISP_GET_PIN_PROPERTIES on a record pre-filled with a pattern: an index the module does not describe
// leaves the whole record as it was, and the reserved word is never written.
void Describe(ByteReader& in, FuzzHost& host) {
    int32_t index = in.Choice(2) ? static_cast<int32_t>(in.Choice(12)) - 1 : in.I32();
    PinProperties record;
    std::memset(&record, 0xA5, sizeof record);
    PinProperties before = record;
    int32_t answer = host.Dispatch(DISP_GET_PIN_PROPERTIES, index, 0, &record, 0.0f);
    if (answer != 0 && answer != 1) FuzzFail("DISP_GET_PIN_PROPERTIES answered neither 0 nor 1");
    if (answer == 0 && std::memcmp(&record, &before, sizeof record) != 0) {
        FuzzFail("an undescribed pin index changed the host's record");
    }
    if (record.reserved != before.reserved) FuzzFail("a description wrote the reserved word");
}

void RawDispatch(ByteReader& in, FuzzHost& host) {
    uint32_t opcode = in.Choice(2) ? in.Choice(16) : in.U32();
    int32_t index = in.I32(), value = in.I32();
    float opt = FloatFromBits(in.U32());
    if (opcode == DISP_CLOSE || opcode == DISP_OPEN) return;  // steps of their own
    // Opcodes that take an address get a record the host owns, or none.
    PinProperties scratch{};
    void* ptr = in.Choice(2) ? &scratch : nullptr;
    if (opcode == DISP_GET_PIN_PROPERTIES && ptr) index = index % 16;
    host.Dispatch(opcode, index, value, ptr, opt);
}

// The entries called with null where a record, an object or an event belongs.
void NullRecords(ByteReader& in, FuzzHost& host) {
    TRMod_struct* record = host.Record();
    if (!record) return;
    switch (in.Choice(4)) {
        case 0: record->dispatcher(nullptr, static_cast<int32_t>(in.Choice(16)), 0, 0, nullptr, 0.0f); break;
        case 1: record->event(nullptr, nullptr); break;
        case 2: record->process(nullptr, 0, static_cast<int32_t>(in.U16())); break;
        default: {
            TREvent event{};
            event.time_stamp = host.SampleClock();
            record->event(nullptr, &event);
            record->event(record->object, nullptr);
            break;
        }
    }
}

void Life(ByteReader& in) {
    FuzzHost host;
    int32_t steps = 0;
    int opens = 0;
    while (!in.Empty() && ++steps < 4096) {
        switch (in.Choice(kStepCount)) {
            case kCreate: {
                uint8_t how = in.U8();
                int32_t index = how & 1 ? in.I32() : 0;
                int32_t kind = how & 2 ? in.I32() : TR_KIND_MODULE;
                host.Create(index, kind, (how & 4) == 0);
                break;
            }
            case kDescribe: Describe(in, host); break;
            case kSetSampleRate:
                host.Dispatch(DISP_SET_SAMPLE_RATE, in.I32(), in.I32(), nullptr, DecodeSampleRate(in));
                break;
            case kSetBlockSize: host.Dispatch(DISP_SET_BLOCK_SIZE, 0, in.I32(), nullptr, 0.0f); break;
            case kWire: {
                uint8_t pins = in.U8();
                int32_t pin_count = static_cast<int32_t>(pins % (kMaxHostPins + 1));
                if (pins & 0x80) pin_count = static_cast<int32_t>(host.Described().size());
                if (pins == 0x7F) pin_count = -1;
                size_t length = in.U16() % (kMaxBufferLength + 1);
                host.Wire(pin_count, length);
                for (int32_t pin = 0; pin < pin_count; ++pin) {
                    FillSignal(in, host.Buffer(pin)->Data(), length);
                }
                break;
            }
            case kOpen:
                if (++opens <= kMaxOpens) host.Dispatch(DISP_OPEN, 0, 0, nullptr, 0.0f);
                break;
            case kProcess: {
                int32_t offset, count;
                DecodeBlock(in, host.BufferLength(), offset, count);
                host.Process(offset, count);
                if (offset >= 0 && count > 0) host.AdvanceClock(static_cast<uint32_t>(count));
                break;
            }
            case kFill: {
                GuardedBuffer* buffer = host.Buffer(static_cast<int32_t>(in.Choice(kMaxHostPins)));
                if (buffer) FillSignal(in, buffer->Data(), buffer->Length());
                break;
            }
            case kSetList:
                host.SetListValue(static_cast<int32_t>(in.Choice(kMaxHostPins)),
                                  in.Choice(2) ? static_cast<int16_t>(in.Choice(5)) : in.I16());
                break;
            case kUnwire: host.SetMemberBuffer(static_cast<int32_t>(in.Choice(kMaxHostPins)), in.Choice(2) == 0); break;
            case kEvent: SendEvent(in, host); break;
            case kAdvanceClock: host.AdvanceClock(in.U32()); break;
            case kRawDispatch: RawDispatch(in, host); break;
            case kClose: host.Close(); break;
            case kNullRecords: NullRecords(in, host); break;
            default: break;
        }
    }
    // The host closes what it created; a leak is reported by the leak checker after the run.
}

// Broken host invariants (wrong time stamps, forbidden opcodes, unknown pins) are reported by the
// framework and survived; here they are counted rather than printed on every run.
int g_reported_checks = 0;
void CountReportedCheck(const char*, const char*, int) { ++g_reported_checks; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    TRSetAssertHandler(CountReportedCheck);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    Life(in);
    return 0;
}
