// The debug-information walk: turns the DIEs of one compilation unit into
// symbol trees and writes them as SYM records.
#pragma once

#include <cstddef>

struct Session;
struct OutText;

// Walks the DIEs from `first_die` up to `unit_end` (image offsets) of the unit
// starting at `unit_start`; `info_start` is the offset of .debug_info.
// Returns the offset where the walk stopped.
size_t walk_unit_dies(Session& s, OutText& sym, size_t first_die, size_t unit_end, size_t info_start,
                      size_t unit_start);
