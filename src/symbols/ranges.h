// Address ranges of units, functions and blocks given by DW_AT_ranges: a
// list in .debug_ranges of (begin, end) pairs relative to a base address,
// where a begin of all ones selects a new base (the end) and the pair
// (0, 0) closes the list; from DWARF 5 on, a list of DW_RLE_* entries in
// .debug_rnglists. A DWARF 2 debugger knows one range per unit or
// function: the first range of the list stands for the whole (compilers
// list the range in the unit's main code section first).
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bytes.h"
#include "locations/loc_list.h"

struct Session;

struct AddressRange {
    uint32_t low = 0, high = 0;
};

enum class RangeResult : uint8_t { found, empty, cut };

// The first range of the list at the reader's position (the reader bounded
// by the section), its addresses with `base` added or with the base a
// selection entry before it gives.
RangeResult first_range_at(ByteReader r, unsigned address_size, uint32_t base, AddressRange& range);

// The first range of the list at `offset` in .debug_ranges. False (with one
// warning for a damaged or missing list) when there is none.
bool first_range(Session& s, uint32_t offset, uint32_t base, AddressRange& range);

// The first range with addresses of the list at `offset` within
// .debug_rnglists (DW_RLE_* entries; `base` is the base address until a
// base-address entry replaces it). False, with one warning, when the list
// cannot be read to a range (absent section, an offset outside it, a cut
// or unknown entry); false without warning for a list with no range.
bool first_rnglists_range(Session& s, const ListUnit& unit, uint32_t base, size_t offset, uint32_t& low,
                          uint32_t& high);
