#include "checks.h"

namespace trhost::validate {

const std::vector<Check>& AllChecks() {
    static const std::vector<Check> checks = {
        {"exports", "both exports; index 0 described with texts and flags; other indexes and kinds refused",
         CheckExports},
        {"record", "plug record fields, host handle round trip, every host call carries the record", CheckRecord},
        {"pins", "pin descriptions: known codes, names, parsable texts, host fields kept, undescribed indexes",
         CheckPinDescriptions},
        {"open-close", "process entry change announced, close answers 1, close without open, second open",
         CheckOpenClose},
        {"open-close-cycles", "100 create/open/close cycles without memory growth", CheckOpenCloseCycles},
        {"processing", "sample rates x block sizes x list choices with in-range input: canaries, inputs, output",
         CheckProcessing},
        {"bad-input", "NaN, infinities, huge, denormal and zero input; list values outside the choices", CheckBadInput},
        {"events", "pin-status events of each state on every pin, data events, unknown event types", CheckEvents},
        {"realtime", "no heap allocation or release inside the process routine", CheckRealtime},
        {"fp-state", "MXCSR and x87 control word unchanged by every call into the module", CheckFpState},
        {"report", "cost per sample of the process routine and time of Open (information)", CheckReport},
    };
    return checks;
}

}  // namespace trhost::validate
