#include "symbols/units.h"

#include <string>

#include "common/format.h"
#include "driver/passes.h"
#include "common/session.h"
#include "symbols/dwarf_names.h"
#include "symbols/symbol_table.h"
#include "symbols/walk.h"

namespace {

constexpr size_t kInitialUnitSlots = 4096;

// A trace value line showing a number rather than bytes of the image:
// the label padded to 20 columns, "0x" and `digits` hex digits, a space.
void trace_number(Session& s, OutText& out, const char* label, uint32_t value, int digits) {
    if (!s.opt.trace) return;
    std::string line(label);
    if (line.size() < 20) line.append(20 - line.size(), ' ');
    format_hex_prefixed(line, value, digits);
    line += " \n";
    trace_line(s, &out, line);
}

void warn_at(Session& s, const char* what, size_t offset, const char* tail) {
    std::string text(what);
    append_printf(text, " 0x%zX", offset);
    text += tail;
    warn(s, text);
}

}  // namespace

void clear_abbreviations(AbbrevTable& t) {
    for (uint16_t code : t.filled) t.slots[code] = AbbrevSlot{};
    t.filled.clear();
}

const AbbrevSlot* find_abbreviation(const Session& s, uint32_t code) {
    if (code == 0 || code >= static_cast<uint32_t>(kAbbrevSlots)) return nullptr;
    const AbbrevSlot& slot = s.sym->abbrevs.slots[code];
    return slot.pos == kNoPosition ? nullptr : &slot;
}

ByteReader abbrev_reader(const Session& s, size_t pos) {
    const AbbrevTable& t = s.sym->abbrevs;
    ByteReader r = image_range(s, t.section_begin, t.section_end - t.section_begin);
    seek(r, pos < t.section_begin ? t.section_end : pos);
    return r;
}

uint32_t unit_start_for_offset(const Session& s, uint32_t info_offset) {
    const UnitTable& u = s.sym->units;
    if (u.slots.empty()) return 0;
    size_t last = u.current < u.slots.size() ? u.current : u.slots.size() - 1;
    // Slots before the current one have been walked: their ends are non-zero
    // and rise with the slot number, so the first slot whose end is not
    // below the offset is found by bisection. The current slot (end 0 while
    // it is walked) closes the search.
    size_t lo = 0, hi = last;
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        const UnitSlot& m = u.slots[mid];
        if (m.end != 0 && m.end < info_offset) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return u.slots[lo].start;
}

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
        warn_at(s, "abbreviation offset", abbrev_offset, " lies outside .debug_abbrev");
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
            append_printf(line, "/----- .debug_addrev Section [% 3d] [0x%04zX]-\n", static_cast<int>(code), decl);
            trace_line(s, &sym, line);
        }
        trace_number(s, sym, "/Entry", code & 0xFFFF, 4);
        uint32_t tag = read_uleb128(r);
        trace_number(s, sym, "/Tag", tag & 0xFFFF, 4);
        trace_values(s, &sym, "/Childe", r, 1, 1, 16);
        uint8_t children = read_u8(r);
        const size_t specs = r.pos;
        if (code < static_cast<uint32_t>(kAbbrevSlots)) {
            AbbrevSlot& slot = t.slots[code];
            slot.tag = tag;
            slot.children = children;
            slot.specs = specs;
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
            if (s.opt.trace) {
                line.assign("/");
                append_attribute_label(line, attribute);
                line += ' ';
                append_form_label(line, form);
                line += '\n';
                trace_line(s, &sym, line);
            }
        }
        if (r.overrun) {
            warn_at(s, "abbreviation declaration at file offset", decl, " is cut off by the end of .debug_abbrev");
            break;
        }
    }
    return r.pos;
}

size_t read_unit_header(Session& s, OutText& sym, size_t unit_pos, size_t info_start) {
    size_t begin = 0, length = 0;
    section_bounds(s, s.elf.info_index, begin, length);
    const size_t section_end = begin + length;
    ByteReader info = image_range(s, begin, length);
    seek(info, unit_pos);

    ByteReader at = info;
    trace_values(s, &sym, "/length", at, 1, 4, 16);
    skip(at, 4);
    trace_values(s, &sym, "/version", at, 1, 2, 16);
    skip(at, 2);
    trace_values(s, &sym, "/offset", at, 1, 4, 16);
    skip(at, 4);
    trace_values(s, &sym, "/size", at, 1, 1, 16);

    ByteReader h = info;
    const uint32_t unit_length = read_target32(h);
    const uint16_t version = read_target16(h);
    const uint32_t abbrev_offset = read_target32(h);
    read_u8(h);  // the unit's own address size; the run keeps the first unit's
    const size_t next = unit_pos + static_cast<size_t>(unit_length) + 4;

    if (h.overrun) {
        warn_at(s, "compilation-unit header at file offset", unit_pos, " is cut off by the end of .debug_info");
        return section_end;
    }
    if (unit_length >= 0xFFFFFFF0u) {
        // 0xFFFFFFFF introduces the 64-bit format; the rest is reserved.
        warn_at(s, "compilation unit at file offset", unit_pos,
                " uses the 64-bit DWARF format, which is not supported; the rest of .debug_info is skipped");
        return section_end;
    }
    if (unit_length < kUnitHeaderSize - 4) {
        // The header fields past the unit's end belong to what follows it.
        warn_at(s, "compilation unit at file offset", unit_pos, " is shorter than its header");
        return next;
    }
    if (version >= 5) {
        std::string text;
        append_printf(text, "compilation unit at file offset 0x%zX has DWARF version %u, which is not supported; "
                            "its entries are skipped", unit_pos, static_cast<unsigned>(version));
        warn(s, text);
        return next;
    }
    size_t unit_end = next;
    if (unit_end > section_end) {
        warn_at(s, "compilation unit at file offset", unit_pos,
                " runs past the end of .debug_info; its entries are read up to the section end");
        unit_end = section_end;
    }

    if (s.elf.abbrev_index == 0) return kNoPosition;
    size_t abbrev_begin = 0, abbrev_length = 0;
    section_bounds(s, s.elf.abbrev_index, abbrev_begin, abbrev_length);
    if (abbrev_offset >= abbrev_length) {
        warn_at(s, "compilation unit at file offset", unit_pos,
                " names an abbreviation offset outside .debug_abbrev; its entries are skipped");
        return next;
    }
    if (load_abbreviations(s, sym, abbrev_offset) == kNoPosition) return kNoPosition;

    const size_t first_die = unit_pos + kUnitHeaderSize;
    walk_unit_dies(s, sym, first_die, unit_end, info_start, unit_pos);
    return next;
}

void walk_units(Session& s, OutText& sym) {
    const uint32_t index = s.elf.info_index;
    if (index == 0 || index >= s.elf.sections.size() || s.elf.sections[index].sh_offset == 0) return;
    size_t begin = 0, length = 0;
    if (!section_bounds(s, index, begin, length)) return;
    const size_t end = begin + length;

    UnitTable& units = s.sym->units;
    if (units.slots.capacity() < kInitialUnitSlots) units.slots.reserve(kInitialUnitSlots);
    std::string line;
    size_t pos = begin;
    for (size_t i = 0; pos < end; ++i) {
        if (s.opt.trace) {
            line.clear();
            append_printf(line, "/[0x%04zX]<<<<<<<<<<<<<<<<<<<< .debug_info Section [% 3d] >>>>>>>>>>>>>>>>>>>>\n",
                          pos, static_cast<int>(i));
            trace_line(s, &sym, line);
        }
        units.current = units.slots.size();
        units.slots.push_back(UnitSlot{static_cast<uint32_t>(pos - begin), 0});
        const size_t next = read_unit_header(s, sym, pos, begin);
        if (next == kNoPosition) break;
        // The end is where the unit's bytes stop inside the section.
        const size_t unit_end = next < end ? next : end;
        units.slots[units.current].end = static_cast<uint32_t>(unit_end - begin - 1);
        pos = next;
    }
}
