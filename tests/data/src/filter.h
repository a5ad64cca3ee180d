/* filter.h - a small sample filter: types and inline helpers used by
 * filter.c only. */
#ifndef FIXTURE_FILTER_H
#define FIXTURE_FILTER_H

#include "common.h"

/* A second typedef chain: tap_t -> sample_t -> short. */
typedef short sample_t;
typedef sample_t tap_t;

#define FILTER_TAPS 4

enum filter_kind { FILTER_NONE, FILTER_LOWPASS = 3, FILTER_HIGHPASS = 7 };

struct filter_flags {
    unsigned int enabled : 1;
    unsigned int overflow : 1;
    unsigned int shift : 4;
    signed int bias : 6;
};

struct filter_state {
    tap_t coeff[FILTER_TAPS];
    sample_t last;
    enum filter_kind kind;
    int divisor;
    struct filter_flags flags;
};

/* Inline functions from a header: out of line at -O0, inlined above. */
static inline sample_t clamp_sample(int v)
{
    if (v > 32767)
        return 32767;
    if (v < -32768)
        return -32768;
    return (sample_t)v;
}

static inline int mul_tap(sample_t a, tap_t b)
{
    return ((int)a * (int)b) >> 2;
}

int filter_step(struct filter_state *restrict st, const sample_t *restrict in, int n);
void filter_copy(sample_t *restrict dst, const sample_t *restrict src, unsigned int n);
float filter_gain(int level);
int filter_run(void);

#endif
