// Every call a module makes into the host, held against what the interface allows at that moment:
// the calling instance's own record first, a known opcode, pin indexes below the host's pin count,
// known pin states, pin states stamped with the current sample clock, and HOST_PROCESS_FUNCTION_CHANGED
// only after the record's process field has changed, and only then.
#ifndef TRHOST_VALIDATE_HOST_CALL_AUDIT_H
#define TRHOST_VALIDATE_HOST_CALL_AUDIT_H

#include <cstdint>
#include <string>
#include <vector>

#include "host_instance.h"

namespace trhost::validate {

// The host's side of one call into the module, as it stood when the call began.
struct CallMoment {
    std::string what;             // "process(offset 17, 64 samples)", "DISP_OPEN", ...
    const TRMod_struct* record;   // the instance's record (for makeModule: the one it answered)
    int32_t pin_count = 0;        // what HOST_GET_PIN_COUNT answers
    uint32_t sample_clock = 0;    // the host's clock
    int32_t block = 0;            // samples of a process call; 0 for every other call
    TRProcessEntry entry_before;  // the record's process field before the call
};

// "HOST_SET_PIN_STATUS(index 3, value 2, ptr 0x0, opt 0)"
std::string DescribeHostCall(const HostCall& call);

// What is wrong with the calls the module made during one call into it, one line per fault, naming
// the call, its arguments and the moment.
std::vector<std::string> AuditHostCalls(const CallMoment& moment, const std::vector<HostCall>& calls);

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_HOST_CALL_AUDIT_H
