#include "symbols/walk.h"

size_t walk_unit_dies(Session&, OutText&, size_t, size_t unit_end, size_t, size_t) { return unit_end; }
