// The attribute forms: one row per DW_FORM code saying how its value is laid
// out in .debug_info and what it means. The value decoder, the step over a
// DIE's values and the size of fixed-width values all read this table, so a
// form is added by adding its row (and, for a new layout, one case where
// the layout is read).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/dwarf_codes.h"

// How the bytes of a value are laid out.
enum class FormLayout : uint8_t {
    none,           // no bytes (the form itself is the value, or the form is unknown)
    fixed,          // `size` bytes in the target byte order
    address,        // an address of the address size
    offset,         // an offset of the 32-bit DWARF format: 4 bytes
    uleb128,
    sleb128,
    block1,         // a 1-byte length, then that many bytes
    block2,         // a 2-byte length, ...
    block4,         // a 4-byte length, ...
    block_uleb128,  // a ULEB128 length, ...
    cstring,        // a NUL-terminated string in place
    indirect,       // a ULEB128 form code, then a value of that form
};

// What a value means, as far as decoding it depends on that.
enum class FormClass : uint8_t {
    unknown,    // a code this reader does not know: it reads nothing
    address,
    block,
    constant,
    flag,
    reference,
    string,     // in place, or (layout offset) an offset into .debug_str
    section_offset,
    exprloc,
    // Values read through a table of the unit (DWARF 5): the decoder looks
    // the value up and hands it on as the form of the direct class (strp,
    // addr, sec_offset).
    string_index,   // an index into the unit's .debug_str_offsets table
    line_string,    // an offset into .debug_line_str
    address_index,  // an index into the unit's .debug_addr table
    loclist_index,  // an index into the unit's .debug_loclists offsets
    rnglist_index,  // an index into the unit's .debug_rnglists offsets
    implicit,       // DW_FORM_implicit_const: the value stands in the abbreviation
    other,          // laid out as its layout says; nothing reads its meaning
};

struct FormRow {
    FormClass cls;
    FormLayout layout;
    uint8_t size;  // bytes of a `fixed` layout
};

namespace form_table {
using C = FormClass;
using L = FormLayout;
// Indexed by form code.
constexpr FormRow kRows[] = {
    {C::unknown, L::none, 0},                // 0x00
    {C::address, L::address, 0},             // DW_FORM_addr
    {C::unknown, L::none, 0},                // 0x02
    {C::block, L::block2, 0},                // DW_FORM_block2
    {C::block, L::block4, 0},                // DW_FORM_block4
    {C::constant, L::fixed, 2},              // DW_FORM_data2
    {C::constant, L::fixed, 4},              // DW_FORM_data4
    {C::constant, L::fixed, 8},              // DW_FORM_data8
    {C::string, L::cstring, 0},              // DW_FORM_string
    {C::block, L::block_uleb128, 0},         // DW_FORM_block
    {C::block, L::block1, 0},                // DW_FORM_block1
    {C::constant, L::fixed, 1},              // DW_FORM_data1
    {C::flag, L::fixed, 1},                  // DW_FORM_flag
    {C::constant, L::sleb128, 0},            // DW_FORM_sdata
    {C::string, L::offset, 0},               // DW_FORM_strp
    {C::constant, L::uleb128, 0},            // DW_FORM_udata
    {C::reference, L::offset, 0},            // DW_FORM_ref_addr
    {C::reference, L::fixed, 1},             // DW_FORM_ref1
    {C::reference, L::fixed, 2},             // DW_FORM_ref2
    {C::reference, L::fixed, 4},             // DW_FORM_ref4
    {C::reference, L::fixed, 8},             // DW_FORM_ref8
    {C::reference, L::uleb128, 0},           // DW_FORM_ref_udata
    {C::unknown, L::indirect, 0},            // DW_FORM_indirect
    {C::section_offset, L::offset, 0},       // DW_FORM_sec_offset
    {C::exprloc, L::block_uleb128, 0},       // DW_FORM_exprloc
    {C::flag, L::none, 0},                   // DW_FORM_flag_present
    {C::string_index, L::uleb128, 0},        // DW_FORM_strx
    {C::address_index, L::uleb128, 0},       // DW_FORM_addrx
    {C::other, L::fixed, 4},                 // DW_FORM_ref_sup4
    {C::other, L::offset, 0},                // DW_FORM_strp_sup
    {C::constant, L::fixed, 16},             // DW_FORM_data16
    {C::line_string, L::offset, 0},          // DW_FORM_line_strp
    {C::other, L::fixed, 8},                 // DW_FORM_ref_sig8
    {C::implicit, L::none, 0},               // DW_FORM_implicit_const
    {C::loclist_index, L::uleb128, 0},       // DW_FORM_loclistx
    {C::rnglist_index, L::uleb128, 0},       // DW_FORM_rnglistx
    {C::other, L::fixed, 8},                 // DW_FORM_ref_sup8
    {C::string_index, L::fixed, 1},          // DW_FORM_strx1
    {C::string_index, L::fixed, 2},          // DW_FORM_strx2
    {C::string_index, L::fixed, 3},          // DW_FORM_strx3
    {C::string_index, L::fixed, 4},          // DW_FORM_strx4
    {C::address_index, L::fixed, 1},         // DW_FORM_addrx1
    {C::address_index, L::fixed, 2},         // DW_FORM_addrx2
    {C::address_index, L::fixed, 3},         // DW_FORM_addrx3
    {C::address_index, L::fixed, 4},         // DW_FORM_addrx4
};
constexpr size_t kCount = sizeof kRows / sizeof kRows[0];
static_assert(kCount == DW_FORM_addrx4 + 1, "one row per form code");
}  // namespace form_table

constexpr FormRow form_row(uint32_t form) {
    return form < form_table::kCount ? form_table::kRows[form] : FormRow{FormClass::unknown, FormLayout::none, 0};
}

// Bytes of a value that is a plain number of 1, 2 or 4 bytes whatever the
// unit (the forms the decoder stores without looking further), else 0.
constexpr uint8_t plain_number_width(const FormRow& row) {
    if (row.cls != FormClass::address && row.cls != FormClass::block && row.cls != FormClass::constant &&
        row.cls != FormClass::flag && row.cls != FormClass::reference && row.cls != FormClass::section_offset &&
        row.cls != FormClass::exprloc)
        return 0;  // strings, and values looked up in a table
    if (row.layout == FormLayout::offset) return 4;
    if (row.layout == FormLayout::fixed && row.size <= 4) return row.size;
    return 0;
}

namespace form_table {
constexpr std::array<uint8_t, kCount> plain_number_widths() {
    std::array<uint8_t, kCount> widths{};
    for (size_t i = 0; i < kCount; ++i) widths[i] = plain_number_width(kRows[i]);
    return widths;
}
constexpr std::array<uint8_t, kCount> kPlainNumberWidths = plain_number_widths();
}  // namespace form_table

// Whether a value of this class is looked up in a table of the unit.
constexpr bool read_through_table(FormClass cls) {
    return cls == FormClass::string_index || cls == FormClass::line_string || cls == FormClass::address_index ||
           cls == FormClass::loclist_index || cls == FormClass::rnglist_index;
}

// Bytes of a value whose width the form alone decides (0 for forms that
// take no bytes), or -1 for a variable length.
constexpr int fixed_value_size(const FormRow& row, unsigned address_size) {
    switch (row.layout) {
    case FormLayout::none: return 0;
    case FormLayout::fixed: return row.size;
    case FormLayout::address: return static_cast<int>(address_size);
    case FormLayout::offset: return 4;
    default: return -1;
    }
}
