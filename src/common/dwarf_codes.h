// The DWARF codes the converter reads: tags, attributes, forms, base-type
// encodings, location operations and line-number opcodes, by the names the
// DWARF standard gives them.
#pragma once

#include <cstdint>

// unit_length values from here on are no lengths of the 32-bit format:
// 0xffffffff introduces the 64-bit format, the others are reserved.
constexpr uint32_t DW_LENGTH_lo_reserved = 0xfffffff0;
constexpr uint32_t DW_LENGTH_DWARF64 = 0xffffffff;

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
constexpr uint32_t DW_TAG_restrict_type = 0x37;
constexpr uint32_t DW_TAG_GNU_call_site = 0x4109;
constexpr uint32_t DW_TAG_GNU_call_site_parameter = 0x410a;
constexpr uint32_t DW_TAG_call_site = 0x48;
constexpr uint32_t DW_TAG_call_site_parameter = 0x49;

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
constexpr uint32_t DW_AT_data_bit_offset = 0x6b;
constexpr uint32_t DW_AT_call_origin = 0x7f;
constexpr uint32_t DW_AT_GNU_locviews = 0x2137;
constexpr uint32_t DW_AT_str_offsets_base = 0x72;  // DWARF 5 and later
constexpr uint32_t DW_AT_addr_base = 0x73;
constexpr uint32_t DW_AT_rnglists_base = 0x74;
constexpr uint32_t DW_AT_loclists_base = 0x8c;

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
constexpr uint32_t DW_FORM_strx = 0x1a;  // DWARF 5 and later
constexpr uint32_t DW_FORM_addrx = 0x1b;
constexpr uint32_t DW_FORM_ref_sup4 = 0x1c;
constexpr uint32_t DW_FORM_strp_sup = 0x1d;
constexpr uint32_t DW_FORM_data16 = 0x1e;
constexpr uint32_t DW_FORM_line_strp = 0x1f;
constexpr uint32_t DW_FORM_ref_sig8 = 0x20;
constexpr uint32_t DW_FORM_implicit_const = 0x21;
constexpr uint32_t DW_FORM_loclistx = 0x22;
constexpr uint32_t DW_FORM_rnglistx = 0x23;
constexpr uint32_t DW_FORM_ref_sup8 = 0x24;
constexpr uint32_t DW_FORM_strx1 = 0x25;
constexpr uint32_t DW_FORM_strx2 = 0x26;
constexpr uint32_t DW_FORM_strx3 = 0x27;
constexpr uint32_t DW_FORM_strx4 = 0x28;
constexpr uint32_t DW_FORM_addrx1 = 0x29;
constexpr uint32_t DW_FORM_addrx2 = 0x2a;
constexpr uint32_t DW_FORM_addrx3 = 0x2b;
constexpr uint32_t DW_FORM_addrx4 = 0x2c;

// Unit types of DWARF 5 unit headers.
constexpr uint8_t DW_UT_compile = 0x01;
constexpr uint8_t DW_UT_type = 0x02;
constexpr uint8_t DW_UT_partial = 0x03;
constexpr uint8_t DW_UT_skeleton = 0x04;
constexpr uint8_t DW_UT_split_compile = 0x05;
constexpr uint8_t DW_UT_split_type = 0x06;

// Entries of DWARF 5 location lists (.debug_loclists).
constexpr uint8_t DW_LLE_end_of_list = 0x00;
constexpr uint8_t DW_LLE_base_addressx = 0x01;
constexpr uint8_t DW_LLE_startx_endx = 0x02;
constexpr uint8_t DW_LLE_startx_length = 0x03;
constexpr uint8_t DW_LLE_offset_pair = 0x04;
constexpr uint8_t DW_LLE_default_location = 0x05;
constexpr uint8_t DW_LLE_base_address = 0x06;
constexpr uint8_t DW_LLE_start_end = 0x07;
constexpr uint8_t DW_LLE_start_length = 0x08;
constexpr uint8_t DW_LLE_GNU_view_pair = 0x09;  // the location views of the next entry

// Entries of DWARF 5 range lists (.debug_rnglists).
constexpr uint8_t DW_RLE_end_of_list = 0x00;
constexpr uint8_t DW_RLE_base_addressx = 0x01;
constexpr uint8_t DW_RLE_startx_endx = 0x02;
constexpr uint8_t DW_RLE_startx_length = 0x03;
constexpr uint8_t DW_RLE_offset_pair = 0x04;
constexpr uint8_t DW_RLE_base_address = 0x05;
constexpr uint8_t DW_RLE_start_end = 0x06;
constexpr uint8_t DW_RLE_start_length = 0x07;

// Content types of the directory and file entry formats of DWARF 5 line
// program headers.
constexpr uint32_t DW_LNCT_path = 0x1;
constexpr uint32_t DW_LNCT_directory_index = 0x2;
constexpr uint32_t DW_LNCT_timestamp = 0x3;
constexpr uint32_t DW_LNCT_size = 0x4;
constexpr uint32_t DW_LNCT_MD5 = 0x5;

// Base-type encodings.
constexpr uint32_t DW_ATE_address = 0x01;
constexpr uint32_t DW_ATE_boolean = 0x02;
constexpr uint32_t DW_ATE_complex_float = 0x03;
constexpr uint32_t DW_ATE_float = 0x04;
constexpr uint32_t DW_ATE_signed = 0x05;
constexpr uint32_t DW_ATE_signed_char = 0x06;
constexpr uint32_t DW_ATE_unsigned = 0x07;
constexpr uint32_t DW_ATE_unsigned_char = 0x08;

// Location operations.
constexpr uint8_t DW_OP_addr = 0x03;
constexpr uint8_t DW_OP_deref = 0x06;
constexpr uint8_t DW_OP_const1u = 0x08;
constexpr uint8_t DW_OP_const1s = 0x09;
constexpr uint8_t DW_OP_const2u = 0x0a;
constexpr uint8_t DW_OP_const2s = 0x0b;
constexpr uint8_t DW_OP_const4u = 0x0c;
constexpr uint8_t DW_OP_const4s = 0x0d;
constexpr uint8_t DW_OP_const8u = 0x0e;
constexpr uint8_t DW_OP_const8s = 0x0f;
constexpr uint8_t DW_OP_constu = 0x10;
constexpr uint8_t DW_OP_consts = 0x11;
constexpr uint8_t DW_OP_dup = 0x12;
constexpr uint8_t DW_OP_drop = 0x13;
constexpr uint8_t DW_OP_over = 0x14;
constexpr uint8_t DW_OP_pick = 0x15;
constexpr uint8_t DW_OP_swap = 0x16;
constexpr uint8_t DW_OP_rot = 0x17;
constexpr uint8_t DW_OP_xderef = 0x18;
constexpr uint8_t DW_OP_abs = 0x19;
constexpr uint8_t DW_OP_and = 0x1a;
constexpr uint8_t DW_OP_div = 0x1b;
constexpr uint8_t DW_OP_minus = 0x1c;
constexpr uint8_t DW_OP_mod = 0x1d;
constexpr uint8_t DW_OP_mul = 0x1e;
constexpr uint8_t DW_OP_neg = 0x1f;
constexpr uint8_t DW_OP_not = 0x20;
constexpr uint8_t DW_OP_or = 0x21;
constexpr uint8_t DW_OP_plus = 0x22;
constexpr uint8_t DW_OP_plus_uconst = 0x23;
constexpr uint8_t DW_OP_shl = 0x24;
constexpr uint8_t DW_OP_shr = 0x25;
constexpr uint8_t DW_OP_shra = 0x26;
constexpr uint8_t DW_OP_xor = 0x27;
constexpr uint8_t DW_OP_bra = 0x28;
constexpr uint8_t DW_OP_eq = 0x29;
constexpr uint8_t DW_OP_ge = 0x2a;
constexpr uint8_t DW_OP_gt = 0x2b;
constexpr uint8_t DW_OP_le = 0x2c;
constexpr uint8_t DW_OP_lt = 0x2d;
constexpr uint8_t DW_OP_ne = 0x2e;
constexpr uint8_t DW_OP_skip = 0x2f;
constexpr uint8_t DW_OP_lit0 = 0x30;
constexpr uint8_t DW_OP_lit31 = 0x4f;
constexpr uint8_t DW_OP_reg0 = 0x50;
constexpr uint8_t DW_OP_reg7 = 0x57;
constexpr uint8_t DW_OP_reg31 = 0x6f;
constexpr uint8_t DW_OP_breg0 = 0x70;
constexpr uint8_t DW_OP_breg31 = 0x8f;
constexpr uint8_t DW_OP_regx = 0x90;
constexpr uint8_t DW_OP_fbreg = 0x91;
constexpr uint8_t DW_OP_bregx = 0x92;
constexpr uint8_t DW_OP_piece = 0x93;
constexpr uint8_t DW_OP_deref_size = 0x94;
constexpr uint8_t DW_OP_xderef_size = 0x95;
constexpr uint8_t DW_OP_nop = 0x96;
constexpr uint8_t DW_OP_push_object_address = 0x97;
constexpr uint8_t DW_OP_call2 = 0x98;
constexpr uint8_t DW_OP_call4 = 0x99;
constexpr uint8_t DW_OP_call_ref = 0x9a;
constexpr uint8_t DW_OP_form_tls_address = 0x9b;
constexpr uint8_t DW_OP_call_frame_cfa = 0x9c;
constexpr uint8_t DW_OP_bit_piece = 0x9d;
constexpr uint8_t DW_OP_implicit_value = 0x9e;
constexpr uint8_t DW_OP_stack_value = 0x9f;
constexpr uint8_t DW_OP_implicit_pointer = 0xa0;
constexpr uint8_t DW_OP_addrx = 0xa1;
constexpr uint8_t DW_OP_constx = 0xa2;
constexpr uint8_t DW_OP_entry_value = 0xa3;
constexpr uint8_t DW_OP_const_type = 0xa4;
constexpr uint8_t DW_OP_regval_type = 0xa5;
constexpr uint8_t DW_OP_deref_type = 0xa6;
constexpr uint8_t DW_OP_xderef_type = 0xa7;
constexpr uint8_t DW_OP_convert = 0xa8;
constexpr uint8_t DW_OP_reinterpret = 0xa9;
constexpr uint8_t DW_OP_lo_user = 0xe0;
constexpr uint8_t DW_OP_GNU_uninit = 0xf0;
constexpr uint8_t DW_OP_GNU_encoded_addr = 0xf1;
constexpr uint8_t DW_OP_GNU_implicit_pointer = 0xf2;
constexpr uint8_t DW_OP_GNU_entry_value = 0xf3;
constexpr uint8_t DW_OP_GNU_const_type = 0xf4;
constexpr uint8_t DW_OP_GNU_regval_type = 0xf5;
constexpr uint8_t DW_OP_GNU_deref_type = 0xf6;
constexpr uint8_t DW_OP_GNU_convert = 0xf7;
constexpr uint8_t DW_OP_GNU_variable_value = 0xf8;
constexpr uint8_t DW_OP_GNU_reinterpret = 0xf9;
constexpr uint8_t DW_OP_GNU_parameter_ref = 0xfa;
constexpr uint8_t DW_OP_GNU_addr_index = 0xfb;
constexpr uint8_t DW_OP_GNU_const_index = 0xfc;
constexpr uint8_t DW_OP_hi_user = 0xff;

// Standard opcodes of line-number programs.
constexpr uint8_t DW_LNS_extended_op = 0x00;  // introduces an extended opcode
constexpr uint8_t DW_LNS_copy = 0x01;
constexpr uint8_t DW_LNS_advance_pc = 0x02;
constexpr uint8_t DW_LNS_advance_line = 0x03;
constexpr uint8_t DW_LNS_set_file = 0x04;
constexpr uint8_t DW_LNS_set_column = 0x05;
constexpr uint8_t DW_LNS_negate_stmt = 0x06;
constexpr uint8_t DW_LNS_set_basic_block = 0x07;
constexpr uint8_t DW_LNS_const_add_pc = 0x08;
constexpr uint8_t DW_LNS_fixed_advance_pc = 0x09;
constexpr uint8_t DW_LNS_set_prologue_end = 0x0a;    // DWARF 3 and later
constexpr uint8_t DW_LNS_set_epilogue_begin = 0x0b;  // DWARF 3 and later
constexpr uint8_t DW_LNS_set_isa = 0x0c;             // DWARF 3 and later

// Extended opcodes of line-number programs.
constexpr uint8_t DW_LNE_end_sequence = 0x01;
constexpr uint8_t DW_LNE_set_address = 0x02;
constexpr uint8_t DW_LNE_define_file = 0x03;
