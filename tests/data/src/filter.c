/* filter.c - code that runs from RAM, restrict pointers, inline
 * functions from a header, an int-to-float conversion (a run-time helper
 * call on soft-float targets) and an integer division (a helper call on
 * SH-4). */
#include "filter.h"

/* Initialised data: copied from flash to RAM by the start-up code. */
struct filter_state g_filter = { { 1, 2, 3, 4 }, 0, FILTER_LOWPASS, 3, { 1, 0, 2, -3 } };
sample_t g_history[FILTER_TAPS * 2] = { 5, -5, 10, -10, 20, -20, 40, -40 };
float g_gain;

static int s_runs;
static sample_t s_scratch[FILTER_TAPS * 2];

/* Runs from RAM: the linker script places .ramfunc with .data. */
__attribute__((section(".ramfunc"), noinline))
int filter_step(struct filter_state *restrict st, const sample_t *restrict in, int n)
{
    int acc = 0;
    int i;

    for (i = 0; i < n; i++)
        acc += mul_tap(in[i], st->coeff[i & (FILTER_TAPS - 1)]);
    st->flags.overflow = acc > 32767 || acc < -32768;
    st->last = clamp_sample(acc / st->divisor);
    return st->last;
}

void filter_copy(sample_t *restrict dst, const sample_t *restrict src, unsigned int n)
{
    while (n--)
        *dst++ = *src++;
}

float filter_gain(int level)
{
    s_runs++;
    return (float)level;
}

int filter_run(void)
{
    int out;

    filter_copy(s_scratch, g_history, FILTER_TAPS * 2);
    out = filter_step(&g_filter, s_scratch, FILTER_TAPS * 2);
    g_gain = filter_gain(out + g_filter.flags.bias);
    return out;
}
