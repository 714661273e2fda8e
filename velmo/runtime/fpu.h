/* The math unit as the calculator needs it. */
#ifndef VELMO_FPU_H
#define VELMO_FPU_H

/* The x87 control word: 53-bit precision, round to nearest, every
   exception masked */
#define X87_CONTROL_WORD 0x027F

/* Sets the x87 control word, and with SSE2 math the SSE control register,
   to IEEE double rounding with all exceptions masked. Called where the
   program starts and before each calculator command: a DLL, a hook or,
   under Windows 3.1, another program sharing the one FPU may have changed
   them. */
void SetMathUnit(void);

#endif
