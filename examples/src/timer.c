/* timer.c - 1 kHz SysTick interrupt and polled software timers. */
#include "board.h"
#include "timer.h"

volatile uint32_t g_millis;
static struct soft_timer timers[MAX_TIMERS];
static uint32_t timer_overdue;

void SysTick_Handler(void)
{
    g_millis++;
}

void timer_init(void)
{
    SYSTICK->LOAD = CPU_HZ / TICK_HZ - 1u;
    SYSTICK->VAL = 0;
    SYSTICK->CTRL = 7u;     /* enable, interrupt, core clock */
}

int timer_start(uint32_t period_ms, timer_callback fn, void *arg)
{
    int i;

    for (i = 0; i < MAX_TIMERS; i++) {
        struct soft_timer *t = &timers[i];
        if (!t->active) {
            t->period_ms = period_ms;
            t->due = g_millis + period_ms;
            t->fn = fn;
            t->arg = arg;
            t->active = 1;
            return i;
        }
    }
    return -1;
}

void timer_poll(void)
{
    uint32_t now = g_millis;
    int i;

    for (i = 0; i < MAX_TIMERS; i++) {
        struct soft_timer *t = &timers[i];
        if (t->active && (int32_t)(now - t->due) >= 0) {
            if (now - t->due > t->period_ms)
                timer_overdue++;
            t->due += t->period_ms;
            t->fn(t->arg);
        }
    }
}
