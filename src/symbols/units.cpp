#include "symbols/units.h"

#include <cstring>
#include <string>

#include "common/format.h"
#include "common/header_fields.h"
#include "common/session.h"
#include "common/warnings.h"
#include "elf/elf_reader.h"
#include "symbols/dwarf_names.h"
#include "symbols/parallel_units.h"
#include "symbols/symbol_table.h"
#include "symbols/tree_builder.h"

namespace {

// The unit header as the trace shows it and as it is read.
constexpr HeaderField<UnitHeader> kUnitHeaderFields[] = {
    {"/length", 0, 1, 4, &UnitHeader::unit_length},
    {"/version", 4, 1, 2, &UnitHeader::version},
    {"/offset", 6, 1, 4, &UnitHeader::abbrev_offset},
    {"/size", 10, 1, 1, &UnitHeader::address_size},
};
constexpr HeaderField<UnitHeader> kUnit5HeaderFields[] = {
    {"/length", 0, 1, 4, &UnitHeader::unit_length},
    {"/version", 4, 1, 2, &UnitHeader::version},
    {"/unit_type", 6, 1, 1, &UnitHeader::unit_type},
    {"/size", 7, 1, 1, &UnitHeader::address_size},
    {"/offset", 8, 1, 4, &UnitHeader::abbrev_offset},
};

// The units of DWARF 5 that are not read, and why: what the warning says
// after "compilation unit at offset ... of .debug_info".
struct SkippedUnit {
    uint32_t unit_type;
    const char* rest;
};
constexpr SkippedUnit kSkippedUnits[] = {
    {DW_UT_type, " is a type unit (built with -fdebug-types-section); its entries are skipped"},
    {DW_UT_skeleton, " is a skeleton unit whose entries stand in a split DWARF file (built with -gsplit-dwarf); "
                     "it is skipped"},
    {DW_UT_split_compile, " is a unit of a split DWARF file; its entries are skipped"},
    {DW_UT_split_type, " is a type unit of a split DWARF file; its entries are skipped"},
};

// The warning text of a unit type that is not read, or null for the
// compilation and partial units that are.
const char* skipped_unit(uint32_t unit_type) {
    if (unit_type == DW_UT_compile || unit_type == DW_UT_partial) return nullptr;
    for (const SkippedUnit& u : kSkippedUnits)
        if (u.unit_type == unit_type) return u.rest;
    return " has a unit type this reader does not know; its entries are skipped";
}

// A number of a plain layout (fixed, address, offset, ULEB128), as the
// table bases of a unit are given; 0 for other layouts.
uint32_t read_plain_number(const FormContext& ctx, uint32_t form, ByteReader& r) {
    const FormRow row = form_row(form);
    switch (row.layout) {
    case FormLayout::fixed: return read_address(r, row.size);
    case FormLayout::address: return read_address(r, ctx.address_size);
    case FormLayout::offset: return read_target32(r);
    case FormLayout::uleb128: return read_uleb128(r);
    default: skip_value(ctx, form, r); return 0;
    }
}

// Takes the table bases of a DWARF 5 unit from its first DIE, which may
// give them after values that need them.
void read_table_bases(UnitView& unit) {
    DieCursor at = DieCursor::at(unit, unit.unit_start + unit.header.size);
    const DieEntry e = at.next();
    if (e.cut || !e.decl) return;
    ByteReader pair = at.pairs(*e.decl);
    ByteReader& r = at.r;
    FormContext& ctx = unit.forms;
    for (;;) {
        const uint32_t attribute = read_uleb128(pair);
        uint32_t form = read_uleb128(pair);
        if ((attribute == 0 && form == 0) || pair.overrun || r.overrun) return;
        if (form == DW_FORM_implicit_const) read_sleb128(pair);
        switch (attribute) {
        case DW_AT_str_offsets_base: ctx.str_offsets_base = read_plain_number(ctx, form, r); break;
        case DW_AT_addr_base: ctx.addr_base = read_plain_number(ctx, form, r); break;
        case DW_AT_loclists_base: ctx.loclists_base = read_plain_number(ctx, form, r); break;
        case DW_AT_rnglists_base: ctx.rnglists_base = read_plain_number(ctx, form, r); break;
        default: skip_value(ctx, form, r); break;
        }
    }
}

// A trace value line showing a number rather than bytes of the image:
// the label padded to 20 columns, "0x" and `digits` hex digits, a space.
void trace_number(Session& s, OutText& out, const char* label, uint32_t value, int digits) {
    if (!s.opt.trace) return;
    const size_t label_size = std::strlen(label);
    if (label_size > 20 || digits < 0 || digits > 8) {
        std::string line(label);
        if (line.size() < 20) line.append(20 - line.size(), ' ');
        format_hex_prefixed(line, value, digits);
        line += " \n";
        trace_line(s, &out, line);
        return;
    }
    // The common line, built on the stack.
    char line[20 + 2 + 8 + 2];
    std::memcpy(line, label, label_size);
    std::memset(line + label_size, ' ', 20 - label_size);
    char* p = line + 20;
    *p++ = '0';
    *p++ = 'x';
    for (int i = digits - 1; i >= 0; --i, value >>= 4) p[i] = kHexDigits[value & 0xF];
    p += digits;
    *p++ = ' ';
    *p++ = '\n';
    trace_line(s, &out, std::string_view(line, static_cast<size_t>(p - line)));
}

}  // namespace

size_t load_abbreviations(Session& s, OutText& sym, uint32_t abbrev_offset) {
    const uint32_t index = s.elf.abbrev_index;
    AbbrevTable& t = s.sym->abbrevs;
    size_t begin = 0, length = 0;
    if (index == 0 || !section_bounds(s, index, begin, length)) return kNoPosition;
    clear_abbreviations(t);
    t.section_begin = begin;
    t.section_end = begin + length;

    ByteReader r = image_range(s, begin, length);
    if (abbrev_offset > length) {
        warn_at(s, "abbreviation list", ".debug_abbrev", abbrev_offset, " lies outside the section");
        return t.section_end;
    }
    seek(r, begin + abbrev_offset);

    std::string line;
    // A 0 code ends the unit's declarations; so does the end of the section.
    while (peek_u8(r) != 0) {
        const size_t decl = r.pos;
        uint32_t code = read_uleb128(r);
        if (code < static_cast<uint32_t>(kAbbrevSlots)) {
            AbbrevSlot& slot = t.slots[code];
            if (slot.pos == kNoPosition) t.filled.push_back(static_cast<uint16_t>(code));
            slot.pos = decl;
        }
        if (s.opt.trace) {
            line.clear();
            line += "/----- .debug_addrev Section [";
            append_dec_blank(line, static_cast<int>(code), 3);
            line += "] [0x";
            append_hex(line, decl, 4);
            line += "]-\n";
            trace_line(s, &sym, line);
        }
        trace_number(s, sym, "/Entry", code & 0xFFFF, 4);
        uint32_t tag = read_uleb128(r);
        trace_number(s, sym, "/Tag", tag & 0xFFFF, 4);
        trace_values(s, &sym, "/Childe", r, 1, 1, 16);
        uint8_t children = read_u8(r);
        const size_t pairs = r.pos;
        if (code < static_cast<uint32_t>(kAbbrevSlots)) {
            AbbrevSlot& slot = t.slots[code];
            slot.tag = tag;
            slot.children = children;
            slot.pairs = pairs;
        }
        // Attribute specifications until two 0 bytes.
        for (;;) {
            if (r.remaining() >= 2 && r.data[r.pos] == 0 && r.data[r.pos + 1] == 0) {
                skip(r, 2);
                break;
            }
            if (r.at_end()) {
                r.overrun = true;
                break;
            }
            uint32_t attribute = read_uleb128(r);
            uint32_t form = read_uleb128(r);
            const bool implicit = form == DW_FORM_implicit_const;
            const int32_t constant = implicit ? read_sleb128(r) : 0;
            if (s.opt.trace) {
                line.assign("/");
                append_attribute_label(line, attribute);
                line += ' ';
                append_form_label(line, form);
                if (implicit) append_printf(line, " 0x%X", static_cast<uint32_t>(constant));
                line += '\n';
                trace_line(s, &sym, line);
            }
        }
        if (r.overrun) {
            warn_at(s, "abbreviation declaration", ".debug_abbrev", decl - begin,
                    " is cut off by the end of the section");
            break;
        }
    }
    compile_declarations(t, r, s.elf.address_size);
    return r.pos;
}

namespace {

// What the header of the unit at `unit_pos` says about it, before anything
// is printed or loaded.
enum class UnitVerdict : uint8_t {
    header_cut,       // the header is cut off by the end of the section
    dwarf64,          // 64-bit DWARF: the rest of the section is skipped
    shorter,          // shorter than its header
    version,          // a version above 5
    skipped,          // a unit type that is not read
    no_abbreviations, // .debug_abbrev is absent: the walk of the section ends
    abbrev_outside,   // its abbreviation offset lies outside .debug_abbrev
    walk,             // its DIEs are walked
};

struct UnitPlan {
    UnitVerdict verdict = UnitVerdict::walk;
    UnitHeader header;
    bool version5 = false;
    bool runs_past = false;  // its length reaches past the section end
    size_t section_begin = 0, section_end = 0;
    size_t unit_end = 0;  // where its DIEs end
    size_t next = 0;      // image offset of the next unit, or kNoPosition
};

UnitPlan plan_unit(const Session& s, size_t unit_pos) {
    UnitPlan p;
    size_t begin = 0, length = 0;
    section_bounds(s, s.elf.info_index, begin, length);
    p.section_begin = begin;
    p.section_end = begin + length;
    ByteReader header = image_range(s, begin, length);
    seek(header, unit_pos);
    ByteReader version_field = header;
    skip(version_field, 4);
    p.version5 = read_target16(version_field) >= 5;

    UnitHeader& h = p.header;
    bool whole = false;
    if (p.version5) {
        whole = read_header_fields(h, kUnit5HeaderFields, header);
        h.size = kUnit5HeaderSize;
    } else {
        whole = read_header_fields(h, kUnitHeaderFields, header);
    }
    p.next = unit_pos + static_cast<size_t>(h.unit_length) + 4;
    auto verdict = [&p](UnitVerdict v, size_t next) {
        p.verdict = v;
        p.next = next;
        return p;
    };
    if (!whole) return verdict(UnitVerdict::header_cut, p.section_end);
    if (h.unit_length >= DW_LENGTH_lo_reserved) return verdict(UnitVerdict::dwarf64, p.section_end);
    // The header fields past the unit's end belong to what follows it.
    if (h.unit_length < h.size - 4) return verdict(UnitVerdict::shorter, p.next);
    if (h.version > 5) return verdict(UnitVerdict::version, p.next);
    if (skipped_unit(h.unit_type)) return verdict(UnitVerdict::skipped, p.next);
    p.unit_end = p.next;
    if (p.unit_end > p.section_end) {
        p.runs_past = true;
        p.unit_end = p.section_end;
    }
    if (s.elf.abbrev_index == 0) return verdict(UnitVerdict::no_abbreviations, kNoPosition);
    size_t abbrev_begin = 0, abbrev_length = 0;
    section_bounds(s, s.elf.abbrev_index, abbrev_begin, abbrev_length);
    if (h.abbrev_offset >= abbrev_length) return verdict(UnitVerdict::abbrev_outside, p.next);
    // Loading the declarations finds no section only where the offset
    // check above has already failed, so the walk goes on.
    return verdict(UnitVerdict::walk, p.next);
}

}  // namespace

size_t read_unit_header(Session& s, OutText& sym, size_t unit_pos) {
    const UnitPlan p = plan_unit(s, unit_pos);
    const UnitHeader& h = p.header;
    if (s.opt.trace) {
        ByteReader header = image_range(s, p.section_begin, p.section_end - p.section_begin);
        seek(header, unit_pos);
        if (p.version5) {
            trace_header_fields(s, sym, kUnit5HeaderFields, header);
        } else {
            trace_header_fields(s, sym, kUnitHeaderFields, header);
        }
    }
    const size_t offset = unit_pos - p.section_begin;
    switch (p.verdict) {
    case UnitVerdict::header_cut:
        warn_at(s, "compilation-unit header", ".debug_info", offset, " is cut off by the end of the section");
        return p.next;
    case UnitVerdict::dwarf64:
        warn_at(s, "compilation unit", ".debug_info", offset,
                " uses the 64-bit DWARF format, which is not supported; the rest of .debug_info is skipped");
        return p.next;
    case UnitVerdict::shorter:
        warn_at(s, "compilation unit", ".debug_info", offset, " is shorter than its header");
        return p.next;
    case UnitVerdict::version: {
        std::string rest = " has DWARF version ";
        rest += std::to_string(h.version);
        rest += ", which is not supported; its entries are skipped (compile with -gdwarf-5 or earlier to have them converted)";
        warn_at(s, "compilation unit", ".debug_info", offset, rest);
        return p.next;
    }
    case UnitVerdict::skipped: warn_at(s, "compilation unit", ".debug_info", offset, skipped_unit(h.unit_type)); return p.next;
    default: break;
    }
    if (p.runs_past) {
        warn_at(s, "compilation unit", ".debug_info", offset,
                " runs past the end of .debug_info; its entries are read up to the section end");
    }
    if (p.verdict == UnitVerdict::no_abbreviations) return kNoPosition;
    if (p.verdict == UnitVerdict::abbrev_outside) {
        warn_at(s, "compilation unit", ".debug_info", offset,
                " names an abbreviation offset outside .debug_abbrev; its entries are skipped");
        return p.next;
    }
    if (load_abbreviations(s, sym, h.abbrev_offset) == kNoPosition) return kNoPosition;

    SymbolState& st = *s.sym;
    UnitView unit;
    unit.image = image_reader(s);
    unit.info_start = p.section_begin;
    unit.info_end = p.section_end;
    unit.unit_start = unit_pos;
    unit.unit_end = p.unit_end;
    unit.header = h;
    unit.abbrevs = &st.abbrevs;
    unit.units = st.shared_units ? st.shared_units : &st.units;
    unit.unit_index = st.units.current;
    unit.forms = form_context(s);
    if (p.version5) read_table_bases(unit);
    walk_unit_dies(s, sym, unit);
    return p.next;
}

void trace_unit_start(Session& s, OutText& sym, size_t unit_pos, size_t number) {
    if (!s.opt.trace) return;
    std::string line = "/[0x";
    append_hex(line, unit_pos, 4);
    append_printf(line, "]<<<<<<<<<<<<<<<<<<<< .debug_info Section [% 3d] >>>>>>>>>>>>>>>>>>>>\n",
                  static_cast<int>(number));
    trace_line(s, &sym, line);
}

bool plan_units(const Session& s, std::vector<UnitSlot>& slots, size_t& info_begin) {
    const uint32_t index = s.elf.info_index;
    if (index == 0 || index >= s.elf.sections.size() || s.elf.sections[index].sh_offset == 0) return false;
    size_t begin = 0, length = 0;
    if (!section_bounds(s, index, begin, length)) return false;
    info_begin = begin;
    const size_t end = begin + length;
    for (size_t pos = begin; pos < end;) {
        slots.push_back(UnitSlot{static_cast<uint32_t>(pos - begin), 0});
        const size_t next = plan_unit(s, pos).next;
        if (next == kNoPosition) break;
        const size_t unit_end = next < end ? next : end;
        slots.back().end = static_cast<uint32_t>(unit_end - begin - 1);
        pos = next;
    }
    return true;
}

void walk_units(Session& s, OutText& sym) {
    if (s.threads > 1 && walk_units_in_parallel(s, sym)) return;
    const uint32_t index = s.elf.info_index;
    if (index == 0 || index >= s.elf.sections.size() || s.elf.sections[index].sh_offset == 0) return;
    size_t begin = 0, length = 0;
    if (!section_bounds(s, index, begin, length)) return;
    const size_t end = begin + length;

    UnitTable& units = s.sym->units;
    size_t pos = begin;
    for (size_t i = 0; pos < end; ++i) {
        trace_unit_start(s, sym, pos, i);
        units.current = units.slots.size();
        units.slots.push_back(UnitSlot{static_cast<uint32_t>(pos - begin), 0});
        const size_t next = read_unit_header(s, sym, pos);
        if (next == kNoPosition) break;
        // The end is where the unit's bytes stop inside the section.
        const size_t unit_end = next < end ? next : end;
        units.slots[units.current].end = static_cast<uint32_t>(unit_end - begin - 1);
        pos = next;
    }
}
