// The MIXER library: the module at index 0, with its texts.
#include "mixer_module.h"
#include "tr_module_library.h"

namespace {

// Lines end in one blank and a line feed; paragraphs are separated by an empty line.
const char kName[] = "MIXER";
const char kIdentifier[] = "QAV MIXER";
const char kAbout[] =
    "MIXER v.1.0.0 \n"
    "by the VEXLO developers \n"
    "\n"
    "Four channels, each an IN with a GAIN and a PAN, into a mono MIX and a LEFT and RIGHT pair. \n"
    "GAIN is linear, 10 V to unity, and takes audio rate: wire a VEXLO into it for a tremolo. \n"
    "PAN runs from -10 V (hard left) to 10 V (hard right) at constant power. \n";

const TRModuleTexts kTexts = {kName, kIdentifier, kAbout};

}  // namespace

TR_MODULE_LIBRARY(MixerModule, kTexts);
