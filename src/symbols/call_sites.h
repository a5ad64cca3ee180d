// Call sites (DW_TAG_call_site, DW_TAG_GNU_call_site) describe calls, not
// objects, and write no record. For each helper a unit calls without
// declaring it in the source (a library routine such as __aeabi_dadd), GCC
// adds a subprogram declaration without DW_AT_decl_file that a DWARF 2
// build does not have; those declarations write no record either.
#pragma once

#include <cstddef>
#include <vector>

#include "symbols/die_cursor.h"

// The image offsets (sorted) of the subprogram declarations of `unit`
// without DW_AT_decl_file that are the origin of a call site and are named
// by no DW_AT_specification.
// Empty, without reading the DIEs, when the unit declares no call sites.
std::vector<size_t> call_site_only_declarations(const UnitView& unit);
