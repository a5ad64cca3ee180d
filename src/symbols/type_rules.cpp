#include "symbols/type_rules.h"

#include "common/scan.h"
#include "common/session.h"
#include "symbols/dwarf_names.h"
#include "symbols/units.h"

namespace {

constexpr uint8_t DW_OP_plus_uconst = 0x23;
constexpr int kMaxDimensions = 6;

// Bit-field position and element size: the same for base types and members.
void size_rule(SymbolEntry& e, const AttributeView& a) {
    if (a.form != DW_FORM_data1) return;
    switch (a.attr) {
    case DW_AT_bit_offset:
        e.kind |= kKindBit;
        e.bit_off = first_byte(a);
        break;
    case DW_AT_bit_size:
        e.kind |= kKindBit;
        e.bit_size = first_byte(a);
        break;
    case DW_AT_byte_size: e.one_byte = first_byte(a); break;
    default: break;
    }
}

void add_dimension(SymbolEntry& e, uint32_t count) {
    if (e.ele[0] < 0 || e.ele[0] >= kMaxDimensions) return;  // a seventh dimension is not recorded
    e.ele[1 + e.ele[0]] = static_cast<int32_t>(count);
    e.ele[0] += 1;
}

void follow_from(Session& s, OutText& sym, WalkContext& ctx, const AttributeView& a, int target, int& current) {
    follow_reference(s, sym, ctx, a, s.sym->entries[target].nest + 1, current);
}

// Steps over DIEs until `open_lists` children lists have been closed by
// their null entries; false when that cannot be done before `end` (a code
// without declaration, a cut value).
bool skip_lists(Session& s, size_t& pos, size_t end, int open_lists) {
    while (open_lists > 0) {
        if (pos >= end) return false;
        ByteReader r = image_range(s, pos, end - pos);
        const uint32_t code = read_uleb128(r);
        if (r.overrun) return false;
        if (code == 0) {
            --open_lists;
            pos = r.pos;
            continue;
        }
        const AbbrevSlot* decl = find_abbreviation(s, code);
        if (!decl) return false;
        pos = skip_attributes(s, r, abbrev_reader(s, decl->specs));
        if (r.overrun) return false;
        if (decl->children == DW_CHILDREN_yes) ++open_lists;
    }
    return true;
}

}  // namespace

void encoding_type_name(std::string& dest, uint32_t encoding) {
    switch (encoding) {
    case DW_ATE_boolean: dest = "int"; break;
    case DW_ATE_float: dest = "float"; break;
    case DW_ATE_signed: dest = "int"; break;
    case DW_ATE_signed_char: dest = "char"; break;
    case DW_ATE_unsigned: dest = "Uint"; break;
    case DW_ATE_unsigned_char: dest = "Uchar"; break;
    default: dest = "void"; break;
    }
}

void apply_type_rule(Session& s, OutText& sym, WalkContext& ctx, uint32_t tag, const AttributeView& a, int& target,
                     int& current) {
    SymbolEntries& e = s.sym->entries;
    switch (tag) {
    case DW_TAG_base_type:
        if (a.attr == DW_AT_encoding && a.form == DW_FORM_data1)
            encoding_type_name(e[target].typen, first_byte(a));
        else if (a.attr == DW_AT_name && given_as_string(a.form))
            set_name(e[target].typen, a.raw->text);
        else
            size_rule(e[target], a);
        break;
    case DW_TAG_const_type:
    case DW_TAG_reference_type:
    case DW_TAG_typedef:
        if (a.attr == DW_AT_type) follow_from(s, sym, ctx, a, target, current);
        break;
    case DW_TAG_pointer_type:
        if (a.attr == DW_AT_type) {
            e[target].kind |= kKindPointer;
            follow_from(s, sym, ctx, a, target, current);
        }
        break;
    case DW_TAG_volatile_type:
        if (a.attr == DW_AT_type) {
            target = current;
            const int remembered = current;
            follow_from(s, sym, ctx, a, target, current);
            current = remembered;
        }
        break;
    case DW_TAG_array_type:
        e[target].kind |= kKindArray;
        if (a.attr == DW_AT_type) {
            // An array of structures keeps the member entries its element
            // type adds; any other element type gives the index back.
            const bool had_struct = (e[0].kind & kKindStruct) != 0;
            int remembered = current;
            if (!had_struct) target = current;
            follow_from(s, sym, ctx, a, target, current);
            if (!had_struct && (e[0].kind & kKindStruct) == 0) current = remembered;
        }
        break;
    case DW_TAG_subrange_type:
        if (a.attr == DW_AT_count)
            add_dimension(e[target], a.value);
        else if (a.attr == DW_AT_upper_bound)
            add_dimension(e[target], a.value + 1);
        break;
    case DW_TAG_structure_type:
    case DW_TAG_union_type:
        if (a.attr == DW_AT_byte_size) {
            e[target].kind |= kKindStruct;
            e[target].struct_len = static_cast<int32_t>(a.value);
        }
        break;
    case DW_TAG_member:
        if (a.attr == DW_AT_name && given_as_string(a.form)) {
            target = current;
            e[target].ident = kIdentMember;
            set_name(e[target].name, a.raw->text);
        } else if (a.attr == DW_AT_data_member_location && given_as_block(a.form) &&
                   first_byte(a) == DW_OP_plus_uconst) {
            e[target].ident = kIdentMember;
            e[target].location = static_cast<int32_t>(loc_result_value(a.op, 4));
        } else if (a.attr == DW_AT_type) {
            follow_from(s, sym, ctx, a, target, current);
        } else {
            size_rule(e[target], a);
        }
        break;
    default:
        break;
    }
}

size_t walk_children(Session& s, OutText& sym, WalkContext& ctx, size_t pos, uint32_t wanted, int32_t nest,
                     int& current) {
    const size_t end = list_limit(ctx, pos);
    bool lowered = false;
    while (pos < end) {
        ByteReader r = image_range(s, pos, end - pos);
        const uint32_t code = read_uleb128(r);
        if (r.overrun) return r.pos;
        if (code == 0) return r.pos;  // the null entry closing the list
        const AbbrevSlot* decl = find_abbreviation(s, code);
        if (!decl) return r.pos;

        const size_t values = r.pos;
        const bool has_children = decl->children == DW_CHILDREN_yes;
        size_t next;
        if (decl->tag == wanted) {
            next = build_symbol(s, sym, ctx, values, decl->tag, decl->specs, has_children, nest, current);
            if (ctx.cut) return next;
            if (next == values) {
                // Refused: the member is already in the tree. The siblings
                // that follow belong to the level above; step up once only,
                // so no member of this list ends up above its parent's level.
                next = skip_attributes(s, r, abbrev_reader(s, decl->specs));
                if (r.overrun) return next;
                if (!lowered) {
                    nest -= 1;
                    lowered = true;
                }
            }
        } else {
            next = skip_attributes(s, r, abbrev_reader(s, decl->specs));
            if (r.overrun) return next;
        }
        // The child's own children are not part of this list.
        if (has_children && !skip_lists(s, next, end, 1)) return next;
        pos = next;
    }
    return pos;
}

void finish_symbols(Session& s) {
    SymbolState& t = *s.sym;
    SymbolEntries& e = t.entries;
    int extent = std::max(t.high_water, t.current) + 1;
    if (extent < 1) extent = 1;
    if (extent > kMainBankSize) extent = kMainBankSize;
    for (int i = 0; i < extent; ++i) {
        SymbolEntry& x = e[i];
        if (x.name.empty()) continue;
        const char* typen = x.typen.c_str();
        if (match_word_nocase(typen, "double")) {
            if (x.one_byte == 4) x.typen = "float";
        } else if (match_word_nocase(typen, "long double")) {
            x.typen = x.one_byte == 4 ? "float" : x.one_byte == 8 ? "double" : "Ldouble";
        }
        if (x.ident == kIdentMember) {
            x.fstart = e[0].fstart;
            x.fend = e[0].fend;
        }
        if (x.kind & kKindBit) continue;
        if (x.kind & kKindPointer) x.one_byte = s.elf.address_size;
        uint32_t count = 1;
        if (x.kind & kKindArray) {
            const int dims = std::min(std::max(x.ele[0], 0), kMaxDimensions);
            for (int d = 1; d <= dims; ++d) count *= static_cast<uint32_t>(x.ele[d]);
        }
        x.total_byte = static_cast<int32_t>(static_cast<uint32_t>(x.one_byte) * count);
    }
}
