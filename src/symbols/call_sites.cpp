#include "symbols/call_sites.h"

#include <algorithm>

#include "common/dwarf_codes.h"
#include "symbols/attributes.h"

namespace {

bool is_call_site(uint32_t tag) { return tag == DW_TAG_call_site || tag == DW_TAG_GNU_call_site; }

bool declares_call_sites(const AbbrevTable& t) {
    for (uint16_t code : t.filled) {
        const AbbrevSlot* slot = find_abbreviation(t, code);
        if (slot && is_call_site(slot->tag)) return true;
    }
    return false;
}

}  // namespace

std::vector<size_t> call_site_only_declarations(const UnitView& unit) {
    std::vector<size_t> declarations, origins, specified;
    if (!unit.abbrevs || !declares_call_sites(*unit.abbrevs)) return declarations;
    DieCursor at = DieCursor::at(unit, unit.unit_start + unit.header.size);
    while (!at.at_end()) {
        const DieEntry e = at.next();
        if (e.cut) break;
        if (!e.decl) continue;
        ByteReader pairs = at.pairs(*e.decl);
        ByteReader& r = at.r;
        bool declaration = false, from_source = false, built_in = false;
        for (;;) {
            const uint32_t attr = read_uleb128(pairs);
            uint32_t form = read_uleb128(pairs);
            if (pairs.overrun || (attr == 0 && form == 0)) break;
            if (form == DW_FORM_implicit_const) {
                // The value stands in the declaration, not in the entry.
                const int32_t value = read_sleb128(pairs);
                if (attr == DW_AT_decl_file) from_source = true;
                if (attr == DW_AT_decl_line && value == 0) built_in = true;
                continue;
            }
            if (attr == DW_AT_decl_line && (form == DW_FORM_data1 || form == DW_FORM_data2 || form == DW_FORM_udata)) {
                // Line 0: a compiler built-in (GCC's "<built-in>" file), not source.
                ByteReader line = r;
                const uint32_t value = form == DW_FORM_data1 ? read_u8(line)
                                       : form == DW_FORM_data2 ? read_target16(line)
                                                               : read_uleb128(line);
                if (!line.overrun && value == 0) built_in = true;
            }
            const bool origin = is_call_site(e.decl->tag) && (attr == DW_AT_abstract_origin || attr == DW_AT_call_origin);
            if (origin || attr == DW_AT_specification) {
                uint32_t value = 0, resolved = form;
                const size_t before = r.pos;
                if (read_reference(resolved, r, value)) {
                    form = resolved;
                    const size_t target = (form == DW_FORM_ref_addr ? unit.info_start : unit.unit_start) + value;
                    (origin ? origins : specified).push_back(target);
                    continue;
                }
                r.pos = before;
            }
            if (attr == DW_AT_decl_file) from_source = true;
            if (attr == DW_AT_declaration && e.decl->tag == DW_TAG_subprogram) {
                declaration = form == DW_FORM_flag_present || (form == DW_FORM_flag && r.pos < r.end && r.data[r.pos] != 0);
            }
            skip_value(unit.forms, form, r);
            if (r.overrun) return {};
        }
        if (declaration && (!from_source || built_in)) declarations.push_back(e.offset);
    }
    std::sort(origins.begin(), origins.end());
    std::sort(specified.begin(), specified.end());
    std::vector<size_t> result;
    for (size_t d : declarations) {
        if (std::binary_search(origins.begin(), origins.end(), d) &&
            !std::binary_search(specified.begin(), specified.end(), d))
            result.push_back(d);
    }
    return result;
}
