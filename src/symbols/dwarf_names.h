// The fixed-width labels of DWARF codes in trace lines.
//
// A label is the DWARF name, "(0x", the code in upper-case hex with at least
// two digits, ")" and trailing spaces that pad the labels of one group to the
// same width, so trace columns line up for codes below 0x100. The spellings
// are those the debugger's tools expect, including "DW_AT_declaretion",
// "DW_TAG_compiler_unit" and "DW_ATE_undigned_char".
#pragma once

#include <cstdint>
#include <string>

#include "common/dwarf_codes.h"

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
