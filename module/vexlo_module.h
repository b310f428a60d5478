// VEXLO: a frequency- and phase-modulatable low-frequency oscillator.
#ifndef VEXLO_MODULE_H
#define VEXLO_MODULE_H

#include <cstdint>

#include "tr_module_base.h"

class VexloModule : public TRModule_base {
public:
    VexloModule(TRHostCallback host_callback, uint32_t host_handle);
};

#endif  // VEXLO_MODULE_H
