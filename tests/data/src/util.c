/* util.c - freestanding memory helpers (no C library is linked). */
#include "common.h"

void *fx_memset(void *dst, int c, unsigned int n)
{
    volatile unsigned char *d = dst;

    while (n--)
        *d++ = (unsigned char)c;
    return dst;
}

void *fx_memcpy(void *dst, const void *src, unsigned int n)
{
    volatile unsigned char *d = dst;
    const unsigned char *s = src;

    while (n--)
        *d++ = *s++;
    return dst;
}

/* The compiler may emit calls to these for struct copies and loops. */
void *memset(void *dst, int c, __SIZE_TYPE__ n)
{
    return fx_memset(dst, c, n);
}

void *memcpy(void *dst, const void *src, __SIZE_TYPE__ n)
{
    return fx_memcpy(dst, src, n);
}
