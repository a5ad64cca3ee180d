/* start_sh.c - entry point for the SH-4 build (no C library). */
#include "common.h"

static int s_exit_code;

void _start(void)
{
    s_exit_code = main();
    for (;;)
        g_tick++;
}
