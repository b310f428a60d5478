#include "checks.h"

namespace trhost::validate {

const std::vector<Check>& AllChecks() {
    static const std::vector<Check> checks = {
        {"exports", "both exports; index 0 described with texts and flags; other indexes and kinds refused",
         CheckExports},
        {"record", "plug record fields, host handle round trip, every host call carries the record", CheckRecord},
        {"host-calls",
         "every call into the host: own record, known opcode, pin index, state, current clock, announcements",
         CheckHostCalls},
        {"pins", "pin descriptions: known codes, names, parsable texts, host fields kept, undescribed indexes",
         CheckPinDescriptions},
        {"open-close", "process entry change announced, close answers 1, close without open, second open",
         CheckOpenClose},
        {"open-close-cycles", "100 create/open/close cycles without memory growth", CheckOpenCloseCycles},
        {"processing", "sample rates x block sizes x list choices with in-range input: canaries, inputs, output",
         CheckProcessing},
        {"block-partition", "the same moving input cut into calls of every size and offset gives the same output",
         CheckBlockPartition},
        {"moving-buffers",
         "the host may hand new buffers between any two calls (after DISP_SET_BLOCK_SIZE, say): output as with "
         "buffers kept, so read the pin members on every call",
         CheckMovingBuffers},
        {"shared-inputs",
         "the host may hand one buffer to several inputs, never an input's buffer to an output: output as with a "
         "buffer each, so never write into an input",
         CheckSharedInputs},
        {"isolation", "instances at one rate and at others, interleaved, opened and closed among each other: as alone",
         CheckIsolation},
        {"determinism", "the same input gives the same output: again, after close and re-open, on a stirred heap",
         CheckDeterminism},
        {"threads", "instances on several threads at once give what they give alone", CheckThreads},
        {"bad-input", "NaN, infinities, huge, denormal and zero input; list values outside the choices", CheckBadInput},
        {"recovery",
         "after NaN, infinite or huge input ends, output finite again within 10 s (the longest delay a module may "
         "hold a value), for good",
         CheckRecovery},
        {"long-run",
         "held settings for an hour (10 min at level 1, past 2^32 samples at 3): peak, RMS, DC and frequency at the "
         "end as at the start",
         CheckLongRun},
        {"denormals", "cost of denormal input and of silence after a decay, against normal input (information, WARN)",
         CheckDenormals},
        {"events", "pin-status events of each state on every pin, data events, unknown event types", CheckEvents},
        {"realtime", "no heap allocation or release inside the process routine", CheckRealtime},
        {"fp-state", "MXCSR and x87 control word unchanged by every call into the module", CheckFpState},
        {"stack-alignment",
         "every entry called on stacks 4, 8 and 12 bytes past a multiple of 16 gives what it gives aligned (Windows)",
         CheckStackAlignment},
        {"report", "cost per sample of the process routine and time of Open (information)", CheckReport},
    };
    return checks;
}

}  // namespace trhost::validate
