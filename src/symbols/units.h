// Compilation units of .debug_info and their abbreviation declarations.
//
// The unit loop steps through .debug_info one unit header at a time, loads
// the unit's declarations from .debug_abbrev into the table the DIE cursor
// reads and hands the unit's DIEs to the tree builder. In trace mode it dumps
// each unit header and each declaration into the SYM file and on the
// console.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "symbols/die_cursor.h"

struct Session;
struct OutText;

// The symbol pass: walks every unit of .debug_info, writing SYM records.
// With s.threads above 1 the units are converted on that many threads
// (parallel_units.h), with the same output.
void walk_units(Session& s, OutText& sym);

// Appends a slot for each unit walk_units visits, in order, as the walk
// leaves them, read from the unit headers alone (the last may end the walk
// where .debug_abbrev is absent; its end stays 0). `info_begin` is the image
// offset of .debug_info. False when there is no .debug_info to walk.
bool plan_units(const Session& s, std::vector<UnitSlot>& slots, size_t& info_begin);
// In trace mode: the line that starts unit number `number` (from 0) at `unit_pos`.
void trace_unit_start(Session& s, OutText& sym, size_t unit_pos, size_t number);

// Traces the header of the unit at image offset `unit_pos`, loads its
// declarations and walks its DIEs. Returns the image offset of the next unit
// (unit start + unit_length + 4, possibly past the section end), or
// kNoPosition when .debug_abbrev is absent. A unit of DWARF 5 has its own
// header layout (unit_type, address_size, abbrev_offset) and names the
// bases of its tables in its first DIE, which are taken before the walk.
// Units this reader cannot decode (a version above 5, a type, skeleton or
// split unit, 64-bit DWARF, a header cut off by the section end, an
// abbreviation offset outside .debug_abbrev) get one "warning: " line and
// their DIEs are skipped.
size_t read_unit_header(Session& s, OutText& sym, size_t unit_pos);

// Clears the abbreviation table and loads the declarations at
// `abbrev_offset` in .debug_abbrev, tracing each. Returns the image offset of
// the terminating 0 code (or where a cut list stopped), or kNoPosition when
// .debug_abbrev is absent.
size_t load_abbreviations(Session& s, OutText& sym, uint32_t abbrev_offset);
