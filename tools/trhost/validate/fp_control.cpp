#include "fp_control.h"

#include <cstdio>

namespace trhost::validate {

std::string DescribeFpChange(const FpControl& before, const FpControl& after) {
    std::string text;
    char part[64];
    if (before.mxcsr != after.mxcsr) {
        std::snprintf(part, sizeof part, "MXCSR 0x%04x -> 0x%04x", static_cast<unsigned>(before.mxcsr),
                      static_cast<unsigned>(after.mxcsr));
        text += part;
    }
    if (before.x87 != after.x87) {
        std::snprintf(part, sizeof part, "%sx87 control word 0x%04x -> 0x%04x", text.empty() ? "" : ", ",
                      static_cast<unsigned>(before.x87), static_cast<unsigned>(after.x87));
        text += part;
    }
    return text;
}

}  // namespace trhost::validate
