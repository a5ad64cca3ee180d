// Address ranges of units, functions and blocks given by DW_AT_ranges: a
// list in .debug_ranges of (begin, end) pairs relative to a base address,
// where a begin of all ones selects a new base (the end) and the pair
// (0, 0) closes the list. A DWARF 2 debugger knows one range per unit or
// function: the first range of the list stands for the whole (compilers
// list the range in the unit's main code section first).
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bytes.h"

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
