// morvik: ELF/DWARF 2 symbol converter for in-circuit debuggers.
#include <cstdio>

#include "common/platform_file.h"
#include "common/session.h"
#include "driver/driver.h"

int main(int argc, char** argv) {
    // Only the program itself removes its temporary files on an interrupt;
    // conversions run inside tests or the fuzzer leave signals alone.
    arm_interrupt_cleanup();
    Session session;
    int code = run_morvik(session, argc, argv, usable_cpu_count());
    std::fflush(stdout);
    return code;
}
