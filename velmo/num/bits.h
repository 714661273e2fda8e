/* A double's bits and back, without breaking aliasing rules */
#ifndef VELMO_BITS_H
#define VELMO_BITS_H

#include <stdint.h>
#include <string.h>

static inline uint64_t Bits(double value)
{
    uint64_t bits;

    memcpy(&bits, &value, sizeof bits);
    return bits;
}

static inline double FromBits(uint64_t bits)
{
    double value;

    memcpy(&value, &bits, sizeof value);
    return value;
}

#endif
