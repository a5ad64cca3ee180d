/* startup.c - vector table and reset handler for the Cortex-M4. */
#include <stdint.h>
#include "uart.h"
#include "timer.h"

extern uint32_t _sidata, _sdata, _edata, _sbss, _ebss, _estack;
extern int main(void);

void Reset_Handler(void);
void Default_Handler(void);

typedef void (*isr_t)(void);

__attribute__((section(".isr_vector"), used))
const isr_t vector_table[16 + 38] = {
    [0] = (isr_t)&_estack,
    [1] = Reset_Handler,
    [2] = Default_Handler,          /* NMI */
    [3] = Default_Handler,          /* HardFault */
    [4] = Default_Handler,          /* MemManage */
    [5] = Default_Handler,          /* BusFault */
    [6] = Default_Handler,          /* UsageFault */
    [11] = Default_Handler,         /* SVCall */
    [14] = Default_Handler,         /* PendSV */
    [15] = SysTick_Handler,
    [16 + 37] = USART1_IRQHandler,  /* IRQ 37 */
};

void Default_Handler(void)
{
    for (;;)
        ;
}

void Reset_Handler(void)
{
    uint32_t *src = &_sidata;
    uint32_t *dst;

    for (dst = &_sdata; dst < &_edata; )
        *dst++ = *src++;
    for (dst = &_sbss; dst < &_ebss; )
        *dst++ = 0;
    main();
    for (;;)
        ;
}
