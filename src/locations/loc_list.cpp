#include "driver/passes.h"
#include "driver/session.h"

void dump_loc_section(Session&, OutText&) {}
