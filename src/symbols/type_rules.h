// Type rules, member trees and the post-pass.
//
// While a tree has a named root, each attribute of a type DIE (base types,
// qualifiers, typedefs, pointers, arrays, subranges, structures, unions,
// members) writes type name, shape, dimensions, sizes, member names and
// offsets and bit-field positions into the target entry. A DW_AT_type is
// handed back to the tree builder as a FollowRequest; the builder also walks
// the children of arrays (subranges) and of structures and unions (members),
// so that every member becomes a nested entry. The post-pass completes names
// and sizes before the tree is written.
#pragma once

#include <cstdint>
#include <string>

#include "symbols/attribute_rules.h"

// Applies the type rule of `tag` for one attribute. `target` is the entry
// the rules write (some attributes move it to the newest entry, t.current).
FollowRequest apply_type_rule(SymbolState& t, uint32_t tag, const AttributeView& a, int& target);

// Whether the type rule of `tag` does anything with attribute `attr` (of
// some form); the walk steps over the values of attributes no rule reads.
// Every attribute of an array type counts: each one marks it an array.
constexpr bool type_rule_reads(uint32_t tag, uint32_t attr) {
    const bool sizes = attr == DW_AT_bit_offset || attr == DW_AT_bit_size || attr == DW_AT_byte_size;
    switch (tag) {
    case DW_TAG_base_type: return attr == DW_AT_encoding || attr == DW_AT_name || sizes;
    case DW_TAG_const_type:
    case DW_TAG_restrict_type:
    case DW_TAG_reference_type:
    case DW_TAG_typedef:
    case DW_TAG_pointer_type:
    case DW_TAG_volatile_type: return attr == DW_AT_type;
    case DW_TAG_array_type: return true;
    case DW_TAG_subrange_type: return attr == DW_AT_count || attr == DW_AT_upper_bound;
    case DW_TAG_structure_type:
    case DW_TAG_union_type: return attr == DW_AT_byte_size;
    case DW_TAG_member:
        return attr == DW_AT_name || attr == DW_AT_data_member_location || attr == DW_AT_type || sizes;
    default: return false;
    }
}

// Post-pass over the named entries of the tree: floating-point type names,
// member ranges, element and total sizes (a pointer's element size is the
// address size).
void finish_symbols(SymbolState& t, unsigned address_size);

// The type name of a DW_AT_encoding value ("int", "Uint", "char", ...).
void encoding_type_name(std::string& dest, uint32_t encoding);

// A bit-field member given by DW_AT_data_bit_offset (bits from the start of
// the structure, DWARF 4 on), once its size and bit size are known: the
// storage unit of the member's size that holds it becomes its offset, and
// its position within the unit is counted from the unit's most significant
// bit (DW_AT_bit_offset), so that it reads as a DWARF 2 bit-field. The unit
// is placed as GCC places it for a DWARF 2 build: the aligned unit that ends
// at or after the field's last bit, or, when that would start after the
// field, the byte-aligned one that ends with it.
void take_data_bit_offset(SymbolState& t, int index, uint32_t data_bit_offset, bool big_endian);
