/* start_arm.c - Cortex-M vector table and reset handler. */
#include "common.h"

extern u32 _sidata, _sdata, _edata, _sbss, _ebss, _estack;

void Reset_Handler(void);
void Default_Handler(void);
void SysTick_Handler(void);

typedef void (*vector_fn)(void);

/* Word 0 is the initial stack pointer, then the exception handlers. */
__attribute__((section(".isr_vector"), used))
const vector_fn g_vectors[16] = {
    (vector_fn)&_estack,
    Reset_Handler,
    Default_Handler,    /* NMI */
    Default_Handler,    /* HardFault */
    Default_Handler,    /* MemManage */
    Default_Handler,    /* BusFault */
    Default_Handler,    /* UsageFault */
    0, 0, 0, 0,
    Default_Handler,    /* SVCall */
    Default_Handler,    /* DebugMonitor */
    0,
    Default_Handler,    /* PendSV */
    SysTick_Handler,
};

void SysTick_Handler(void)
{
    g_tick++;
}

void Default_Handler(void)
{
    for (;;)
        ;
}

void Reset_Handler(void)
{
    u32 *src = &_sidata;
    u32 *dst = &_sdata;

    while (dst < &_edata)
        *dst++ = *src++;
    for (dst = &_sbss; dst < &_ebss; dst++)
        *dst = 0;
    main();
    for (;;)
        ;
}
