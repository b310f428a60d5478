// The call in assembly (i386, AT&T syntax), since no compiler lets C++ choose the stack pointer. The
// same code serves Linux and Windows: the symbol is named exactly, without a platform's underscore.
#include "stack_offset_call.h"

#if !defined(__i386__)
#error "trhost's validator is built for 32-bit x86 only"
#endif

asm(R"(
    .text
    .globl trhost_call_with_stack_offset
trhost_call_with_stack_offset:
    pushl %ebp
    movl  %esp, %ebp
    pushl %esi
    pushl %edi
    movl  16(%ebp), %ecx        # count
    movl  12(%ebp), %esi        # arguments
    leal  15(,%ecx,4), %eax
    andl  $-16, %eax            # room for the arguments, in whole 16-byte units
    movl  %esp, %edx
    subl  %eax, %edx
    andl  $-16, %edx            # a multiple of 16 with the arguments' room above it ...
    subl  20(%ebp), %edx        # ... lowered by the offset
    movl  %edx, %esp
    movl  %esp, %edi
    cld
    rep movsl                   # the arguments, first at the lowest address
    call  *8(%ebp)
    leal  -8(%ebp), %esp        # the callee (cdecl) leaves the arguments: drop them and the realignment
    popl  %edi
    popl  %esi
    popl  %ebp
    ret
)");
