/* uart.c - ring buffers filled and drained by the UART interrupt. */
#include "board.h"
#include "uart.h"

static struct ring_buffer rx_ring;
static struct ring_buffer tx_ring;
struct uart_stats uart_stats;

static int ring_put(struct ring_buffer *rb, uint8_t byte)
{
    uint16_t next = (uint16_t)((rb->head + 1u) & (RING_SIZE - 1u));

    if (next == rb->tail) {
        rb->overruns++;
        return -1;
    }
    rb->data[rb->head] = byte;
    rb->head = next;
    return 0;
}

static int ring_get(struct ring_buffer *rb)
{
    uint8_t byte;

    if (rb->head == rb->tail)
        return -1;
    byte = rb->data[rb->tail];
    rb->tail = (uint16_t)((rb->tail + 1u) & (RING_SIZE - 1u));
    return byte;
}

void uart_init(uint32_t baud)
{
    UART1->BRR = CPU_HZ / baud;
    UART1->CR1 = UART_CR1_UE | UART_CR1_RXNEIE;
}

int uart_putc(char c)
{
    int rc = ring_put(&tx_ring, (uint8_t)c);

    UART1->CR1 |= UART_CR1_TXEIE;
    return rc;
}

int uart_getc(void)
{
    return ring_get(&rx_ring);
}

void uart_puts(const char *s)
{
    while (*s)
        uart_putc(*s++);
}

void USART1_IRQHandler(void)
{
    uint32_t sr = UART1->SR;
    int next;

    if (sr & UART_SR_RXNE) {
        if (ring_put(&rx_ring, (uint8_t)UART1->DR) == 0)
            uart_stats.rx_bytes++;
    }
    if (sr & (1u << 1))
        uart_stats.framing_errors++;
    if (sr & UART_SR_TXE) {
        next = ring_get(&tx_ring);
        if (next < 0) {
            UART1->CR1 &= ~UART_CR1_TXEIE;
        } else {
            UART1->DR = (uint32_t)next;
            uart_stats.tx_bytes++;
        }
    }
}
