// morvik: ELF/DWARF 2 symbol converter for in-circuit debuggers.
#include <cstdio>

#include "driver/driver.h"
#include "common/session.h"

int main(int argc, char** argv) {
    Session session;
    int code = run_morvik(session, argc, argv);
    std::fflush(stdout);
    return code;
}
