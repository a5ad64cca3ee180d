/* timer.h - SysTick millisecond clock and software timers. */
#ifndef TIMER_H
#define TIMER_H

#include <stdint.h>

typedef void (*timer_callback)(void *arg);

struct soft_timer {
    uint32_t period_ms;
    uint32_t due;
    timer_callback fn;
    void *arg;
    uint8_t active;
};

#define MAX_TIMERS 4

extern volatile uint32_t g_millis;

void timer_init(void);
int timer_start(uint32_t period_ms, timer_callback fn, void *arg);
void timer_poll(void);
void SysTick_Handler(void);

#endif
