#include "symbols/type_rules.h"

#include <algorithm>

#include "common/scan.h"
#include "symbols/type_cache.h"

namespace {

// Bit-field position and element size: the same for base types and members.
void size_rule(SymbolState& t, int target, const AttributeView& a) {
    if (a.form != DW_FORM_data1) return;
    switch (a.attr) {
    case DW_AT_bit_offset:
        write_type_field(t, target, TypeField::kind_flags, kKindBit);
        write_type_field(t, target, TypeField::bit_off, first_byte(a));
        break;
    case DW_AT_bit_size:
        write_type_field(t, target, TypeField::kind_flags, kKindBit);
        write_type_field(t, target, TypeField::bit_size, first_byte(a));
        break;
    case DW_AT_byte_size: write_type_field(t, target, TypeField::one_byte, first_byte(a)); break;
    default: break;
    }
}

// Follow: the type's entries hang one level below the target entry.
FollowRequest follow_below(const SymbolState& t, int target,
                           FollowRequest::Restore restore = FollowRequest::Restore::never) {
    return follow_with(t.entries[target].nest + 1, restore);
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

FollowRequest apply_type_rule(SymbolState& t, uint32_t tag, const AttributeView& a, int& target) {
    const SymbolEntries& e = t.entries;
    switch (tag) {
    case DW_TAG_base_type:
        if (a.attr == DW_AT_encoding && a.form == DW_FORM_data1) {
            std::string name;
            encoding_type_name(name, first_byte(a));
            write_type_text(t, target, TypeField::typen, name);
        } else if (a.attr == DW_AT_name && given_as_string(a.form)) {
            write_type_text(t, target, TypeField::typen, a.raw->text);
        } else {
            size_rule(t, target, a);
        }
        break;
    case DW_TAG_const_type:
    case DW_TAG_restrict_type:  // a DWARF 2 debugger knows no restrict: the type behind it
    case DW_TAG_reference_type:
    case DW_TAG_typedef:
        if (a.attr == DW_AT_type) return follow_below(t, target);
        break;
    case DW_TAG_pointer_type:
        if (a.attr == DW_AT_type) {
            write_type_field(t, target, TypeField::kind_flags, kKindPointer);
            return follow_below(t, target);
        }
        break;
    case DW_TAG_volatile_type:
        if (a.attr == DW_AT_type) {
            target = t.current;
            return follow_below(t, target, FollowRequest::Restore::always);
        }
        break;
    case DW_TAG_array_type:
        write_type_field(t, target, TypeField::kind_flags, kKindArray);
        if (a.attr == DW_AT_type) {
            // An array of structures keeps the member entries its element
            // type adds; any other element type gives the index back.
            if ((e[0].kind & kKindStruct) != 0) return follow_below(t, target);
            target = t.current;
            return follow_below(t, target, FollowRequest::Restore::unless_root_struct);
        }
        break;
    case DW_TAG_subrange_type:
        if (a.attr == DW_AT_count)
            write_type_field(t, target, TypeField::dimension, a.value);
        else if (a.attr == DW_AT_upper_bound)
            write_type_field(t, target, TypeField::dimension, static_cast<uint32_t>(a.value + 1));
        break;
    case DW_TAG_structure_type:
    case DW_TAG_union_type:
        if (a.attr == DW_AT_byte_size) {
            write_type_field(t, target, TypeField::kind_flags, kKindStruct);
            write_type_field(t, target, TypeField::struct_len, static_cast<int32_t>(a.value));
        }
        break;
    case DW_TAG_member:
        if (a.attr == DW_AT_name && given_as_string(a.form)) {
            target = t.current;
            write_type_field(t, target, TypeField::ident, kIdentMember);
            write_type_text(t, target, TypeField::name, a.raw->text);
        } else if (a.attr == DW_AT_data_member_location && given_as_block(a.form) &&
                   first_byte(a) == DW_OP_plus_uconst) {
            write_type_field(t, target, TypeField::ident, kIdentMember);
            write_type_field(t, target, TypeField::location, static_cast<int32_t>(loc_result_value(a.op, 4)));
        } else if (a.attr == DW_AT_data_member_location && given_as_constant(a.form)) {
            write_type_field(t, target, TypeField::ident, kIdentMember);
            write_type_field(t, target, TypeField::location, static_cast<int32_t>(a.value));
        } else if (a.attr == DW_AT_type) {
            return follow_below(t, target);
        } else {
            size_rule(t, target, a);
        }
        break;
    default:
        break;
    }
    return FollowRequest{};
}

void take_data_bit_offset(SymbolState& t, int index, uint32_t data_bit_offset, bool big_endian) {
    const SymbolEntry& member = t.entries[index];
    const uint32_t size = static_cast<uint32_t>(member.one_byte);
    if (size == 0 || size > 8) return;  // no storage unit to count in
    const int64_t bits = size * 8;
    const int64_t first = data_bit_offset;
    const int64_t last = first + static_cast<uint32_t>(member.bit_size);  // one past the field's last bit
    int64_t unit = last - bits <= 0 ? 0 : (last - 1) / bits * bits;
    if (unit > first) unit = (last - bits) / 8 * 8;
    const int64_t bit_offset = bits - (first - unit) - static_cast<uint32_t>(member.bit_size);
    write_type_field(t, index, TypeField::ident, kIdentMember);
    write_type_field(t, index, TypeField::kind_flags, kKindBit);
    write_type_field(t, index, TypeField::location, static_cast<int32_t>(unit / 8));
    // Counted from the unit's most significant bit on a little-endian target;
    // a negative offset (a field that runs past its unit) is one a DWARF 2
    // build gives as a signed number, which is not taken as a bit offset.
    if (big_endian)
        write_type_field(t, index, TypeField::bit_off, static_cast<int32_t>(first - unit));
    else if (bit_offset >= 0)
        write_type_field(t, index, TypeField::bit_off, static_cast<int32_t>(bit_offset));
}

void finish_symbols(SymbolState& t, unsigned address_size) {
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
        if (x.kind & kKindPointer) x.one_byte = static_cast<int32_t>(address_size);
        uint32_t count = 1;
        if (x.kind & kKindArray) {
            const int dims = std::min(std::max(x.ele[0], 0), kMaxDimensions);
            for (int d = 1; d <= dims; ++d) count *= static_cast<uint32_t>(x.ele[d]);
        }
        x.total_byte = static_cast<int32_t>(static_cast<uint32_t>(x.one_byte) * count);
    }
}
