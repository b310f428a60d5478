#include "vexlo_module.h"

VexloModule::VexloModule(TRHostCallback host_callback, uint32_t host_handle)
    : TRModule_base(host_callback, host_handle) {}

VexloModule::~VexloModule() {
    ReleaseSineTable();
    ReleaseSmoother();
}

void VexloModule::OnPinStatusChanged(TRPin*) {}

