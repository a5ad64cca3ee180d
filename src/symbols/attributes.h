// Attribute values of DIEs, decoded by form.
//
// One decoder, driven by the form table (forms.h), knows the size and
// encoding of every form. It moves the reader past the value and fills an
// AttributeValue: a printable text for trace lines, the value itself (a
// number in host byte order, or the bytes of a block) and a size. The
// AttributeValue is meant to be reused for every attribute of a walk: its
// text keeps its capacity, so decoding allocates nothing once warmed up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "common/bytes.h"
#include "symbols/forms.h"

struct Session;

constexpr size_t kValueBytes = 1024;     // at most the first 1024 bytes of a block are kept
constexpr size_t kValueTextLimit = 1023; // the text never holds more characters

// Where a section lies in the image; empty when the section is absent.
struct ImageRange {
    size_t begin = 0, end = 0;
};

// What decoding a value needs besides its own bytes: the address size,
// where the string sections lie in the image and, for the forms of DWARF 5
// that index a table, the tables and the unit's offsets into them.
struct FormContext {
    unsigned address_size = 4;
    bool big_endian = false;
    const uint8_t* image = nullptr;
    size_t str_begin = 0, str_end = 0;  // image range of .debug_str (empty when absent)
    ImageRange line_str, str_offsets, addr, loclists, rnglists;
    // The unit's DW_AT_str_offsets_base, DW_AT_addr_base, DW_AT_loclists_base
    // and DW_AT_rnglists_base; without them, the first table of the
    // section (just after its header).
    uint32_t str_offsets_base = 8, addr_base = 8, loclists_base = 12, rnglists_base = 12;
};
// The context of the run's image.
FormContext form_context(const Session& s);

struct AttributeValue {
    // Trace text: the hex rendering "0xAB " of each byte in file order, "0x%X"
    // for sdata/udata, the string for string/strp, "<...>" around the text
    // of the real form for DW_FORM_indirect. At most 1023 characters.
    std::string text;
    // Numbers: the value in host byte order in the first 1, 2, 4 or 8 bytes
    // (addresses as a 32-bit value); blocks: the block's first (up to 1024)
    // bytes; strings: untouched. Bytes not written keep what they held: call
    // clear_attribute_value before a decode when zero-extended numbers are
    // needed (it clears only what the previous decodes wrote).
    uint8_t bytes[kValueBytes];
    // Width of fixed-size forms, block length, string length + 1, or the
    // number of bytes a LEB128 value occupied. Left unchanged by
    // DW_FORM_flag_present and unknown forms. A block or string cut by the
    // end of the data counts only the bytes that were there.
    int32_t size = 0;
    // How many leading bytes of `bytes` may be non-zero (maintained by the
    // decoder so clearing is cheap).
    uint32_t used = 0;
    // When false, numeric and block forms leave `text` empty (strings are
    // still copied). Set it to the trace mode to save formatting time.
    bool hex_text = true;
    // Set by the decoder when an index form named no entry of its table
    // (or the table is absent): the value is then 0 or an empty string.
    bool unresolved = false;

    AttributeValue() { std::memset(bytes, 0, sizeof bytes); }

    // The first four bytes as an unsigned number (a 1- or 2-byte value
    // zero-extended when the bytes were cleared first).
    uint32_t number() const {
        uint32_t v;
        std::memcpy(&v, bytes, 4);
        return v;
    }
    uint8_t byte() const { return bytes[0]; }
    uint64_t number64() const {
        uint64_t v;
        std::memcpy(&v, bytes, 8);
        return v;
    }
};

// Zeroes the bytes the previous decodes wrote, so `bytes` is all zero, and
// empties the text. Size is left as it is.
inline void clear_attribute_value(AttributeValue& v) {
    // Numbers take at most eight bytes: one plain store, no library call.
    const uint64_t zero = 0;
    std::memcpy(v.bytes, &zero, sizeof zero);
    if (v.used > sizeof zero) std::memset(v.bytes, 0, v.used);
    v.used = 0;
    v.text.clear();
}

// Decodes one value of form `form` at the reader's position and moves the
// reader past it. DW_FORM_indirect (even nested) is resolved: `form` then
// holds the form actually decoded. Unknown forms read nothing. The text is
// replaced. Returns the reader's new position.
//
// A value looked up in a table of the unit (strx, addrx, line_strp,
// loclistx, rnglistx) is handed on as the direct form of its class:
// `form` becomes DW_FORM_strp (the text is the string), DW_FORM_addr or
// DW_FORM_sec_offset (the offset within the list section).
//
// The reader bounds the value (normally the unit or .debug_info). A value
// cut by its end reads what is there and leaves r.overrun set; the caller
// reports it and stops reading that structure.
//
// decode_attribute is the entry point; decode_attribute_any is its general
// path, which every form and every cut value takes.
size_t decode_attribute_any(const FormContext& ctx, uint32_t& form, AttributeValue& value, ByteReader& r);

// A number read whole, stored as decode_attribute_any would store it.
template <typename T>
inline size_t store_whole_number(AttributeValue& value, T number, const ByteReader& r) {
    value.text.clear();
    value.unresolved = false;
    std::memcpy(value.bytes, &number, sizeof number);
    if (value.used < sizeof number) value.used = sizeof number;
    value.size = static_cast<int32_t>(sizeof number);
    return r.pos;
}

// Most attribute values are 1-, 2- or 4-byte numbers. When one is there whole
// and no trace text is wanted, it is stored here without a call, and
// `number` is the value zero-extended (as value.number() reads it once the
// bytes were cleared, without reading back what was just stored); false
// leaves everything to the general way.
inline bool decode_plain_number(uint32_t form, AttributeValue& value, ByteReader& r, uint32_t& number) {
    if (value.hex_text || r.pos > r.end || form >= form_table::kCount) return false;
    const unsigned width = form_table::kPlainNumberWidths[form];
    if (width == 0 || r.end - r.pos < width) return false;
    switch (width) {
    case 1: number = read_u8(r); store_whole_number(value, static_cast<uint8_t>(number), r); return true;
    case 2: number = read_target16(r); store_whole_number(value, static_cast<uint16_t>(number), r); return true;
    case 4: number = read_target32(r); store_whole_number(value, number, r); return true;
    default: return false;
    }
}

// The entry point: the plain numbers above, everything else (and every cut
// value) the general way.
inline size_t decode_attribute(const FormContext& ctx, uint32_t& form, AttributeValue& value, ByteReader& r) {
    uint32_t number = 0;
    if (decode_plain_number(form, value, r, number)) return r.pos;
    return decode_attribute_any(ctx, form, value, r);
}

// A DW_FORM_implicit_const value, whose `constant` stands in the
// abbreviation: stored as the narrowest data form that holds it (data1,
// data2, data4, or sdata when negative), the form a unit of DWARF 2 gives
// such a value; `form` becomes that form. The text is "0x%X" of the value.
void decode_implicit_const(int32_t constant, uint32_t& form, AttributeValue& value);

// A block whose first operation is DW_OP_addrx (an index into the unit's
// .debug_addr table) is rewritten to start with DW_OP_addr and the address
// it names (address-size bytes in the target byte order), the operations
// after it kept, so that it reads as the block of a unit of DWARF 2. False
// when the index names no entry (the block is then left as it was).
bool resolve_address_index(const FormContext& ctx, AttributeValue& value);

// Steps over one value exactly as decode_attribute would, without storing
// or rendering it; `form` is resolved as there. A value cut by the end of
// the reader leaves r.overrun set.
void skip_value(const FormContext& ctx, uint32_t& form, ByteReader& r);

// Reads a reference value (DW_FORM_ref1 ... DW_FORM_ref_udata, DW_FORM_ref_addr)
// as a number, resolving DW_FORM_indirect into `form`. False for a value of
// another class or one cut by the end of the reader.
bool read_reference(uint32_t& form, ByteReader& r, uint32_t& value);

// The text of a value of `form` cut by the end of its data, for the warning
// the caller prints ("DW_FORM_data4(0x06) value").
std::string cut_value_subject(uint32_t form);
