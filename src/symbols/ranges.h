// The address range of a unit or function given by DW_AT_ranges: the first
// range of its list, the range a unit of one code section records as
// low_pc/high_pc.
#pragma once

#include <cstddef>
#include <cstdint>

#include "locations/loc_list.h"

struct Session;

// The first range with addresses of the list at `offset` within
// .debug_rnglists (DW_RLE_* entries; `base` is the base address until a
// base-address entry replaces it). False, with one warning, when the list
// cannot be read to a range (absent section, an offset outside it, a cut
// or unknown entry); false without warning for a list with no range.
bool first_rnglists_range(Session& s, const ListUnit& unit, uint32_t base, size_t offset, uint32_t& low,
                          uint32_t& high);
