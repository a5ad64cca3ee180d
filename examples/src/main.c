/* main.c - blinky: an LED state machine driven by UART commands. */
#include "board.h"
#include "uart.h"
#include "timer.h"

enum led_state {
    LED_OFF,
    LED_ON,
    LED_BLINK_SLOW,
    LED_BLINK_FAST,
    LED_FAULT
};

struct app_state {
    enum led_state state;
    enum led_state previous;
    uint32_t transitions;
    uint32_t blink_count;
    uint8_t led_level;
    char last_command;
};

struct app_state g_app = { LED_BLINK_SLOW, LED_OFF, 0, 0, 0, 0 };
uint32_t g_boot_count = 1;
const char g_greeting[] = "blinky ready\r\n";
static const char *const state_names[] = { "off", "on", "slow", "fast", "fault" };
static const uint16_t blink_half_period[] = { 0, 0, 500, 100, 50 };
static uint32_t next_toggle;

static void led_write(uint8_t on)
{
    GPIOA->BSRR = on ? (1u << LED_PIN) : (1u << (LED_PIN + 16u));
    g_app.led_level = on;
}

static void set_state(struct app_state *app, enum led_state next)
{
    if (next == app->state)
        return;
    app->previous = app->state;
    app->state = next;
    app->transitions++;
    uart_puts("state: ");
    uart_puts(state_names[next]);
    uart_puts("\r\n");
}

static void handle_command(struct app_state *app, int c)
{
    switch (c) {
    case '0': set_state(app, LED_OFF); break;
    case '1': set_state(app, LED_ON); break;
    case 's': set_state(app, LED_BLINK_SLOW); break;
    case 'f': set_state(app, LED_BLINK_FAST); break;
    default:
        set_state(app, LED_FAULT);
        break;
    }
    app->last_command = (char)c;
}

static void heartbeat(void *arg)
{
    uint32_t *count = arg;

    (*count)++;
    uart_putc('.');
}

static void step(struct app_state *app, uint32_t now)
{
    uint16_t half = blink_half_period[app->state];

    switch (app->state) {
    case LED_OFF:
        led_write(0);
        break;
    case LED_ON:
        led_write(1);
        break;
    case LED_BLINK_SLOW:
    case LED_BLINK_FAST:
    case LED_FAULT:
        if ((int32_t)(now - next_toggle) >= 0) {
            next_toggle = now + half;
            led_write(!app->led_level);
            app->blink_count++;
        }
        break;
    }
}

int main(void)
{
    static uint32_t heartbeats;
    int c;

    GPIOA->MODER |= 1u << (LED_PIN * 2u);
    uart_init(115200u);
    timer_init();
    timer_start(1000u, heartbeat, &heartbeats);
    uart_puts(g_greeting);

    for (;;) {
        c = uart_getc();
        if (c >= 0)
            handle_command(&g_app, c);
        step(&g_app, g_millis);
        timer_poll();
    }
}
