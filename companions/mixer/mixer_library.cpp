// The MIXER library: the module at index 0, with its texts.
#include "mixer_module.h"
#include "tr_module_library.h"
#include "vexlo_version.h"

namespace {

// The title line carries the release's version, as the version resource does. Lines end in one blank
// and a line feed; paragraphs are separated by an empty line.
const char kName[] = "MIXER";
const char kIdentifier[] = "QAV MIXER";
const char kAbout[] =
    "MIXER v." VEXLO_VERSION_TEXT " \n"
    "by the VEXLO developers \n"
    "\n"
    "Four channels, each an IN with a GAIN and a PAN, into a mono MIX and a LEFT and RIGHT pair. \n"
    "GAIN is linear, 10 V to unity, and takes audio rate: wire a VEXLO into it for a tremolo. \n"
    "PAN runs from -10 V (hard left) to 10 V (hard right) at constant power. \n";

const TRModuleTexts kTexts = {kName, kIdentifier, kAbout};

}  // namespace

TR_MODULE_LIBRARY(MixerModule, kTexts);
