// The DELAY library: the module at index 0, with its texts.
#include "delay_module.h"
#include "tr_module_library.h"
#include "vexlo_version.h"

namespace {

// The title line carries the release's version, as the version resource does. Lines end in one blank
// and a line feed; paragraphs are separated by an empty line.
const char kName[] = "DELAY";
const char kIdentifier[] = "QAV DELAY";
const char kAbout[] =
    "DELAY v." VEXLO_VERSION_TEXT " \n"
    "by the VEXLO developers \n"
    "\n"
    "A delay line whose TIME (1 V = 1 ms) may be modulated at audio rate, for example by a VEXLO: \n"
    "OFFSET as the delay, DEPTH as its variation. Fractional delays are read with Catmull-Rom \n"
    "interpolation, so a sweeping delay glides without clicks and bends the pitch like a moving source. \n"
    "\n"
    "FEEDBACK sends the delayed signal back in: 10 V for all of it, held at 99 % at most. MIX goes from \n"
    "the dry input at 0 V to the delayed signal alone at 10 V. MAX DELAY is read when the module \n"
    "opens; TIME is held between two samples and MAX DELAY. \n";

const TRModuleTexts kTexts = {kName, kIdentifier, kAbout};

}  // namespace

TR_MODULE_LIBRARY(DelayModule, kTexts);
