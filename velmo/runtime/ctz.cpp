/* The helper GCC calls for __builtin_ctzll on 32-bit x86. libgcc's own is
   built for later processors (it uses tzcnt); this one is built as the rest
   of the program, for the 386. The host tests build it under another name. */
#ifndef CTZ_NAME
#define CTZ_NAME __ctzdi2
#endif

/* The number of zero bits below the lowest one bit; value is not zero */
extern "C" int CTZ_NAME(unsigned long long value)
{
    unsigned low = (unsigned)value;

    return low ? __builtin_ctz(low) : 32 + __builtin_ctz((unsigned)(value >> 32));
}
