#include "symbols/dwarf_names.h"

#include <cstddef>
#include <cstring>
#include <string_view>

#include "common/format.h"

namespace {

struct NameRow {
    uint32_t code;
    std::string_view name;  // the part after the group prefix
};

// Rows in ascending code order (looked up by binary search).
constexpr NameRow kAttributeNames[] = {
    {0x1, "sibling"}, {0x2, "location"}, {0x3, "name"}, {0x9, "ordering"}, {0xB, "byte_size"},
    {0xC, "bit_offset"}, {0xD, "bit_size"}, {0x10, "stmt_list"}, {0x11, "low_pc"}, {0x12, "high_pc"},
    {0x13, "language"}, {0x15, "discr"}, {0x16, "discr_value"}, {0x17, "visibility"}, {0x18, "import"},
    {0x19, "string_length"}, {0x1A, "common_reference"}, {0x1B, "comp_dir"}, {0x1C, "const_value"},
    {0x1D, "containing_type"}, {0x1E, "default_value"}, {0x20, "inline"}, {0x21, "is_optional"},
    {0x22, "lower_bound"}, {0x25, "producer"}, {0x27, "prototyped"}, {0x2A, "return_addr"},
    {0x2C, "start_scope"}, {0x2E, "stride_size"}, {0x2F, "upper_bound"}, {0x31, "abstract_origin"},
    {0x32, "accessibility"}, {0x34, "artificial"}, {0x35, "base_types"}, {0x36, "calling_convention"},
    {0x37, "count"}, {0x38, "data_member_location"}, {0x39, "decl_column"}, {0x3A, "decl_file"},
    {0x3B, "decl_line"}, {0x3C, "declaretion"}, {0x3D, "discr_list"}, {0x3E, "encoding"}, {0x3F, "external"},
    {0x40, "frame_base"}, {0x41, "friend"}, {0x42, "identifier_case"}, {0x43, "macro_info"},
    {0x44, "namelist_item"}, {0x45, "priority"}, {0x46, "segment"},
    {0x47, "specification"},  // DW_AT_specification
    {0x49, "type"},
    {0x4A, "use_location"}, {0x4B, "variable_parameter"}, {0x4C, "virtuality"},
    {0x4D, "vtable_elem_location"}, {0x4E, "allocated{3}"}, {0x4F, "associated{3}"},
    {0x50, "data_location{3}"}, {0x51, "byte_stride{3}"}, {0x52, "entry_pc{3}"}, {0x53, "use_UTF8{3}"},
    {0x54, "extension{3}"}, {0x55, "ranges{3}"}, {0x56, "trampoline{3}"}, {0x57, "call_column{3}"},
    {0x58, "call_file{3}"}, {0x59, "call_line{3}"}, {0x5A, "description{3}"}, {0x5B, "binary_scale{3}"},
    {0x5C, "decimal_scale{3}"}, {0x5D, "small{3}"}, {0x5E, "decimal_sign{3}"}, {0x5F, "digit_count{3}"},
    {0x60, "picture_string{3}"}, {0x61, "mutable{3}"}, {0x62, "threads_scaled{3}"}, {0x63, "explicit{3}"},
    {0x64, "object_pointer{3}"}, {0x65, "endianity{3}"}, {0x66, "elemental{3}"}, {0x67, "pure{3}"},
    {0x68, "recursive{3}"}, {0x69, "signature"}, {0x6A, "main_subprogram"}, {0x6B, "data_bit_offset"},
    {0x6C, "const_expr"}, {0x6D, "enum_class"}, {0x6E, "linkage_name"},
    {0x6F, "string_length_bit_size"}, {0x70, "string_length_byte_size"}, {0x71, "rank"},
    {0x72, "str_offsets_base"}, {0x73, "addr_base"}, {0x74, "rnglists_base"}, {0x76, "dwo_name"},
    {0x77, "reference"}, {0x78, "rvalue_reference"}, {0x79, "macros"}, {0x7A, "call_all_calls"},
    {0x7B, "call_all_source_calls"}, {0x7C, "call_all_tail_calls"}, {0x7D, "call_return_pc"},
    {0x7E, "call_value"}, {0x7F, "call_origin"}, {0x80, "call_parameter"}, {0x81, "call_pc"},
    {0x82, "call_tail_call"}, {0x83, "call_target"}, {0x84, "call_target_clobbered"},
    {0x85, "call_data_location"}, {0x86, "call_data_value"}, {0x87, "noreturn"}, {0x88, "alignment"},
    {0x89, "export_symbols"}, {0x8A, "deleted"}, {0x8B, "defaulted"}, {0x8C, "loclists_base"},
    {0x2000, "lo_user"},
    {0x2001, "MIPS_fde"}, {0x2002, "MIPS_loop_begin"}, {0x2003, "MIPS_tail_loop_begin"},
    {0x2004, "MIPS_epilog_begin"}, {0x2005, "MIPS_loop_unroll_factor"},
    {0x2006, "MIPS_software_pipeline_depth"}, {0x2007, "MIPS_linkage_name"}, {0x2008, "MIPS_stride"},
    {0x2009, "MIPS_abstract_name"}, {0x200A, "MIPS_clone_origin"}, {0x200B, "MIPS_has_inlines"},
    {0x200C, "MIPS_stride_byte"}, {0x200D, "MIPS_stride_elem"}, {0x200E, "MIPS_ptr_dopetype"},
    {0x200F, "MIPS_allocatable_dopetype"}, {0x2010, "MIPS_assumed_shape_dopetype"},
    {0x2011, "MIPS_assumed_size"}, {0x2101, "sf_names"}, {0x2102, "src_info"}, {0x2103, "mac_info"},
    {0x2104, "src_coords"}, {0x2105, "body_begin"}, {0x2106, "body_end"}, {0x2107, "GNU_vector"},
    {0x2108, "GNU_guarded_by"}, {0x2109, "GNU_pt_guarded_by"}, {0x210A, "GNU_guarded"},
    {0x210B, "GNU_pt_guarded"}, {0x210C, "GNU_locks_excluded"}, {0x210D, "GNU_exclusive_locks_required"},
    {0x210E, "GNU_shared_locks_required"}, {0x210F, "GNU_odr_signature"}, {0x2110, "GNU_template_name"},
    {0x2111, "GNU_call_site_value"}, {0x2112, "GNU_call_site_data_value"}, {0x2113, "GNU_call_site_target"},
    {0x2114, "GNU_call_site_target_clobbered"}, {0x2115, "GNU_tail_call"},
    {0x2116, "GNU_all_tail_call_sites"}, {0x2117, "GNU_all_call_sites"},
    {0x2118, "GNU_all_source_call_sites"}, {0x2119, "GNU_macros"}, {0x3FFF, "hi_user"},
};

constexpr NameRow kTagNames[] = {
    {0x1, "array_type"}, {0x2, "class_type"}, {0x4, "enumeration_type"}, {0x5, "formal_parameter"},
    {0xA, "label"}, {0xB, "lexical_block"}, {0xD, "member"}, {0xF, "pointer_type"}, {0x10, "reference_type"},
    {0x11, "compiler_unit"}, {0x13, "structure_type"}, {0x15, "subroutine_type"}, {0x16, "typedef"},
    {0x17, "union_type"}, {0x18, "unspecified_parameters"}, {0x1C, "inheritance"},
    {0x1D, "inlined_subroutine"}, {0x1F, "ptr_to_member_type"}, {0x21, "subrange_type"},
    {0x23, "access_declaration"}, {0x24, "base_type"}, {0x25, "catch_block"}, {0x26, "const_type"},
    {0x27, "constant"}, {0x28, "enumerator"}, {0x2A, "friend"}, {0x2E, "subprogram"},
    {0x2F, "template_type_param"}, {0x30, "template_value_param"}, {0x31, "thrown_type"}, {0x32, "try_block"},
    {0x34, "variable"}, {0x35, "volatile_type"}, {0x36, "dwarf_procedure"}, {0x37, "restrict_type"},
    {0x38, "interface_type"}, {0x39, "namespace"}, {0x3A, "imported_module"}, {0x3B, "unspecified_type"},
    {0x3C, "partial_unit"}, {0x3D, "imported_unit"}, {0x3E, "mutable_type"}, {0x3F, "condition"},
    {0x40, "shared_type"}, {0x41, "type_unit"}, {0x42, "rvalue_reference_type"}, {0x43, "template_alias"},
    {0x44, "coarray_type"}, {0x45, "generic_subrange"}, {0x46, "dynamic_type"}, {0x47, "atomic_type"},
    {0x48, "call_site"}, {0x49, "call_site_parameter"}, {0x4A, "skeleton_unit"}, {0x4B, "immutable_type"},
    {0x4080, "lo_user"}, {0x4081, "MIPS_loop"}, {0x4101, "format_label"}, {0x4102, "function_template"},
    {0x4103, "class_template"}, {0x4104, "GNU_BINCL"}, {0x4105, "GNU_EINCL"},
    {0x4106, "GNU_template_template_param"}, {0x4107, "GNU_template_parameter_pack"},
    {0x4108, "GNU_formal_parameter_pack"}, {0x4109, "GNU_call_site"}, {0x410A, "GNU_call_site_parameter"},
    {0xFFFF, "hi_user"},
};

constexpr NameRow kFormNames[] = {
    {0x01, "addr"},     {0x03, "block2"},   {0x04, "block4"},      {0x05, "data2"},    {0x06, "data4"},
    {0x07, "data8"},    {0x08, "string"},   {0x09, "block"},       {0x0A, "block1"},   {0x0B, "data1"},
    {0x0C, "flag"},     {0x0D, "sdata"},    {0x0E, "strp"},        {0x0F, "udata"},    {0x10, "ref_addr"},
    {0x11, "ref1"},     {0x12, "ref2"},     {0x13, "ref4"},        {0x14, "ref8"},     {0x15, "ref_udata"},
    {0x16, "indirect"}, {0x17, "sec_offset"}, {0x18, "exprloc"},   {0x19, "flag_present"},
    {0x1A, "strx"},     {0x1B, "addrx"},    {0x1C, "ref_sup4"},    {0x1D, "strp_sup"}, {0x1E, "data16"},
    {0x1F, "line_strp"}, {0x20, "ref_sig8"}, {0x21, "implicit_const"}, {0x22, "loclistx"},
    {0x23, "rnglistx"}, {0x24, "ref_sup8"}, {0x25, "strx1"},      {0x26, "strx2"},    {0x27, "strx3"},
    {0x28, "strx4"},    {0x29, "addrx1"},   {0x2A, "addrx2"},      {0x2B, "addrx3"},   {0x2C, "addrx4"},
};

constexpr NameRow kEncodingNames[] = {
    {0x02, "boolean"}, {0x04, "float"},    {0x05, "signed"},
    {0x06, "signed_char"}, {0x07, "unsigned"}, {0x08, "undigned_char"},
};

template <size_t N>
std::string_view find_name(const NameRow (&rows)[N], uint32_t code) {
    size_t lo = 0, hi = N;
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        if (rows[mid].code < code) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return (lo < N && rows[lo].code == code) ? rows[lo].name : std::string_view();
}

// Appends prefix + name + "(0x%02X)" and pads with spaces as the label's
// format would be padded to `width` characters: the padding is counted
// against the format (where the code takes four characters), so a code of
// three or more digits makes the label longer by the extra digits.
void append_label(std::string& text, std::string_view prefix, std::string_view name, uint32_t code, size_t width) {
    // The names come from the tables above: prefix, name, code and padding
    // fit the stack buffer, and the label is appended in one step.
    char buf[160];
    const size_t np = prefix.size(), nn = name.size();
    const size_t format_length = np + nn + 8;  // "(0x%02X)"
    if (np + nn + 16 > sizeof buf || width + 8 > sizeof buf) {
        text += prefix;
        text += name;
        text += "(0x";
        append_hex(text, code, 2);
        text += ')';
        if (format_length < width) text.append(width - format_length, ' ');
        return;
    }
    char* p = buf;
    std::memcpy(p, prefix.data(), np);
    p += np;
    std::memcpy(p, name.data(), nn);
    p += nn;
    *p++ = '(';
    *p++ = '0';
    *p++ = 'x';
    if (code < 0x10) *p++ = '0';
    p = put_hex(p, code);
    *p++ = ')';
    if (format_length < width) {
        // The padding counts the code as two digits, however many it has.
        const size_t pad = width - format_length;
        std::memset(p, ' ', pad);
        p += pad;
    }
    text.append(buf, static_cast<size_t>(p - buf));
}

}  // namespace

void append_attribute_label(std::string& text, uint32_t code) {
    const std::string_view name = find_name(kAttributeNames, code);
    if (name.empty()) {
        append_label(text, "DW_AT_", "??????", code, 44);
        return;
    }
    // DWARF 2 and 3 attributes share one width; DWARF 4 and the vendor
    // ranges a wider one.
    append_label(text, "DW_AT_", name, code, code <= 0x68 ? 35 : 44);
}

void append_tag_label(std::string& text, uint32_t code) {
    const std::string_view name = find_name(kTagNames, code);
    if (name.empty()) {
        append_label(text, "DW_TAG_", "??????", code, 38);
        return;
    }
    size_t width = code <= 0x35 ? 38 : 42;
    if (code == DW_TAG_typedef) width = 37;
    append_label(text, "DW_TAG_", name, code, width);
}

void append_form_label(std::string& text, uint32_t code) {
    const std::string_view name = find_name(kFormNames, code);
    if (name.empty()) {
        append_label(text, "DW_", "??????", code, 26);
        return;
    }
    size_t width = 26;
    if (code == DW_FORM_exprloc) width = 25;
    if (code == DW_FORM_flag_present) width = 28;
    append_label(text, "DW_FORM_", name, code, width);
}

void append_encoding_label(std::string& text, uint32_t code) {
    const std::string_view name = find_name(kEncodingNames, code);
    append_label(text, "DW_ATE_", name.empty() ? std::string_view("??????") : name, code, 29);
}

void attribute_label(std::string& dest, uint32_t code) {
    dest.clear();
    append_attribute_label(dest, code);
}

void tag_label(std::string& dest, uint32_t code) {
    dest.clear();
    append_tag_label(dest, code);
}

void form_label(std::string& dest, uint32_t code) {
    dest.clear();
    append_form_label(dest, code);
}

void encoding_label(std::string& dest, uint32_t code) {
    dest.clear();
    append_encoding_label(dest, code);
}
