/* helpers.c - the run-time helpers the compiler calls for filter.c, so
 * that no libgcc (whose units carry other debug information) is linked.
 * They only have to link and be correct enough to read. */
#include "common.h"

#if defined(__ARM_EABI__)

typedef union {
    float f;
    u32 bits;
} float_bits;

/* int to float, truncating: soft-float targets call it for (float)i. */
float __aeabi_i2f(int v)
{
    float_bits r;
    u32 m = v < 0 ? 0u - (u32)v : (u32)v;
    u32 exponent = 127 + 31;

    if (m == 0) {
        r.bits = 0;
        return r.f;
    }
    while (!(m & 0x80000000u)) {
        m <<= 1;
        exponent--;
    }
    r.bits = (v < 0 ? 0x80000000u : 0u) | (exponent << 23) | ((m >> 8) & 0x7fffffu);
    return r.f;
}

#else

/* Shift-and-subtract division: SH-4 calls these for '/'. */
unsigned int __udivsi3_i4i(unsigned int n, unsigned int d)
{
    unsigned int q = 0;
    int bit;

    for (bit = 31; bit >= 0; bit--) {
        if ((n >> bit) >= d) {
            n -= d << bit;
            q |= 1u << bit;
        }
    }
    return q;
}

int __sdivsi3_i4i(int n, int d)
{
    unsigned int q = __udivsi3_i4i(n < 0 ? 0u - (unsigned int)n : (unsigned int)n,
                                   d < 0 ? 0u - (unsigned int)d : (unsigned int)d);

    return (n < 0) != (d < 0) ? -(int)q : (int)q;
}

#endif
