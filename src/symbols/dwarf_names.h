// DWARF codes and the fixed-width labels of trace lines.
//
// A label is the DWARF name, "(0x", the code in upper-case hex with at least
// two digits, ")" and trailing spaces that pad the labels of one group to the
// same width, so trace columns line up for codes below 0x100. The spellings
// are those the debugger's tools expect, including "DW_AT_declaretion",
// "DW_TAG_compiler_unit" and "DW_ATE_undigned_char".
#pragma once

#include <cstdint>
#include <string>

// Tags.
constexpr uint32_t DW_TAG_array_type = 0x01;
constexpr uint32_t DW_TAG_class_type = 0x02;
constexpr uint32_t DW_TAG_enumeration_type = 0x04;
constexpr uint32_t DW_TAG_formal_parameter = 0x05;
constexpr uint32_t DW_TAG_label = 0x0a;
constexpr uint32_t DW_TAG_lexical_block = 0x0b;
constexpr uint32_t DW_TAG_member = 0x0d;
constexpr uint32_t DW_TAG_pointer_type = 0x0f;
constexpr uint32_t DW_TAG_reference_type = 0x10;
constexpr uint32_t DW_TAG_compile_unit = 0x11;
constexpr uint32_t DW_TAG_structure_type = 0x13;
constexpr uint32_t DW_TAG_subroutine_type = 0x15;
constexpr uint32_t DW_TAG_typedef = 0x16;
constexpr uint32_t DW_TAG_union_type = 0x17;
constexpr uint32_t DW_TAG_unspecified_parameters = 0x18;
constexpr uint32_t DW_TAG_inlined_subroutine = 0x1d;
constexpr uint32_t DW_TAG_subrange_type = 0x21;
constexpr uint32_t DW_TAG_base_type = 0x24;
constexpr uint32_t DW_TAG_const_type = 0x26;
constexpr uint32_t DW_TAG_enumerator = 0x28;
constexpr uint32_t DW_TAG_subprogram = 0x2e;
constexpr uint32_t DW_TAG_variable = 0x34;
constexpr uint32_t DW_TAG_volatile_type = 0x35;

constexpr uint8_t DW_CHILDREN_no = 0;
constexpr uint8_t DW_CHILDREN_yes = 1;

// Attributes.
constexpr uint32_t DW_AT_sibling = 0x01;
constexpr uint32_t DW_AT_location = 0x02;
constexpr uint32_t DW_AT_name = 0x03;
constexpr uint32_t DW_AT_byte_size = 0x0b;
constexpr uint32_t DW_AT_bit_offset = 0x0c;
constexpr uint32_t DW_AT_bit_size = 0x0d;
constexpr uint32_t DW_AT_stmt_list = 0x10;
constexpr uint32_t DW_AT_low_pc = 0x11;
constexpr uint32_t DW_AT_high_pc = 0x12;
constexpr uint32_t DW_AT_language = 0x13;
constexpr uint32_t DW_AT_comp_dir = 0x1b;
constexpr uint32_t DW_AT_const_value = 0x1c;
constexpr uint32_t DW_AT_inline = 0x20;
constexpr uint32_t DW_AT_lower_bound = 0x22;
constexpr uint32_t DW_AT_producer = 0x25;
constexpr uint32_t DW_AT_prototyped = 0x27;
constexpr uint32_t DW_AT_upper_bound = 0x2f;
constexpr uint32_t DW_AT_abstract_origin = 0x31;
constexpr uint32_t DW_AT_count = 0x37;
constexpr uint32_t DW_AT_data_member_location = 0x38;
constexpr uint32_t DW_AT_decl_column = 0x39;
constexpr uint32_t DW_AT_decl_file = 0x3a;
constexpr uint32_t DW_AT_decl_line = 0x3b;
constexpr uint32_t DW_AT_declaration = 0x3c;
constexpr uint32_t DW_AT_encoding = 0x3e;
constexpr uint32_t DW_AT_external = 0x3f;
constexpr uint32_t DW_AT_frame_base = 0x40;
constexpr uint32_t DW_AT_specification = 0x47;
constexpr uint32_t DW_AT_type = 0x49;
constexpr uint32_t DW_AT_ranges = 0x55;

// Forms.
constexpr uint32_t DW_FORM_addr = 0x01;
constexpr uint32_t DW_FORM_block2 = 0x03;
constexpr uint32_t DW_FORM_block4 = 0x04;
constexpr uint32_t DW_FORM_data2 = 0x05;
constexpr uint32_t DW_FORM_data4 = 0x06;
constexpr uint32_t DW_FORM_data8 = 0x07;
constexpr uint32_t DW_FORM_string = 0x08;
constexpr uint32_t DW_FORM_block = 0x09;
constexpr uint32_t DW_FORM_block1 = 0x0a;
constexpr uint32_t DW_FORM_data1 = 0x0b;
constexpr uint32_t DW_FORM_flag = 0x0c;
constexpr uint32_t DW_FORM_sdata = 0x0d;
constexpr uint32_t DW_FORM_strp = 0x0e;
constexpr uint32_t DW_FORM_udata = 0x0f;
constexpr uint32_t DW_FORM_ref_addr = 0x10;
constexpr uint32_t DW_FORM_ref1 = 0x11;
constexpr uint32_t DW_FORM_ref2 = 0x12;
constexpr uint32_t DW_FORM_ref4 = 0x13;
constexpr uint32_t DW_FORM_ref8 = 0x14;
constexpr uint32_t DW_FORM_ref_udata = 0x15;
constexpr uint32_t DW_FORM_indirect = 0x16;
constexpr uint32_t DW_FORM_sec_offset = 0x17;
constexpr uint32_t DW_FORM_exprloc = 0x18;
constexpr uint32_t DW_FORM_flag_present = 0x19;

// Base-type encodings.
constexpr uint32_t DW_ATE_address = 0x01;
constexpr uint32_t DW_ATE_boolean = 0x02;
constexpr uint32_t DW_ATE_complex_float = 0x03;
constexpr uint32_t DW_ATE_float = 0x04;
constexpr uint32_t DW_ATE_signed = 0x05;
constexpr uint32_t DW_ATE_signed_char = 0x06;
constexpr uint32_t DW_ATE_unsigned = 0x07;
constexpr uint32_t DW_ATE_unsigned_char = 0x08;

// Each writes the label of `code` into `dest`, replacing its contents. The
// code is compared whole; a code not in the group's table gets the group's
// "??????" label.
void attribute_label(std::string& dest, uint32_t code);
void tag_label(std::string& dest, uint32_t code);
void form_label(std::string& dest, uint32_t code);
void encoding_label(std::string& dest, uint32_t code);

// The same, appending to `text`.
void append_attribute_label(std::string& text, uint32_t code);
void append_tag_label(std::string& text, uint32_t code);
void append_form_label(std::string& text, uint32_t code);
void append_encoding_label(std::string& text, uint32_t code);
