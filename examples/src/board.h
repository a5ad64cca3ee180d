/* board.h - registers of a small Cortex-M4 board (GPIO, UART, SysTick). */
#ifndef BOARD_H
#define BOARD_H

#include <stdint.h>

#define CPU_HZ      16000000u
#define TICK_HZ     1000u

typedef struct {
    volatile uint32_t MODER;
    volatile uint32_t OTYPER;
    volatile uint32_t OSPEEDR;
    volatile uint32_t PUPDR;
    volatile uint32_t IDR;
    volatile uint32_t ODR;
    volatile uint32_t BSRR;
} gpio_regs_t;

typedef struct {
    volatile uint32_t SR;
    volatile uint32_t DR;
    volatile uint32_t BRR;
    volatile uint32_t CR1;
} uart_regs_t;

typedef struct {
    volatile uint32_t CTRL;
    volatile uint32_t LOAD;
    volatile uint32_t VAL;
    volatile uint32_t CALIB;
} systick_regs_t;

#define GPIOA   ((gpio_regs_t *)0x40020000u)
#define UART1   ((uart_regs_t *)0x40011000u)
#define SYSTICK ((systick_regs_t *)0xE000E010u)

#define UART_SR_RXNE  (1u << 5)
#define UART_SR_TXE   (1u << 7)
#define UART_CR1_UE   (1u << 13)
#define UART_CR1_RXNEIE (1u << 5)
#define UART_CR1_TXEIE  (1u << 7)

#define LED_PIN 5u

#endif
