// DWARF 2 location lists in .debug_loc.
//
// A list is a run of entries (begin, end: address size each; length: 2
// bytes; then `length` bytes of location expression), closed by an entry
// whose begin and end are both 0. Begin and end are relative to a base
// address (the unit's low_pc).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "locations/loc_rows.h"

struct Session;
struct OutText;

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
size_t read_loc_list(Session& s, OutText& sym, uint32_t base, LocRows& rows, size_t list_offset,
                     LocListStats* stats = nullptr);

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
