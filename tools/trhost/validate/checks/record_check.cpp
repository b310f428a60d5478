// The plug record makeModule hands out, and the address every host call of the instance carries.
#include <cstring>

#include "check_steps.h"
#include "checks.h"
#include "module_session.h"

namespace trhost::validate {

namespace {

constexpr uint32_t kFirstHandle = 0x13572468u;
constexpr uint32_t kSecondHandle = 0xCAFEF00Du;

// Dispatcher opcodes no module knows. 7 and 10 are left out: they must never reach a module at all.
constexpr uint32_t kUnknownOpcodes[] = {4, 5, 9, 11, 13, 14, 64, 0x7FFFFFFFu, 0xFFFFFFFFu};

void CheckFields(CheckContext& context, const TRMod_struct& record, uint32_t host_handle, const char* which) {
    auto fail = [&](const std::string& what) { context.Fail(std::string(which) + " record: " + what); };
    if (record.magic != TR_PLUG_MAGIC) {
        char text[64];
        std::snprintf(text, sizeof text, "magic is 0x%08x, not 0x%08x", static_cast<unsigned>(record.magic),
                      static_cast<unsigned>(TR_PLUG_MAGIC));
        fail(text);
    }
    if (record.version != TR_PLUG_VERSION) fail("version is " + std::to_string(record.version) + ", not 1");
    if (record.host_handle != host_handle) fail("the host handle did not come back as given");
    if (!record.object) fail("object is null");
    if (record.reserved16 != 0) fail("the reserved word at offset 16 is not 0");
    for (uint32_t word : record.reserved32) {
        if (word != 0) {
            fail("the reserved words from offset 32 are not all 0");
            break;
        }
    }
    if (!record.dispatcher) fail("dispatcher entry is null");
    if (!record.process) fail("process entry is null");
    if (!record.event) fail("event entry is null");
}

// The record with its process entry left out: the one field a module may change after creation.
TRMod_struct WithoutProcess(const TRMod_struct& record) {
    TRMod_struct copy = record;
    copy.process = nullptr;
    return copy;
}

bool SameRecord(const TRMod_struct& a, const TRMod_struct& b) {
    TRMod_struct x = WithoutProcess(a), y = WithoutProcess(b);
    return std::memcmp(&x, &y, sizeof x) == 0;
}

}  // namespace

void CheckRecord(CheckContext& context) {
    ModuleSession first(context.Library(), context.Rng());
    ModuleSession second(context.Library(), context.Rng());
    context.Stage("makeModule twice");
    if (!first.Create(kFirstHandle) || !second.Create(kSecondHandle)) {
        context.Fail("makeModule(0, 1) answered null");
        return;
    }
    const TRMod_struct& a = *first.Host().Record();
    const TRMod_struct& b = *second.Host().Record();
    CheckFields(context, a, kFirstHandle, "first");
    CheckFields(context, b, kSecondHandle, "second");
    if (&a == &b || a.object == b.object) context.Fail("two instances share a record or an object");
    if (!a.dispatcher || !a.process || !a.event || !b.dispatcher || !b.process || !b.event) return;
    TRMod_struct a_made = a, b_made = b;

    // Both instances through a whole life, interleaved, so that a module that mixes up its instances'
    // records shows it.
    for (ModuleSession* session : {&first, &second}) {
        context.Stage("DISP_OPEN");
        session->Open(44100.0f);
    }
    for (int block = 0; block < 4; ++block) {
        for (ModuleSession* session : {&first, &second}) {
            context.Stage("process");
            ReportBlock(context, session->Process(block * 64, 64), "block " + std::to_string(block),
                        OutputRule::kAnything);
            for (const auto& pin : session->Pins()) {
                context.Stage("pin-status event");
                session->SendPinStatus(pin, PIN_STATE_STATIC);
            }
        }
    }
    if (!SameRecord(a_made, a) || !SameRecord(b_made, b)) {
        context.Fail("a record field other than the process entry changed after creation");
    }

    for (uint32_t opcode : kUnknownOpcodes) {
        context.Stage("dispatcher opcode " + std::to_string(opcode));
        int32_t answer = first.Host().Dispatch(opcode, 1, 1, nullptr, 1.0f);
        if (answer != 0) {
            context.Warn("dispatcher opcode " + std::to_string(opcode) + " is no known opcode but answered " +
                         std::to_string(answer));
        }
    }
    context.Stage("process after unknown opcodes");
    ReportBlock(context, first.Process(0, 64), "after unknown dispatcher opcodes", OutputRule::kAnything);
    if (!SameRecord(a_made, a)) context.Fail("an unknown dispatcher opcode changed the record");

    for (ModuleSession* session : {&first, &second}) {
        context.Stage("DISP_CLOSE");
        session->Close();
        if (int32_t foreign = session->Host().ForeignRecordCalls()) {
            context.Fail(std::to_string(foreign) +
                         " host calls carried another address than the instance's record as their first argument");
        }
    }
}

}  // namespace trhost::validate
