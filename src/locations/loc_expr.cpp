#include "locations/loc_expr.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/dwarf_codes.h"
#include "common/format.h"
#include "locations/registers.h"

namespace {

bool host_little_endian() {
    const uint16_t one = 1;
    uint8_t first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

void to_bytes(const LocOpResult& r, uint8_t (&b)[kLocResultBytes]) {
    std::memcpy(b, &r.code, 2);
    std::memcpy(b + 2, &r.op1, 4);
    std::memcpy(b + 6, &r.op2, 4);
}

void from_bytes(LocOpResult& r, const uint8_t (&b)[kLocResultBytes]) {
    std::memcpy(&r.code, b, 2);
    std::memcpy(&r.op1, b + 2, 4);
    std::memcpy(&r.op2, b + 6, 4);
}

// Operations that take no operands and leave the result alone: only their
// label, which prints the code.
struct PlainOp {
    uint8_t code;
    const char* format;
};

constexpr PlainOp kPlainOps[] = {
    {DW_OP_deref, "DW_OP_deref(0x%X)       "},
    {DW_OP_dup, "DW_OP_dup(0x%X)         "},
    {DW_OP_drop, "DW_OP_drop(0x%X)        "},
    {DW_OP_over, "DW_OP_over(0x%X)        "},
    {DW_OP_swap, "DW_OP_swap(0x%X)        "},
    {DW_OP_rot, "DW_OP_rot(0x%X)         "},
    {DW_OP_xderef, "DW_OP_xderef(0x%X)      "},
    {DW_OP_abs, "DW_OP_abs(0x%X)         "},
    {DW_OP_and, "DW_OP_and(0x%X)         "},
    {DW_OP_div, "DW_OP_div(0x%X)         "},
    {DW_OP_minus, "DW_OP_minus(0x%X)       "},
    {DW_OP_mod, "DW_OP_mod(0x%X)         "},
    {DW_OP_mul, "DW_OP_mul(0x%X)         "},
    {DW_OP_neg, "DW_OP_neg(0x%X)         "},
    {DW_OP_not, "DW_OP_not(0x%X)         "},
    {DW_OP_or, "DW_OP_or(0x%X)          "},
    {DW_OP_plus, "DW_OP_plus(0x%X)        "},
    {DW_OP_shl, "DW_OP_shl(0x%X)         "},
    {DW_OP_shr, "DW_OP_shr(0x%X)         "},
    {DW_OP_shra, "DW_OP_shra(0x%X)        "},
    {DW_OP_xor, "DW_OP_xor(0x%X)         "},
    {DW_OP_eq, "DW_OP_eq(0x%X)          "},
    {DW_OP_ge, "DW_OP_ge(0x%X)          "},
    {DW_OP_gt, "DW_OP_gt(0x%X)          "},
    {DW_OP_le, "DW_OP_le(0x%X)          "},
    {DW_OP_lt, "DW_OP_lt(0x%X)          "},
    {DW_OP_ne, "DW_OP_ne(0x%X)          "},
    {DW_OP_nop, "DW_OP_nop(0x%X)         "},
    {DW_OP_push_object_address, "DW_OP_push_object_address(0x%X)"},
    {DW_OP_form_tls_address, "DW_OP_form_tls_address(0x%X)"},
    {DW_OP_call_frame_cfa, "DW_OP_call_frame_cfa(0x%X)"},
    {DW_OP_lo_user, "DW_OP_lo_user(0x%X)     "},
    {DW_OP_hi_user, "DW_OP_hi_user(0x%X)     "},
};

// Row of each operation code in a table, or -1: one lookup per operation
// instead of a search.
template <typename Row, size_t N>
constexpr std::array<int8_t, 256> index_by_code(const Row (&rows)[N]) {
    std::array<int8_t, 256> index{};
    for (auto& slot : index) slot = -1;
    for (size_t i = 0; i < N; ++i) index[rows[i].code] = static_cast<int8_t>(i);
    return index;
}

constexpr std::array<int8_t, 256> kPlainIndex = index_by_code(kPlainOps);

// Writes an operation's table format, whose conversions are "%X" (the
// code) and, after it, "%s" (the operand text), as printf would, in one
// append. Any other format goes to printf.
void append_op_text(std::string& text, const char* format, unsigned code, const char* operand = "") {
    char buf[192];
    char* p = buf;
    bool code_done = false, operand_done = false;
    for (const char* f = format;;) {
        const char* pct = std::strchr(f, '%');
        const size_t n = pct ? static_cast<size_t>(pct - f) : std::strlen(f);
        if (n > static_cast<size_t>(buf + sizeof buf - 16 - p)) return append_printf(text, format, code, operand);
        std::memcpy(p, f, n);
        p += n;
        if (!pct) break;
        if (pct[1] == 'X' && !code_done && !operand_done) {
            p = put_hex(p, code);
            code_done = true;
        } else if (pct[1] == 's' && code_done && !operand_done) {
            const size_t length = std::strlen(operand);
            if (length > static_cast<size_t>(buf + sizeof buf - 16 - p)) return append_printf(text, format, code, operand);
            std::memcpy(p, operand, length);
            p += length;
            operand_done = true;
        } else {
            return append_printf(text, format, code, operand);
        }
        f = pct + 2;
    }
    text.append(buf, static_cast<size_t>(p - buf));
}

const char* plain_op_format(unsigned code) {
    const int i = code < 256 ? kPlainIndex[code] : -1;
    return i < 0 ? nullptr : kPlainOps[i].format;
}

// Operations whose operands are `size` fixed bytes, shown in hexadecimal in
// file order and stored as a constant (target byte order, then host order in
// the record). The 8-byte constants are copied as they stand in the file.
struct ConstOp {
    uint8_t code;
    uint8_t size;
    const char* format;
};

constexpr ConstOp kConstOps[] = {
    {DW_OP_const1u, 1, "DW_OP_const1u(0x%X)[%s] "},
    {DW_OP_const1s, 1, "DW_OP_const1s(0x%X)[%s] "},
    {DW_OP_const2u, 2, "DW_OP_const2u(0x%X)[%s] "},
    {DW_OP_const2s, 2, "DW_OP_const2s(0x%X)[%s] "},
    {DW_OP_const4u, 4, "DW_OP_const4u(0x%X)[%s] "},
    {DW_OP_const4s, 4, "DW_OP_const4s(0x%X)[%s] "},
    {DW_OP_const8u, 8, "DW_OP_const8u(0x%X)[%s] "},
    {DW_OP_const8s, 8, "DW_OP_const8s(0x%X)[%s] "},
    {DW_OP_pick, 1, "DW_OP_pick(0x%X)[%s]    "},
    {DW_OP_bra, 2, "DW_OP_bra(0x%X)[%s]     "},
    {DW_OP_skip, 2, "DW_OP_skip(0x%X)[%s]    "},
};

constexpr std::array<int8_t, 256> kConstIndex = index_by_code(kConstOps);

const ConstOp* const_op(unsigned code) {
    const int i = code < 256 ? kConstIndex[code] : -1;
    return i < 0 ? nullptr : &kConstOps[i];
}

// Operations of DWARF 3 to 5 and GNU operations that only need their
// operands stepped over: the label, then the operand bytes in hexadecimal.
enum class Operands : uint8_t {
    uleb,            // one ULEB128
    uleb_block,      // a ULEB128 length, then that many bytes
    uleb_uleb,       // two ULEB128s
    byte_uleb,       // a 1-byte size, then a ULEB128
    uleb_byte_block, // a ULEB128, a 1-byte length, then that many bytes
    offset4,         // a 4-byte .debug_info offset
};
struct SteppedOp {
    uint8_t code;
    Operands operands;
    const char* label;
};
constexpr SteppedOp kSteppedOps[] = {
    {DW_OP_addrx, Operands::uleb, "DW_OP_addrx"},
    {DW_OP_constx, Operands::uleb, "DW_OP_constx"},
    {DW_OP_entry_value, Operands::uleb_block, "DW_OP_entry_value"},
    {DW_OP_const_type, Operands::uleb_byte_block, "DW_OP_const_type"},
    {DW_OP_regval_type, Operands::uleb_uleb, "DW_OP_regval_type"},
    {DW_OP_deref_type, Operands::byte_uleb, "DW_OP_deref_type"},
    {DW_OP_xderef_type, Operands::byte_uleb, "DW_OP_xderef_type"},
    {DW_OP_convert, Operands::uleb, "DW_OP_convert"},
    {DW_OP_reinterpret, Operands::uleb, "DW_OP_reinterpret"},
    {DW_OP_GNU_variable_value, Operands::offset4, "DW_OP_GNU_variable_value"},
    {DW_OP_GNU_addr_index, Operands::uleb, "DW_OP_GNU_addr_index"},
    {DW_OP_GNU_const_index, Operands::uleb, "DW_OP_GNU_const_index"},
};
constexpr std::array<int8_t, 256> kSteppedIndex = index_by_code(kSteppedOps);

const SteppedOp* stepped_op(unsigned code) {
    const int i = code < 256 ? kSteppedIndex[code] : -1;
    return i < 0 ? nullptr : &kSteppedOps[i];
}

void step_operands(ByteReader& r, Operands operands) {
    switch (operands) {
    case Operands::uleb: read_uleb128(r); break;
    case Operands::uleb_block: skip(r, read_uleb128(r)); break;
    case Operands::uleb_uleb:
        read_uleb128(r);
        read_uleb128(r);
        break;
    case Operands::byte_uleb:
        read_u8(r);
        read_uleb128(r);
        break;
    case Operands::uleb_byte_block:
        read_uleb128(r);
        skip(r, read_u8(r));
        break;
    case Operands::offset4: skip(r, 4); break;
    }
}

// Operations that push a constant.
bool is_constant_push(unsigned code) {
    return (code >= DW_OP_lit0 && code <= DW_OP_lit31) || (code >= DW_OP_const1u && code <= DW_OP_consts);
}

// Operations that make an expression describe a value instead of a place.
bool makes_value(unsigned code) {
    switch (code) {
    case DW_OP_stack_value:
    case DW_OP_implicit_value:
    case DW_OP_entry_value:
    case DW_OP_GNU_entry_value:
    case DW_OP_implicit_pointer:
    case DW_OP_GNU_implicit_pointer:
    case DW_OP_GNU_parameter_ref: return true;
    default: return false;
    }
}

// The next `count` bytes of `r` in hexadecimal, without moving `r`; only the
// bytes that are there are shown (at most 255, as the hex renderer allows).
std::string hex_ahead(const ByteReader& r, size_t count) {
    ByteReader c = r;
    size_t n = std::min(count, r.remaining());
    std::string hex;
    format_hex_bytes(hex, c, static_cast<int>(std::min<size_t>(n, 0xFF)));
    return hex;
}

}  // namespace

void loc_result_store_bytes(LocOpResult& result, const uint8_t* bytes, size_t count) {
    uint8_t b[kLocResultBytes];
    to_bytes(result, b);
    std::memcpy(b, bytes, std::min(count, kLocResultBytes));
    from_bytes(result, b);
}

void loc_result_store_value(LocOpResult& result, uint32_t value, size_t size) {
    if (size > 4) size = 4;
    uint8_t v[4];
    bool little = host_little_endian();
    for (size_t i = 0; i < size; ++i) {
        size_t shift = little ? i : size - 1 - i;
        v[i] = static_cast<uint8_t>(value >> (8 * shift));
    }
    loc_result_store_bytes(result, v, size);
}

uint32_t loc_result_value(const LocOpResult& result, size_t size) {
    if (size != 1 && size != 2) size = 4;
    uint8_t b[kLocResultBytes];
    to_bytes(result, b);
    bool little = host_little_endian();
    uint32_t value = 0;
    for (size_t i = 0; i < size; ++i) {
        size_t shift = little ? i : size - 1 - i;
        value |= static_cast<uint32_t>(b[i]) << (8 * shift);
    }
    return value;
}

size_t decode_loc_op(const LocTarget& target, std::string& text, LocOpResult& result, ByteReader& r,
                     bool want_text) {
    // The text only feeds trace lines; without them the operands are still read and stored.
    const bool want = want_text;
    const uint32_t machine = target.machine;
    const unsigned address_size = target.address_size;
    if (r.at_end()) {
        // No operation left in the expression: nothing to name, nothing read.
        r.overrun = true;
        return r.pos;
    }
    const unsigned code = read_u8(r);

    if (const char* format = plain_op_format(code)) {
        if (want) append_op_text(text, format, code);
        return r.pos;
    }
    if (const ConstOp* op = const_op(code)) {
        const std::string hex = want ? hex_ahead(r, op->size) : std::string();
        if (op->size == 8) {
            uint8_t raw[8] = {0, 0, 0, 0, 0, 0, 0, 0};
            size_t n = std::min<size_t>(8, r.remaining());
            if (n) std::memcpy(raw, r.data + r.pos, n);
            skip(r, 8);
            loc_result_store_bytes(result, raw, 8);
        } else {
            loc_result_store_value(result, read_target(r, op->size), op->size);
        }
        if (want) append_op_text(text, op->format, code, hex.c_str());
        return r.pos;
    }
    if (const SteppedOp* op = target.later_ops ? stepped_op(code) : nullptr) {
        const size_t operands = r.pos;
        step_operands(r, op->operands);
        if (want) {
            ByteReader bytes = r;
            bytes.pos = operands;
            append_printf(text, "%s(0x%X)[%s] ", op->label, code, hex_ahead(bytes, r.pos - operands).c_str());
        }
        return r.pos;
    }
    if (code >= DW_OP_lit0 && code <= DW_OP_lit31) {
        if (want) append_printf(text, "DW_OP_lit%d(0x%X)       ", static_cast<int>(code - DW_OP_lit0), code);
        return r.pos;
    }
    if (code >= DW_OP_reg0 && code <= DW_OP_reg31) {
        if (want) append_op_text(text, "DW_OP_regn(0x%X)        ", code);
        if (want) name_reg(text, machine, code);
        result.code = static_cast<uint16_t>(code);
        result.op1 = 0;
        result.op2 = 0;
        return r.pos;
    }
    if (code >= DW_OP_breg0 && code <= DW_OP_breg31) {
        int32_t offset = read_sleb128(r);
        if (want) append_printf(text, "DW_OP_bregn(0x%X)[%d]   ", code, offset);
        if (want) name_breg(text, machine, code, offset);
        result.code = static_cast<uint16_t>(code);
        result.op1 = offset;
        result.op2 = 0;
        return r.pos;
    }

    switch (code) {
    case DW_OP_addr: {
        const std::string hex = want ? hex_ahead(r, address_size) : std::string();
        uint32_t address = read_address(r, address_size);
        if (address_size > 0) loc_result_store_value(result, address, std::min(address_size, 4u));
        if (want) append_printf(text, "DW_OP_addr(0x%X)[%s]    ", code, hex.c_str());
        break;
    }
    case DW_OP_constu: {
        uint32_t value = read_uleb128(r);
        loc_result_store_value(result, value, 4);
        if (want) append_printf(text, "DW_OP_constu(0x%X)[0x%X]  ", code, value);
        break;
    }
    case DW_OP_consts: {
        int32_t value = read_sleb128(r);
        loc_result_store_value(result, static_cast<uint32_t>(value), 4);
        if (want) append_printf(text, "DW_OP_consts(0x%X)[0x%X]  ", code, static_cast<uint32_t>(value));
        break;
    }
    case DW_OP_plus_uconst: {
        uint32_t value = read_uleb128(r);
        loc_result_store_value(result, value, 4);
        if (want) append_printf(text, "DW_OP_plus_uconst(0x%X)[0x%X] ", code, value);
        break;
    }
    case DW_OP_regx: {
        uint32_t reg = read_uleb128(r);
        if (want) append_op_text(text, "DW_OP_regx(0x%X)        ", code);
        if (want) name_regx(text, machine, reg);
        result.code = static_cast<uint16_t>(code);
        result.op1 = static_cast<int32_t>(reg);
        result.op2 = 0;
        break;
    }
    case DW_OP_fbreg: {
        int32_t offset = read_sleb128(r);
        if (want) append_printf(text, "DW_OP_fbreg(%d)       ", offset);
        if (want) name_fbreg(text, machine, offset);
        result.code = static_cast<uint16_t>(code);
        result.op1 = offset;
        result.op2 = 0;
        break;
    }
    case DW_OP_bregx: {
        uint32_t reg = read_uleb128(r);
        int32_t offset = read_sleb128(r);
        if (want) append_printf(text, "DW_OP_bregx(0x%X)[%d][%d] ", code, static_cast<int32_t>(reg), offset);
        if (want) name_bregx(text, machine, static_cast<uint8_t>(reg & 0xFF), offset);
        result.code = static_cast<uint16_t>(code);
        result.op1 = static_cast<int32_t>(reg);
        result.op2 = offset;
        break;
    }
    case DW_OP_piece: {
        uint32_t size = read_uleb128(r);
        if (want) append_printf(text, "DW_OP_piece(0x%X)[%d]   ", code, static_cast<int32_t>(size));
        result.code = static_cast<uint16_t>(code);
        result.op1 = static_cast<int32_t>(size);
        result.op2 = 0;
        break;
    }
    case DW_OP_deref_size:
    case DW_OP_xderef_size: {
        uint32_t size = read_u8(r);
        if (want) append_printf(text, code == DW_OP_deref_size ? "DW_OP_deref_size(0x%X)[0x%X] " : "DW_OP_xderef_size(0x%X)[0x%X] ", code,
                      size);
        result.code = static_cast<uint16_t>(code);
        result.op1 = static_cast<int32_t>((static_cast<uint32_t>(result.op1) & 0xFFFF0000u) | size);
        break;
    }
    case DW_OP_call2:
        skip(r, 2);
        if (want) append_printf(text, "DW_OP_call2(0x%X)       ", code);
        break;
    case DW_OP_call4:
        skip(r, 4);
        if (want) append_printf(text, "DW_OP_call4(0x%X)       ", code);
        break;
    case DW_OP_call_ref:
        skip(r, address_size);
        if (want) append_printf(text, "DW_OP_call_ref(0x%X)    ", code);
        break;
    case DW_OP_bit_piece: {
        uint32_t size = read_uleb128(r);
        uint32_t offset = read_uleb128(r);
        if (want) append_printf(text, "DW_OP_bit_piece %d byte(%d)[%d] ", static_cast<int32_t>(size), code,
                      static_cast<int32_t>(offset));
        break;
    }
    case DW_OP_implicit_value: {
        uint32_t length = read_uleb128(r);
        // The hex renderer shows the length modulo 256 bytes; the block is skipped whole.
        const std::string hex = want ? hex_ahead(r, length & 0xFF) : std::string();
        skip(r, length);
        if (want) append_printf(text, "DW_OP_implicit_value %d byte(0x%X)[%s] ", static_cast<int32_t>(length), code,
                      hex.c_str());
        break;
    }
    case DW_OP_stack_value: if (want) text += "DW_OP_stack_value "; break;
    case DW_OP_implicit_pointer:
    case DW_OP_GNU_implicit_pointer: {
        const std::string hex = want ? hex_ahead(r, address_size) : std::string();
        skip(r, address_size);
        int32_t value = read_sleb128(r);
        if (want) append_printf(text,
                      code == DW_OP_implicit_pointer ? "DW_OP_implicit_pointer %d byte(0x%X)[%s] "
                                   : "DW_OP_GNU_implicit_pointer %d byte(0x%X)[%s] ",
                      value, code, hex.c_str());
        break;
    }
    case DW_OP_GNU_uninit: if (want) text += "DW_OP_GNU_uninit "; break;
    case DW_OP_GNU_encoded_addr: {
        // A pointer-encoding byte, then an address of the address size.
        const std::string hex = want ? hex_ahead(r, 1 + static_cast<size_t>(address_size)) : std::string();
        skip(r, 1);
        read_address(r, address_size);
        if (want) append_printf(text, "DW_OP_GNU_encoded_addr byte(0x%X)[%s] ", code, hex.c_str());
        break;
    }
    case DW_OP_GNU_entry_value: {
        uint32_t length = read_uleb128(r);
        skip(r, length);
        if (want) append_printf(text, "DW_OP_GNU_entry_value %d byte(0x%X) ", static_cast<int32_t>(length), code);
        break;
    }
    case DW_OP_GNU_const_type: {
        uint32_t type = read_uleb128(r);
        uint32_t size = read_u8(r);
        skip(r, size);
        if (want) append_printf(text, "DW_OP_GNU_const_type %d byte(%d)[%d] ", static_cast<int32_t>(size), code,
                      static_cast<int32_t>(type));
        break;
    }
    case DW_OP_GNU_regval_type: {
        uint32_t reg = read_uleb128(r);
        uint32_t type = read_uleb128(r);
        if (want) append_printf(text, "DW_OP_GNU_regval_type %d byte(%d)[%d] ", static_cast<int32_t>(reg), code,
                      static_cast<int32_t>(type));
        break;
    }
    case DW_OP_GNU_deref_type: {
        // A one-byte size, then the ULEB128 offset of the base type.
        uint32_t size = read_u8(r);
        read_uleb128(r);
        if (want) append_printf(text, "DW_OP_GNU_deref_type %d byte(%d) ", static_cast<int32_t>(size), code);
        break;
    }
    case DW_OP_GNU_convert:
    case DW_OP_GNU_reinterpret: {
        uint32_t value = read_uleb128(r);
        if (want) append_printf(text, code == DW_OP_GNU_convert ? "DW_OP_GNU_convert %d byte(%d) " : "DW_OP_GNU_reinterpret %d byte(%d) ",
                      static_cast<int32_t>(value), code);
        break;
    }
    case DW_OP_GNU_parameter_ref:
        skip(r, 4);
        if (want) append_printf(text, "DW_OP_GNU_parameter_ref(0x%X) ", code);
        break;
    default: if (want) append_op_text(text, "DW_OP_??????" "(0x%X)      ", code); break;
    }
    return r.pos;
}

bool describes_value(const LocTarget& target, ByteReader expr) {
    std::string unused;
    LocOpResult scratch;
    // A constant alone is a value, too: no compiler gives a variable's place
    // that way, but clang's DWARF 2 writes a constant's value so (its later
    // versions add DW_OP_stack_value), and a debugger would take it for an
    // address.
    if (!expr.at_end() && is_constant_push(expr.data[expr.pos])) {
        ByteReader rest = expr;
        decode_loc_op(target, unused, scratch, rest, false);
        if (!rest.overrun && rest.at_end()) return true;
    }
    while (!expr.at_end()) {
        if (makes_value(expr.data[expr.pos])) return true;
        decode_loc_op(target, unused, scratch, expr, false);
        if (expr.overrun) break;
    }
    return false;
}

size_t decode_loc_op(const LocTarget& target, std::string& text, LocOpResult& result, ByteReader& r) {
    return decode_loc_op(target, text, result, r, true);
}
