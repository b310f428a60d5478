// The library's outward face: VEXLO at module index 0, with its texts.
#include "module_texts.h"
#include "tr_module_library.h"
#include "vexlo_module.h"

namespace {

const TRModuleTexts kVexloTexts = {kModuleName, kModuleIdentifier, kModuleAbout};

}  // namespace

TR_MODULE_LIBRARY(VexloModule, kVexloTexts);
