// DWARF location expressions: one operation at a time.
//
// decode_loc_op reads one DW_OP code and its operands, appends the trace
// text naming them, and fills the operation result that tells the symbol
// builder where the object lives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/bytes.h"
#include "elf/elf_reader.h"

// The result of decoding location operations.
//
// The debugger's record is three fields laid out back to back with no
// padding: `code` (2 bytes), `op1` (4 bytes), `op2` (4 bytes), 10 bytes in
// all. Register, frame and piece operations set the fields by name.
// Operations that carry a constant or an address store that value at the
// start of the record in host byte order, over `code` and, for values wider
// than 2 bytes, the first bytes of `op1` (an 8-byte constant also covers the
// rest of `op1` and the first 2 bytes of `op2`). Use loc_result_value to read
// such a value back. Fields an operation does not set keep their contents, so
// clear the record (LocOpResult{}) before the first operation when needed.
struct LocOpResult {
    uint16_t code = 0;  // DW_OP code of a register, frame or piece operation
    int32_t op1 = 0;    // register number, offset or size
    int32_t op2 = 0;    // the offset of DW_OP_bregx
};

constexpr size_t kLocResultBytes = 10;

// Stores `count` bytes (at most 10) at the start of the 10-byte record, in
// the order given: the record's other bytes stay as they were.
void loc_result_store_bytes(LocOpResult& result, const uint8_t* bytes, size_t count);
// Stores the low `size` bytes (1, 2, 4) of `value` in host byte order at the
// start of the record.
void loc_result_store_value(LocOpResult& result, uint32_t value, size_t size);
// Reads back a value stored at the start of the record: the first 2 bytes
// when size is 2, the first byte when size is 1, otherwise the first 4 bytes
// (host byte order, zero-extended). The walk takes a DW_OP_addr address with
// size = the address size.
uint32_t loc_result_value(const LocOpResult& result, size_t size);

// What decoding depends on besides the bytes: the register set of the
// target (its machine code, ElfHeader::e_machine) and the address size.
struct LocTarget {
    uint32_t machine = kMachineSH;
    unsigned address_size = 4;
    // The operations DWARF 5 added (DW_OP_addrx ... DW_OP_reinterpret) are
    // read with their operands. Location lists take them in any version
    // (compilers write DW_OP_entry_value there in DWARF 2 to 4 as well);
    // the blocks of a unit older than 5 do not, where such a byte is data
    // of a block that is no expression (DW_AT_const_value).
    bool dwarf5_ops = true;
};
inline LocTarget loc_target(const ElfInfo& elf) { return LocTarget{elf.header.e_machine, elf.address_size}; }

// Decodes the operation at `expr.pos` and moves `expr` past it.
//
// `expr` must be bounded to the expression being decoded (a list entry's
// `length` bytes, or an attribute's block): operands never read past its end.
// An operation whose operands are cut by the end reads as far as the data
// goes (missing bytes count as 0), leaves `expr` at its end and sets
// `expr.overrun`; the caller then stops decoding that expression (and warns).
// Called with `expr` already at its end (an empty block), it appends nothing,
// changes nothing and only sets `expr.overrun`.
//
// `text` is appended to, never cleared: the operation's trace label with its
// trailing blanks, and for register operations the register text of the
// target (see registers.h). Only the result fields the operation names are
// written. Returns expr.pos after the operation.
size_t decode_loc_op(const LocTarget& target, std::string& text, LocOpResult& result, ByteReader& expr);
// The same, rendering the text only when `want_text` (the trace needs it).
size_t decode_loc_op(const LocTarget& target, std::string& text, LocOpResult& result, ByteReader& r,
                     bool want_text);
