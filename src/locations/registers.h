// Register names and register-relative operand texts by target.
//
// The debugger names registers by the target's own names and writes a
// register-relative place as "@(.offset+Rn)". The register set is chosen by
// the target machine code (ElfHeader::e_machine): 80 ARM, 173 RX, 42 SH,
// 46 H8/300, anything else H8/300H and H8S. Numbers and offsets are decimal,
// offsets with a minus sign when negative.
//
// Each name_* function APPENDS its text to `text` and returns true; where the
// target's table has no text for the number it appends nothing and returns
// false. name_location is the exception: it REPLACES `text` (the entry's
// `regn`) when there is a text and leaves it alone otherwise.
#pragma once

#include <cstdint>
#include <string>

// DW_OP_reg0..DW_OP_reg31: "R<n>", or "ER<n>" on H8/300H/H8S.
bool name_reg(std::string& text, uint32_t machine, unsigned code);
// DW_OP_breg0..DW_OP_breg31 with an offset: "@(.<off>+R<n>)"
// ("@(.<off>+ER<n>)" on H8/300H/H8S).
bool name_breg(std::string& text, uint32_t machine, unsigned code, int32_t offset);
// DW_OP_regx with a register number (the target's full register table).
bool name_regx(std::string& text, uint32_t machine, uint32_t reg);
// DW_OP_fbreg with an offset: "@(.<off>+FB)" on every target.
bool name_fbreg(std::string& text, uint32_t machine, int32_t offset);
// DW_OP_bregx with the register number's low byte and an offset:
// "@(.<off>+R<n>)" on ARM and SH, "@(R<off>+R<n>)" on RX, nothing on H8.
bool name_bregx(std::string& text, uint32_t machine, uint8_t reg_low_byte, int32_t offset);

// The register text of a decoded location (code, op1, op2 as stored in a
// symbol entry's regcode/regop1/regop2 or in a LocOpResult):
//   DW_OP_regN name_reg; DW_OP_bregN name_breg with op1 as offset;
//   DW_OP_regx name_regx of op1; DW_OP_fbreg name_fbreg with op1;
//   DW_OP_bregx name_bregx with op1's low byte and op2 as offset; other codes nothing.
// Replaces `regn` when a text results; otherwise `regn` keeps its value.
// Returns whether `regn` was set.
bool name_location(std::string& regn, uint32_t machine, int32_t code, int32_t op1, int32_t op2);
