// Compilation units of .debug_info and their abbreviation declarations.
//
// The unit loop steps through .debug_info one unit header at a time, loads
// the unit's declarations from .debug_abbrev into a table indexed by code and
// hands the unit's DIEs to walk_unit_dies. In trace mode it dumps each unit
// header and each declaration into the SYM file and on the console.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/bytes.h"
#include "common/paged_table.h"

struct Session;
struct OutText;

// "No position": the result of a lookup or step that found nothing.
constexpr size_t kNoPosition = static_cast<size_t>(-1);

constexpr int kAbbrevSlots = 1024;       // codes 0..1023; 0 and codes >= 1024 are never declared
constexpr size_t kUnitHeaderSize = 11;   // DWARF 2, 32-bit format: the first DIE is at unit start + 11

// One declaration. `pos` is where its code stands in the image (kNoPosition
// for an empty slot); tag, children and specs are decoded once at load time
// so a lookup costs one index.
struct AbbrevSlot {
    size_t pos = kNoPosition;  // image offset of the declaration (at its code)
    uint32_t tag = 0;
    uint8_t children = 0;      // the children byte as stored (DW_CHILDREN_yes is 1)
    size_t specs = 0;          // image offset of the first attribute/form pair
};

struct AbbrevTable {
    // Pages of 64 codes, allocated when a code of theirs is first loaded.
    PagedTable<AbbrevSlot, kAbbrevSlots, 64> slots;
    // Codes filled since the last clear, so clearing costs what was loaded.
    std::vector<uint16_t> filled;
    // Image range of .debug_abbrev; readers of attribute specifications are
    // bounded by it (see abbrev_reader).
    size_t section_begin = 0, section_end = 0;
};

struct UnitSlot {
    uint32_t start = 0;  // offset of the unit's first header byte in .debug_info
    uint32_t end = 0;    // offset of the unit's last byte; 0 until the unit has been walked
};

// One slot per unit in file order. Starts with room for 4096 units and grows
// beyond that, so DW_FORM_ref2 conversion keeps working in very large files.
struct UnitTable {
    std::vector<UnitSlot> slots;
    size_t current = 0;  // slot of the unit being walked
};

// Walks every unit of .debug_info (declared in driver/passes.h as well).
void walk_units(Session& s, OutText& sym);

// Traces the header of the unit at image offset `unit_pos`, loads its
// declarations and walks its DIEs. `info_start` is the image offset of
// .debug_info. Returns the image offset of the next unit (unit start +
// unit_length + 4, possibly past the section end), or kNoPosition when
// .debug_abbrev is absent. Units this reader cannot decode (DWARF 5 or
// later, 64-bit DWARF, a header cut off by the section end, an
// abbreviation offset outside .debug_abbrev) get one "warning: " line and
// their DIEs are skipped.
size_t read_unit_header(Session& s, OutText& sym, size_t unit_pos, size_t info_start);

// Clears the abbreviation table and loads the declarations at
// `abbrev_offset` in .debug_abbrev, tracing each. Returns the image offset of
// the terminating 0 code (or where a cut list stopped), or kNoPosition when
// .debug_abbrev is absent.
size_t load_abbreviations(Session& s, OutText& sym, uint32_t abbrev_offset);

// Clears the slots filled since the last clear.
void clear_abbreviations(AbbrevTable& t);

// The declaration of `code` in the current unit, or null when it has none
// (code 0, code >= 1024, or not declared).
const AbbrevSlot* find_abbreviation(const Session& s, uint32_t code);

// A reader over .debug_abbrev positioned at `pos` (for the attribute
// specifications of a declaration: AbbrevSlot::specs).
ByteReader abbrev_reader(const Session& s, size_t pos);

// DW_FORM_ref2 conversion: the start offset (in .debug_info) of the first
// unit, from slot 0 up to the current one, whose end is 0 or not below
// `info_offset` (the .debug_info offset of the position just after the
// reference). Add it to the reference to get a .debug_info offset.
// Logarithmic in the number of units. 0 when the table is empty.
uint32_t unit_start_for_offset(const Session& s, uint32_t info_offset);
