/* The math unit's control registers, which a C runtime's start-up would set.
   The 32-bit program computes on the x87: at 53-bit precision its +, -, *, /
   and square root round to double's 53 bits (velmo/num/arith.cpp mends the
   results below the normal range). Linux starts processes at 64-bit
   precision, and no Windows promises to leave the word as the program set
   it, so it is loaded again before every command. */
#include "fpu.h"

/* Round to nearest, all exceptions masked, no flush to zero */
#define SSE_CONTROL 0x1F80

void SetMathUnit(void)
{
#if defined(__i386__) || defined(__x86_64__)
    unsigned short control = X87_CONTROL_WORD;

    __asm__ volatile("fldcw %0" : : "m"(control));
#endif
#ifdef __SSE2_MATH__
    unsigned int sse = SSE_CONTROL;

    __asm__ volatile("ldmxcsr %0" : : "m"(sse));
#endif
}
