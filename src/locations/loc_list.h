// Location lists: those of DWARF 2 to 4 in .debug_loc, those of DWARF 5
// in .debug_loclists.
//
// A .debug_loc list is a run of entries (begin, end: address size each;
// length: 2 bytes; then `length` bytes of location expression), closed by
// an entry whose begin and end are both 0. Begin and end are relative to a
// base address (the unit's low_pc).
//
// A .debug_loclists list is a run of entries that each begin with their
// kind (DW_LLE_*): a range given by addresses, by indices into the unit's
// .debug_addr table or by offsets from the base address, then a ULEB128
// length and the expression; or a new base address. DW_LLE_end_of_list
// closes it. Each operation of an entry gives one row, as in .debug_loc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/bytes.h"
#include "locations/loc_rows.h"

struct Session;
struct OutText;

// What reading a list of a DWARF 5 unit needs besides the list: the unit's
// version (lists of version 5 stand in .debug_loclists, in their own
// entry layout) and where the unit's entries of .debug_addr lie in the
// image (from its DW_AT_addr_base; empty when absent).
struct ListUnit {
    uint32_t version = 2;
    size_t addr_begin = 0, addr_end = 0;
    unsigned address_size = 4;
};

// Entry `index` of the unit's address table; false when it lies outside.
bool list_unit_address(const Session& s, const ListUnit& unit, uint32_t index, uint32_t& address);

// What an entry of a DWARF 5 location or range list reads after its kind.
enum class ListOperands : uint8_t {
    none,            // end_of_list; DW_LLE_default_location
    index,           // base_addressx: an index into the address table
    index_index,     // startx_endx
    index_length,    // startx_length: an index, then a ULEB128 length
    offset_pair,     // two ULEB128 offsets from the base address
    address,         // base_address
    address_pair,    // start_end
    address_length,  // start_length: an address, then a ULEB128 length
    views,           // DW_LLE_GNU_view_pair: two ULEB128 view numbers, which change nothing
};

// Reads the operands of one list entry from `r`: a base-address entry
// replaces `base`, the others give the range [low, high). False when an
// index names no entry of the address table (a cut entry leaves
// r.overrun set).
bool read_list_operands(const Session& s, const ListUnit& unit, ListOperands operands, ByteReader& r,
                        uint32_t& base, uint32_t& low, uint32_t& high);

// Finds .debug_loc (s.elf.loc_index) and records where it lies in
// s.loc (LocationState). dump_loc_section does this; read_loc_list does it
// itself when nothing was recorded yet. Returns whether the section exists
// (present with a nonzero file offset).
bool locate_loc_section(Session& s);
// Image offset of the start of .debug_loc (the "loc section start"); 0 when
// the section is absent or not located yet.
size_t loc_section_start(const Session& s);

// Reads the list at `list_offset`, an offset WITHIN .debug_loc (the value of
// a DW_FORM_data4 DW_AT_location / DW_AT_frame_base attribute), adding
// `base` (the unit's low_pc; 0 for the dump) to every begin and end.
//
// Fills `rows` with one row per decoded operation, at most 48 rows
// (kLocRows); later operations are still traced but not stored; rows past
// the last stored one keep their contents. In trace mode each operation is
// one trace line in `sym`.
//
// With -l (s.opt.no_locals) it reads nothing and returns list_offset. With
// no .debug_loc, or an offset outside it, it reads nothing (the latter with
// a warning).
//
// Returns the offset within .debug_loc just past the list's terminating
// entry (or where a cut list stopped).
//
// An entry whose expression describes a value (describes_value) is traced
// but stores no row; `stats`, when given, counts such entries.
struct LocListStats {
    int values_dropped = 0;
};
//
// With `unit` of version 5 or later the list is one of .debug_loclists
// (DW_LLE_* entries; `base` is the base address until a base-address entry
// replaces it) and the offset lies within that section.
size_t read_loc_list(Session& s, OutText& sym, uint32_t base, LocRows& rows, size_t list_offset,
                     const ListUnit* unit = nullptr, LocListStats* stats = nullptr);

// The frame base of a function whose frame base is its canonical frame
// address (DW_OP_call_frame_cfa), over [low, high): one row per CFA rule of
// the call-frame information (.debug_frame, else .eh_frame), as a location
// list of DW_OP_bregN offset (DW_OP_bregx register offset above register
// 31) would give. No rows when no call-frame entry covers `low`. The table
// is indexed once per run, on the first call.
LocRows frame_base_rows(Session& s, uint32_t low, uint32_t high);

// A block of location views (GCC's DW_AT_GNU_locviews) at offset `views`
// of .debug_loc, belonging to the list at offset `list` right after it.
struct LocViewBlock {
    uint32_t views = 0;
    uint32_t list = 0;
};

// The location pass: locates .debug_loc and, in every mode, reads every list
// in it (tracing "/.debug_loc Section[n]" and each list in trace mode).
// The view blocks `views` (sorted by offset) are stepped over, not read as
// lists.
void dump_loc_section(Session& s, OutText& sym, const std::vector<LocViewBlock>& views = {});
