// Stepping through the DIEs of one compilation unit.
//
// A unit's DIEs are read against the unit's abbreviation declarations: each
// DIE starts with a code naming its declaration (tag, children flag and the
// forms of its attribute values). The declarations are loaded once per unit
// into a table indexed by code (units.cpp). A DieCursor is a bounded reader
// over the DIEs together with what reading them needs; it reads a DIE's
// code, steps over its values and over its children. Whatever reads the
// values themselves (the tree builder) does so from the cursor's reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/bytes.h"
#include "common/dwarf_codes.h"
#include "common/paged_table.h"
#include "symbols/attributes.h"

// "No position": the result of a lookup or step that found nothing.
constexpr size_t kNoPosition = static_cast<size_t>(-1);

constexpr int kAbbrevSlots = 1024;      // codes 0..1023; 0 and codes >= 1024 are never declared
constexpr size_t kUnitHeaderSize = 11;   // DWARF 2 to 4, 32-bit format: the first DIE is at unit start + 11
constexpr size_t kUnit5HeaderSize = 12;  // DWARF 5 adds the unit type: the first DIE is at unit start + 12

// One declaration. `pos` is where its code stands in the image (kNoPosition
// for an empty slot); tag, children and where the pairs start are decoded
// once at load time
// so a lookup costs one index.
struct AbbrevSlot {
    size_t pos = kNoPosition;  // image offset of the declaration (at its code)
    uint32_t tag = 0;
    uint8_t children = 0;      // the children byte as stored (DW_CHILDREN_yes is 1)
    size_t pairs = 0;          // image offset of the first attribute/form pair
    // A declaration whose pairs end with (0, 0) inside the section is also
    // kept decoded: AbbrevTable::forms[first_form, first_form + form_count).
    bool compiled = false;
    // Every form is read in place: none is looked up in a table of the
    // unit, none is indirect or unknown.
    bool in_place = false;
    bool has_exprloc = false;
    bool has_sibling = false;
    uint16_t form_count = 0;
    uint32_t first_form = 0;
    int32_t fixed_size = -1;  // bytes of all values when every form has a fixed width, else -1
};

// One attribute and its form, of a compiled declaration.
struct AttrForm {
    uint32_t attr = 0;
    uint32_t form = 0;
    int32_t constant = 0;  // DW_FORM_implicit_const: the value
    int32_t width = -1;    // bytes of the value when the form alone decides it, else -1
};

struct AbbrevTable {
    // Pages of 64 codes, allocated when a code of theirs is first loaded.
    PagedTable<AbbrevSlot, kAbbrevSlots, 64> slots;
    // Codes filled since the last clear, so clearing costs what was loaded.
    std::vector<uint16_t> filled;
    std::vector<AttrForm> forms;  // the compiled declarations' attributes and forms
    // Image range of .debug_abbrev; readers of attribute specifications are
    // bounded by it.
    size_t section_begin = 0, section_end = 0;
};

// Clears the slots filled since the last clear.
void clear_abbreviations(AbbrevTable& t);

// Decodes the attributes and forms of every declaration filled since the last
// clear, for declarations of up to kMaxCompiledForms pairs that end inside
// the section; the others stay read pair by pair.
constexpr size_t kMaxCompiledForms = 256;
void compile_declarations(AbbrevTable& t, const ByteReader& image, unsigned address_size);

// The attributes and forms of one declaration as the value decoder
// reads them: up to the pair (0, 0), or up to a pair cut by the end of the
// section (which is not handed out).
struct DeclPairs {
    const AttrForm* item = nullptr;
    const AttrForm* end = nullptr;
    ByteReader pair;
    bool compiled = false;

    bool next(AttrForm& out) {
        if (compiled) {
            if (item == end) return false;
            out = *item++;
            return true;
        }
        out.attr = read_uleb128(pair);
        out.form = read_uleb128(pair);
        out.constant = out.form == DW_FORM_implicit_const ? read_sleb128(pair) : 0;
        return !((out.attr == 0 && out.form == 0) || pair.overrun);
    }
};

// The declaration of `code`, or null when it has none (code 0, code >= 1024,
// or not declared).
inline const AbbrevSlot* find_abbreviation(const AbbrevTable& t, uint32_t code) {
    if (code == 0 || code >= static_cast<uint32_t>(kAbbrevSlots)) return nullptr;
    const AbbrevSlot& slot = t.slots[code];
    return slot.pos == kNoPosition ? nullptr : &slot;
}

struct UnitSlot {
    uint32_t start = 0;  // offset of the unit's first header byte in .debug_info
    uint32_t end = 0;    // offset of the unit's last byte; 0 until the unit has been walked
};

// One slot per unit in file order. Starts with room for 4096 units and grows
// beyond that, so DW_FORM_ref2 conversion keeps working in very large files.
struct UnitTable {
    std::vector<UnitSlot> slots;
    size_t current = 0;  // slot of the unit being read
};

// DW_FORM_ref2 conversion: the start offset (in .debug_info) of the first
// unit, from slot 0 up to slot `current` (the unit that holds the
// reference), whose end is 0 or not below `info_offset` (the .debug_info
// offset of the position just after the reference). Add it to the reference
// to get a .debug_info offset. Logarithmic in the number of units. 0 when
// the table is empty.
uint32_t unit_start_for_offset(const UnitTable& units, size_t current, uint32_t info_offset);

// The fields of a unit header (32-bit format; DWARF 5 adds the unit type
// and moves the address size before the abbreviation offset).
struct UnitHeader {
    uint32_t unit_length = 0;
    uint32_t version = 0;
    uint32_t abbrev_offset = 0;
    uint32_t address_size = 0;
    uint32_t unit_type = DW_UT_compile;
    uint32_t size = kUnitHeaderSize;  // bytes before the first DIE
};

// One unit as its DIEs are read: where it and .debug_info lie in the image,
// its header, its declarations and what decoding values needs. Read-only
// while the unit is walked.
struct UnitView {
    ByteReader image;                   // the whole image, in the target byte order
    size_t info_start = 0, info_end = 0;  // image range of .debug_info
    size_t unit_start = 0, unit_end = 0;  // image range of the unit's bytes
    UnitHeader header;
    const AbbrevTable* abbrevs = nullptr;
    const UnitTable* units = nullptr;  // every unit, for DW_FORM_ref2 references
    size_t unit_index = 0;             // this unit's slot in it
    FormContext forms;
};

// The result of reading one DIE's code.
struct DieEntry {
    size_t offset = 0;                 // image offset of the DIE (its code)
    uint32_t code = 0;
    const AbbrevSlot* decl = nullptr;  // null for code 0 and for codes without a declaration
    bool cut = false;                  // the code itself was cut by the end of the list
};

struct DieCursor {
    const UnitView* unit = nullptr;
    ByteReader r;  // at the next DIE (or, after next(), at its values)
    // Image offset of the next sibling of the DIE whose values were stepped
    // over or read last, from its DW_AT_sibling; 0 when it gave none.
    size_t sibling = 0;
    // Set when skip_attributes stopped at a value cut by the end of the
    // list, with that value's form and image offset.
    bool value_cut = false;
    uint32_t cut_form = 0;
    size_t cut_at = 0;

    // A cursor at `pos` of the unit's view, bounded as the DIE list there
    // is: by the unit's end inside the unit, by the end of .debug_info
    // elsewhere (a DIE of another unit, reached by a reference).
    static DieCursor at(const UnitView& unit, size_t pos) {
        DieCursor c;
        c.unit = &unit;
        c.r = unit.image;
        c.r.overrun = false;
        const size_t limit = (pos >= unit.unit_start && pos < unit.unit_end) ? unit.unit_end : unit.info_end;
        c.r.pos = pos;
        c.r.end = limit > pos ? limit : pos;
        return c;
    }
    DieCursor moved_to(size_t pos) const { return at(*unit, pos); }

    size_t pos() const { return r.pos; }
    bool at_end() const { return r.pos >= r.end; }

    // Reads the abbreviation code at the cursor; the cursor then stands at
    // the DIE's values.
    DieEntry next() {
        DieEntry e;
        e.offset = r.pos;
        e.code = read_uleb128(r);
        if (r.overrun) {
            e.cut = true;
            return e;
        }
        e.decl = find_abbreviation(*unit->abbrevs, e.code);
        return e;
    }

    // A reader over the attribute specifications of a declaration (pairs of
    // ULEB128 attribute and form codes up to the pair (0, 0)).
    ByteReader pairs(const AbbrevSlot& decl) const {
        ByteReader s = unit->image;
        s.pos = decl.pairs;
        s.end = unit->abbrevs->section_end;
        return s;
    }

    DeclPairs decl_pairs(const AbbrevSlot& decl) const {
        DeclPairs p;
        p.compiled = decl.compiled;
        if (decl.compiled) {
            p.item = unit->abbrevs->forms.data() + decl.first_form;
            p.end = p.item + decl.form_count;
        } else {
            p.pair = pairs(decl);
        }
        return p;
    }

    // Steps over the values of the DIE whose code was just read, exactly as
    // decoding each would, and notes its DW_AT_sibling. False when a value
    // is cut by the end of the list (value_cut, cut_form and cut_at say
    // so); the cursor then stands at that end.
    bool skip_attributes(const AbbrevSlot& decl);

    // After the values of a DIE with children: steps over its children up
    // to and including the null entry that closes their list. A forward
    // DW_AT_sibling inside the list is taken as the step; otherwise the DIEs
    // are stepped one by one. False when the list cannot be followed to its
    // end (a code without declaration, a cut value (value_cut), the end of
    // the list).
    bool skip_children();

    // Notes a DW_AT_sibling value of `form` read for the current DIE.
    void note_sibling(uint32_t form, uint32_t value);
    // Steps over one value (of `width` bytes when the form alone decides
    // it, else -1), noting DW_AT_sibling; false when the value is cut
    // (value_cut, cut_form and cut_at say so).
    bool step_over_value(uint32_t attribute, uint32_t form, int32_t width);
};
