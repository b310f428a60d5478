// The @NAME@ library: the module at index 0, with its texts, and the library's two exports.
#include "@name@_module.h"
#include "tr_module_library.h"

namespace {

// Constant storage the host reads and never frees. The identifier tells modules apart: put a prefix of
// your own before the name. Lines of the about text end in one blank and a line feed; paragraphs are
// separated by an empty line.
const char kName[] = "@NAME@";
const char kIdentifier[] = "DEV @NAME@";
const char kAbout[] =
    "@NAME@ v.0.1.0 \n"
    "\n"
    "A voltage-controlled amplifier: OUT is IN times GAIN, where GAIN 10 V passes IN unchanged. \n";

const TRModuleTexts kTexts = {kName, kIdentifier, kAbout};

}  // namespace

TR_MODULE_LIBRARY(@Class@, kTexts);
