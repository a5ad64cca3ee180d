#include "symbols/die_cursor.h"

#include "symbols/forms.h"

void clear_abbreviations(AbbrevTable& t) {
    for (uint16_t code : t.filled) t.slots[code] = AbbrevSlot{};
    t.filled.clear();
    t.forms.clear();
}

void compile_declarations(AbbrevTable& t, const ByteReader& image, unsigned address_size) {
    for (uint16_t code : t.filled) {
        AbbrevSlot& slot = t.slots[code];
        const size_t first = t.forms.size();
        ByteReader pair = image;
        pair.pos = slot.pairs;
        pair.end = t.section_end;
        pair.overrun = false;
        bool in_place = true, has_exprloc = false, has_sibling = false;
        int32_t fixed = 0;
        bool complete = false;
        while (t.forms.size() - first <= kMaxCompiledForms) {
            AttrForm item;
            item.attr = read_uleb128(pair);
            item.form = read_uleb128(pair);
            if (item.form == DW_FORM_implicit_const) item.constant = read_sleb128(pair);
            if (pair.overrun) break;
            if (item.attr == 0 && item.form == 0) {
                complete = true;
                break;
            }
            const FormRow row = form_row(item.form);
            if (row.cls == FormClass::unknown || read_through_table(row.cls) || row.layout == FormLayout::indirect)
                in_place = false;
            if (item.form == DW_FORM_exprloc) has_exprloc = true;
            if (item.attr == DW_AT_sibling) has_sibling = true;
            item.width = fixed_value_size(row, address_size);
            if (row.layout == FormLayout::indirect) item.width = -1;
            if (item.width < 0 || fixed < 0)
                fixed = -1;
            else
                fixed += item.width;
            t.forms.push_back(item);
        }
        if (!complete || t.forms.size() - first > kMaxCompiledForms) {
            t.forms.resize(first);
            continue;
        }
        slot.compiled = true;
        slot.in_place = in_place;
        slot.has_exprloc = has_exprloc;
        slot.has_sibling = has_sibling;
        slot.first_form = static_cast<uint32_t>(first);
        slot.form_count = static_cast<uint16_t>(t.forms.size() - first);
        slot.fixed_size = fixed;
    }
}

uint32_t unit_start_for_offset(const UnitTable& u, size_t current, uint32_t info_offset) {
    if (u.slots.empty()) return 0;
    size_t last = current < u.slots.size() ? current : u.slots.size() - 1;
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

void DieCursor::note_sibling(uint32_t form, uint32_t value) {
    const FormRow row = form_row(form);
    if (row.cls != FormClass::reference) return;
    // DW_FORM_ref_addr counts from the start of .debug_info, the other
    // references from the start of the unit.
    sibling = (form == DW_FORM_ref_addr ? unit->info_start : unit->unit_start) + value;
}

bool DieCursor::step_over_value(uint32_t attribute, uint32_t form, int32_t width) {
    const size_t start = r.pos;
    if (attribute == DW_AT_sibling) {
        ByteReader value = r;
        uint32_t reference_form = form, reference = 0;
        if (read_reference(reference_form, value, reference)) note_sibling(reference_form, reference);
    }
    if (width >= 0 && r.remaining() >= static_cast<size_t>(width))
        r.pos += static_cast<size_t>(width);
    else
        skip_value(unit->forms, form, r);
    if (!r.overrun) return true;
    value_cut = true;
    cut_form = form;
    cut_at = start;
    return false;
}

bool DieCursor::skip_attributes(const AbbrevSlot& decl) {
    sibling = 0;
    if (decl.compiled) {
        if (decl.fixed_size >= 0 && !decl.has_sibling && r.remaining() >= static_cast<size_t>(decl.fixed_size)) {
            r.pos += static_cast<size_t>(decl.fixed_size);
            return true;
        }
        const AttrForm* item = unit->abbrevs->forms.data() + decl.first_form;
        for (const AttrForm* end = item + decl.form_count; item != end; ++item)
            if (!step_over_value(item->attr, item->form, item->width)) return false;
        return true;
    }
    ByteReader pair = pairs(decl);
    for (;;) {
        const uint32_t attribute = read_uleb128(pair);
        uint32_t form = read_uleb128(pair);
        if (attribute == 0 && form == 0) break;
        if (form == DW_FORM_implicit_const) read_sleb128(pair);  // the value stands in the declaration
        if (!step_over_value(attribute, form, -1)) return false;
        if (pair.overrun) break;  // a cut declaration was reported when it was loaded
    }
    return true;
}

bool DieCursor::skip_children() {
    if (sibling > r.pos && sibling <= r.end) {
        r.pos = sibling;
        return true;
    }
    int open_lists = 1;
    while (open_lists > 0) {
        if (at_end()) return false;
        const DieEntry e = next();
        if (e.cut) return false;
        if (e.code == 0) {
            --open_lists;
            continue;
        }
        if (!e.decl || !skip_attributes(*e.decl)) return false;
        if (e.decl->children != DW_CHILDREN_yes) continue;
        // A child with children of its own: its sibling steps over them.
        if (sibling > r.pos && sibling <= r.end) {
            r.pos = sibling;
        } else {
            ++open_lists;
        }
    }
    return true;
}
