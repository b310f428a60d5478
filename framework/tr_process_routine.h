// A module's process routine as the plug record's process entry. The host calls the entry with the
// record's `object` value; the entry turns it back into the module and calls the member routine, with
// no dispatching and no virtual call in between:
//
//   SetProcessFunction(TRProcessRoutine<DelayModule, &DelayModule::Process>);
//
// The host calls it once per block, on its audio thread, after DISP_OPEN and before DISP_CLOSE, one
// call at a time per instance. The routine reads samples [offset, offset + count) of its input
// buffers and writes the same samples of its output buffers, and nothing else. Every buffer is the
// host's: the host may hand one buffer to several inputs, never hands an output the buffer of one of
// the same module's inputs, and may put new buffer addresses into the pin members between any two
// calls, so the routine reads the members anew on every call and keeps no buffer address. It
// allocates nothing, frees nothing and waits for nothing.
#ifndef TR_PROCESS_ROUTINE_H
#define TR_PROCESS_ROUTINE_H

#include <cstdint>
#include <limits>

#include "tr_module_base.h"
#include "trmod_interface.h"

template <class Module, void (Module::*Routine)(int32_t offset, int32_t count)>
void TR_CALL TRProcessRoutine(void* object, int32_t offset, int32_t count) {
    if (!object) return;
    (static_cast<Module*>(TRModule_base::FromObject(object))->*Routine)(offset, count);
}

// True when a block of `count` samples at `offset` of the pin buffers can be processed: a positive count
// at a non-negative offset whose end stays within 32 bits. A process routine tests it first and writes
// nothing for any other block.
inline bool TRProcessableBlock(int32_t offset, int32_t count) {
    return count > 0 && offset >= 0 && offset <= std::numeric_limits<int32_t>::max() - count;
}

#endif  // TR_PROCESS_ROUTINE_H
