// Calling a plain C (__cdecl) function on a stack aligned as the caller chooses. The 32-bit x86
// calling convention of Windows promises a function only 4-byte alignment of the stack on entry; g++
// keeps 16 bytes (as Linux's i386 ABI asks), so a host built by it never shows a module what another
// host does. This call does: it aligns the stack pointer to 16 bytes, lowers it by `offset`, copies
// the arguments there and calls, so that at the call instruction the stack pointer is `offset` bytes
// below a multiple of 16 (0: as the i386 ABI asks; 4, 8, 12: as 32-bit Windows allows).
#ifndef TRHOST_VALIDATE_STACK_OFFSET_CALL_H
#define TRHOST_VALIDATE_STACK_OFFSET_CALL_H

#include <cstdint>

// `entry` takes `count` 32-bit arguments and answers at most 32 bits (in eax), which come back.
extern "C" uint32_t CallWithStackOffset(const void* entry, const uint32_t* arguments, int32_t count,
                                        uint32_t offset) asm("trhost_call_with_stack_offset");

#endif  // TRHOST_VALIDATE_STACK_OFFSET_CALL_H
