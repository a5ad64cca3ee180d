#include "driver/passes.h"
#include "driver/session.h"

void write_srec_file(Session&, OutText&, const std::string&) {}
