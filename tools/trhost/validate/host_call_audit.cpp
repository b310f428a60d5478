#include "host_call_audit.h"

#include <cstdio>

namespace trhost::validate {

namespace {

const char* OpcodeName(int32_t opcode) {
    switch (opcode) {
        case HOST_SET_PIN_STATUS: return "HOST_SET_PIN_STATUS";
        case HOST_GET_SAMPLE_CLOCK: return "HOST_GET_SAMPLE_CLOCK";
        case HOST_GET_PIN_BUFFER: return "HOST_GET_PIN_BUFFER";
        case HOST_GET_PIN_COUNT: return "HOST_GET_PIN_COUNT";
        case HOST_PROCESS_FUNCTION_CHANGED: return "HOST_PROCESS_FUNCTION_CHANGED";
        default: return nullptr;
    }
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
    return text;
}

std::string Address(const void* address) { return Hex(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address))); }

bool IsPinRequest(int32_t opcode) { return opcode == HOST_SET_PIN_STATUS || opcode == HOST_GET_PIN_BUFFER; }

bool IsPinState(int32_t state) {
    return state == PIN_STATE_STATIC || state == PIN_STATE_CHANGED || state == PIN_STATE_RUNNING;
}

// A state holds from the clock it carries. Outside a block only the current clock is the present;
// inside one, so is every sample of the block being made, since a module may tell where in the
// block its output settled. A stamp before the block or past it is a time the host has left or not
// reached.
bool StampIsCurrent(const CallMoment& moment, uint32_t stamp) {
    if (moment.block <= 0) return stamp == moment.sample_clock;
    return stamp - moment.sample_clock < static_cast<uint32_t>(moment.block);
}

std::string ClockSpan(const CallMoment& moment) {
    if (moment.block <= 1) return "the current clock is " + std::to_string(moment.sample_clock);
    return "the block covers " + std::to_string(moment.sample_clock) + ".." +
           std::to_string(static_cast<uint32_t>(moment.sample_clock + static_cast<uint32_t>(moment.block) - 1));
}

}  // namespace

std::string DescribeHostCall(const HostCall& call) {
    const char* name = OpcodeName(call.opcode);
    char opt[32];
    std::snprintf(opt, sizeof opt, "%g", static_cast<double>(call.opt));
    return std::string(name ? name : "opcode " + std::to_string(call.opcode)) + "(index " + std::to_string(call.index) +
           ", value " + std::to_string(call.value) + ", ptr " + Hex(call.ptr) + ", opt " + opt + ")";
}

std::vector<std::string> AuditHostCalls(const CallMoment& moment, const std::vector<HostCall>& calls) {
    std::vector<std::string> faults;
    TRProcessEntry last_announced = moment.entry_before;
    for (const HostCall& call : calls) {
        std::string head = DescribeHostCall(call) + " during " + moment.what + ": ";
        auto fault = [&](const std::string& what) { faults.push_back(head + what); };
        if (call.record != moment.record) {
            fault("the first argument is " + Address(call.record) + ", not the instance's record " +
                  Address(moment.record));
        }
        if (!OpcodeName(call.opcode)) {
            fault("no host opcode has this number");
            continue;
        }
        if (IsPinRequest(call.opcode) && (call.index < 0 || call.index >= moment.pin_count)) {
            fault("pin index " + std::to_string(call.index) + " is not below the pin count " +
                  std::to_string(moment.pin_count));
        }
        if (call.opcode == HOST_SET_PIN_STATUS) {
            if (!IsPinState(call.value)) fault(std::to_string(call.value) + " is no pin state");
            if (!StampIsCurrent(moment, call.ptr)) {
                fault("stamped with sample clock " + std::to_string(call.ptr) + ", but " + ClockSpan(moment));
            }
        }
        if (call.opcode == HOST_PROCESS_FUNCTION_CHANGED) {
            if (call.process_entry == last_announced) {
                fault("the record's process field had not changed since " +
                      std::string(last_announced == moment.entry_before ? "the call began" : "the last announcement"));
            }
            last_announced = call.process_entry;
        }
    }
    return faults;
}

}  // namespace trhost::validate
