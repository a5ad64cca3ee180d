/* uart.h - interrupt-driven UART with ring buffers. */
#ifndef UART_H
#define UART_H

#include <stdint.h>

#define RING_SIZE 64u   /* power of two */

struct ring_buffer {
    volatile uint8_t data[RING_SIZE];
    volatile uint16_t head;     /* written by the producer */
    volatile uint16_t tail;     /* written by the consumer */
    uint32_t overruns;
};

struct uart_stats {
    uint32_t rx_bytes;
    uint32_t tx_bytes;
    uint16_t framing_errors : 4;
    uint16_t parity_errors : 4;
    uint16_t reserved : 8;
};

extern struct uart_stats uart_stats;

void uart_init(uint32_t baud);
int uart_putc(char c);
int uart_getc(void);
void uart_puts(const char *s);
void USART1_IRQHandler(void);

#endif
