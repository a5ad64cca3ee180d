// GCC's location views: beside a DW_AT_location list in .debug_loc, a
// DW_AT_GNU_locviews attribute points at a block of view-number pairs
// (two ULEB128 per list entry) that stands right before the list. A reader
// that steps through .debug_loc list by list must step over these blocks.
#pragma once

#include <vector>

#include "locations/loc_list.h"

struct Session;

// The view blocks of every DIE that has both DW_AT_GNU_locviews and a
// DW_AT_location list, sorted by the block's offset. Empty (after one look
// at .debug_abbrev) when no declaration has DW_AT_GNU_locviews.
std::vector<LocViewBlock> find_location_views(Session& s);
