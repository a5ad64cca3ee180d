#include "symbols/attributes.h"

#include <algorithm>

#include "common/format.h"
#include "common/session.h"
#include "elf/elf_reader.h"
#include "symbols/dwarf_names.h"

namespace {

constexpr size_t kByteRenderingWidth = 5;  // "0xAB "

// Stores a number in host byte order in the first sizeof(T) bytes.
template <typename T>
void store_number(AttributeValue& v, T number) {
    std::memcpy(v.bytes, &number, sizeof number);
    if (v.used < sizeof number) v.used = sizeof number;
}

// Appends the hex rendering of the bytes [from, to) of the image, as many
// whole renderings as fit below `limit` characters of text.
void render_bytes(std::string& text, const ByteReader& r, size_t from, size_t to, size_t limit) {
    if (to <= from || text.size() >= limit) return;
    size_t room = (limit - text.size()) / kByteRenderingWidth;
    size_t count = std::min(to - from, room);
    ByteReader b = r;
    b.pos = from;
    b.end = from + count;
    format_values(text, b, static_cast<int>(count), 1, 16);
}

void append_limited(std::string& text, std::string_view part, size_t limit) {
    if (text.size() >= limit) return;
    text.append(part.data(), std::min(part.size(), limit - text.size()));
}

// The string at `offset` in .debug_str, bounded by the section; empty when
// the section is absent or the offset lies outside it.
std::string_view debug_str_at(const FormContext& ctx, uint32_t offset) {
    if (offset >= ctx.str_end - ctx.str_begin) return {};
    return cstring_at(ctx.image, ctx.str_end, ctx.str_begin + offset);
}

// The length of a block, read in the block's own layout; false for the
// layouts that are not blocks.
bool read_block_length(FormLayout layout, ByteReader& r, uint32_t& length) {
    switch (layout) {
    case FormLayout::block1: length = read_u8(r); return true;
    case FormLayout::block2: length = read_target16(r); return true;
    case FormLayout::block4: length = read_target32(r); return true;
    case FormLayout::block_uleb128: length = read_uleb128(r); return true;
    default: return false;
    }
}

// The entry of `width` bytes at `offset` within a table section; false when
// it does not lie wholly inside the section.
bool table_entry(const FormContext& ctx, const ImageRange& table, uint64_t offset, unsigned width, uint32_t& out) {
    if (table.end <= table.begin || offset + width > table.end - table.begin) return false;
    ByteReader t = make_reader(ctx.image, table.end, table.begin + static_cast<size_t>(offset), width, ctx.big_endian);
    out = read_address(t, width);
    return !t.overrun;
}

// The raw number of an index or offset form: ULEB128, 1 to 4 bytes.
uint32_t read_index(const FormRow& row, ByteReader& r) {
    if (row.layout == FormLayout::uleb128) return read_uleb128(r);
    if (row.layout == FormLayout::offset) return read_target32(r);
    return read_address(r, row.size);  // 3 bytes keep all 24 bits
}

// A value looked up in a table of the unit; returns the direct form it is
// handed on as.
uint32_t decode_through_table(const FormContext& ctx, const FormRow& row, AttributeValue& v, ByteReader& r,
                              size_t limit) {
    const size_t start = r.pos;
    const uint32_t index = read_index(row, r);
    v.size = static_cast<int32_t>(r.pos - start);
    uint32_t value = 0;
    bool found = false;
    uint32_t form = DW_FORM_sec_offset;
    switch (row.cls) {
    case FormClass::string_index:
    case FormClass::line_string: {
        uint32_t offset = index;
        found = row.cls == FormClass::line_string ||
                table_entry(ctx, ctx.str_offsets, ctx.str_offsets_base + uint64_t{index} * 4, 4, offset);
        const ImageRange strings = row.cls == FormClass::line_string ? ctx.line_str : ImageRange{ctx.str_begin, ctx.str_end};
        found = found && offset < strings.end - strings.begin;
        if (found) append_limited(v.text, cstring_at(ctx.image, strings.end, strings.begin + offset), limit);
        store_number<uint32_t>(v, offset);
        v.unresolved = !found;
        return DW_FORM_strp;
    }
    case FormClass::address_index:
        found = table_entry(ctx, ctx.addr, ctx.addr_base + uint64_t{index} * ctx.address_size, ctx.address_size, value);
        form = DW_FORM_addr;
        break;
    case FormClass::loclist_index:
    case FormClass::rnglist_index: {
        const bool loc = row.cls == FormClass::loclist_index;
        const uint32_t base = loc ? ctx.loclists_base : ctx.rnglists_base;
        found = table_entry(ctx, loc ? ctx.loclists : ctx.rnglists, base + uint64_t{index} * 4, 4, value);
        value += base;
        break;
    }
    default: break;
    }
    if (!found) value = 0;
    store_number<uint32_t>(v, value);
    v.unresolved = !found;
    if (v.hex_text && v.text.size() < limit) {
        std::string text;
        append_printf(text, "index(0x%X) [0x%08X] ", index, value);
        append_limited(v.text, text, limit);
    }
    return form;
}

// Decodes one value of a form other than DW_FORM_indirect and returns the
// form it is handed on as (the form itself unless it reads through a
// table). Text goes after what `v.text` already holds, up to `limit`
// characters.
uint32_t decode_direct(const FormContext& ctx, uint32_t form, AttributeValue& v, ByteReader& r, size_t limit) {
    const FormRow row = form_row(form);
    if (read_through_table(row.cls)) return decode_through_table(ctx, row, v, r, limit);
    const size_t start = r.pos;
    uint32_t block_length = 0;
    if (read_block_length(row.layout, r, block_length)) {
        size_t data = r.pos;
        size_t available = std::min<size_t>(block_length, r.remaining());
        skip(r, block_length);
        size_t kept = std::min(available, kValueBytes);
        if (kept) std::memcpy(v.bytes, r.data + data, kept);
        if (v.used < kept) v.used = static_cast<uint32_t>(kept);
        v.size = static_cast<int32_t>(available);
        if (v.hex_text) render_bytes(v.text, r, data, data + available, limit);
        return form;
    }

    switch (row.layout) {
    case FormLayout::uleb128:
    case FormLayout::sleb128: {
        const uint32_t number =
            row.layout == FormLayout::sleb128 ? static_cast<uint32_t>(read_sleb128(r)) : read_uleb128(r);
        store_number<uint32_t>(v, number);
        v.size = static_cast<int32_t>(r.pos - start);
        if (v.hex_text && v.text.size() < limit) {
            std::string hex = "0x";
            append_hex(hex, number);
            append_limited(v.text, hex, limit);
        }
        return form;
    }
    case FormLayout::cstring: {
        std::string_view str = read_cstring(r);
        v.size = static_cast<int32_t>(r.pos - start);  // the string and its NUL (less when cut)
        append_limited(v.text, str, limit);
        return form;
    }
    case FormLayout::none:
        // DW_FORM_flag_present is true by being there; unknown forms consume
        // nothing, and the next attribute is read from the same place.
        if (row.cls == FormClass::flag) {
            v.bytes[0] = 1;
            if (v.used < 1) v.used = 1;
        }
        return form;
    case FormLayout::fixed:
    case FormLayout::address:
    case FormLayout::offset:
        break;
    default:
        return form;
    }

    // A value of a width the form decides.
    const unsigned width = static_cast<unsigned>(fixed_value_size(row, ctx.address_size));
    if (row.layout == FormLayout::address) {
        store_number<uint32_t>(v, read_address(r, width));
    } else {
        switch (width) {
        case 1: store_number<uint8_t>(v, read_u8(r)); break;
        case 2: store_number<uint16_t>(v, read_target16(r)); break;
        case 4: store_number<uint32_t>(v, read_target32(r)); break;
        case 8: store_number<uint64_t>(v, read_target64(r)); break;
        default: {
            // Wider constants (DW_FORM_data16) keep their bytes as they stand.
            const size_t kept = std::min<size_t>({width, r.remaining(), kValueBytes});
            if (kept) std::memcpy(v.bytes, r.data + r.pos, kept);
            if (v.used < kept) v.used = static_cast<uint32_t>(kept);
            skip(r, width);
            break;
        }
        }
    }
    v.size = static_cast<int32_t>(width);
    if (row.cls == FormClass::string) {
        // An offset into .debug_str: the text is the string there.
        append_limited(v.text, debug_str_at(ctx, v.number()), limit);
        return form;
    }
    if (v.hex_text) render_bytes(v.text, r, start, r.pos, limit);
    return form;
}

}  // namespace

FormContext form_context(const Session& s) {
    FormContext ctx;
    ctx.address_size = s.elf.address_size;
    ctx.big_endian = s.elf.big_endian;
    ctx.image = s.image_bytes().data();
    size_t start = 0, length = 0;
    if (s.elf.str_index != 0 && section_bounds(s, s.elf.str_index, start, length)) {
        ctx.str_begin = start;
        ctx.str_end = start + length;
    }
    auto range_of = [&](uint16_t index, ImageRange& range) {
        if (index != 0 && section_bounds(s, index, start, length)) range = ImageRange{start, start + length};
    };
    range_of(s.elf.line_str_index, ctx.line_str);
    range_of(s.elf.str_offsets_index, ctx.str_offsets);
    range_of(s.elf.addr_index, ctx.addr);
    range_of(s.elf.loclists_index, ctx.loclists);
    range_of(s.elf.rnglists_index, ctx.rnglists);
    return ctx;
}

size_t decode_attribute_any(const FormContext& ctx, uint32_t& form, AttributeValue& value, ByteReader& r) {
    value.text.clear();
    value.unresolved = false;
    // DW_FORM_indirect names the real form in the data; it may itself be
    // indirect. Each level puts its "<" ... ">" around the inner text.
    size_t depth = 0;
    while (form_row(form).layout == FormLayout::indirect) {
        if (r.at_end()) {
            r.overrun = true;
            break;
        }
        form = read_uleb128(r);
        ++depth;
    }
    if (depth == 0) {
        form = decode_direct(ctx, form, value, r, kValueTextLimit);
    } else {
        size_t opening = std::min(depth, kValueTextLimit);
        value.text.append(opening, '<');
        // Leave room for the closing signs when the nesting is shallow.
        size_t limit = kValueTextLimit > 2 * opening ? kValueTextLimit - opening : opening;
        if (form_row(form).layout != FormLayout::indirect) form = decode_direct(ctx, form, value, r, limit);
        append_limited(value.text, std::string(opening, '>'), kValueTextLimit);
    }
    return r.pos;
}

void skip_value(const FormContext& ctx, uint32_t& form, ByteReader& r) {
    while (form_row(form).layout == FormLayout::indirect && !r.at_end()) form = read_uleb128(r);
    const FormRow row = form_row(form);
    const int width = fixed_value_size(row, ctx.address_size);
    if (width >= 0) {
        skip(r, static_cast<size_t>(width));
        return;
    }
    uint32_t length = 0;
    if (read_block_length(row.layout, r, length)) {
        skip(r, length);
        return;
    }
    switch (row.layout) {
    case FormLayout::cstring: read_cstring(r); break;
    case FormLayout::uleb128:
    case FormLayout::sleb128: read_uleb128(r); break;  // a SLEB128 value has the same extent
    case FormLayout::indirect: r.overrun = true; break;  // the form code itself was cut
    default: break;
    }
}

void decode_implicit_const(int32_t constant, uint32_t& form, AttributeValue& value) {
    clear_attribute_value(value);
    value.unresolved = false;
    const uint32_t number = static_cast<uint32_t>(constant);
    if (constant < 0) {
        form = DW_FORM_sdata;
        store_number<uint32_t>(value, number);
    } else if (number <= 0xFF) {
        form = DW_FORM_data1;
        store_number<uint8_t>(value, static_cast<uint8_t>(number));
    } else if (number <= 0xFFFF) {
        form = DW_FORM_data2;
        store_number<uint16_t>(value, static_cast<uint16_t>(number));
    } else {
        form = DW_FORM_data4;
        store_number<uint32_t>(value, number);
    }
    value.size = 0;
    if (value.hex_text) {
        value.text = "0x";
        append_hex(value.text, number);
    }
}

bool resolve_address_index(const FormContext& ctx, AttributeValue& value) {
    const size_t length = std::min<size_t>(static_cast<size_t>(std::max(value.size, 0)), kValueBytes);
    ByteReader ops = make_reader(value.bytes, length, 1, length, false);
    const uint32_t index = read_uleb128(ops);
    uint32_t address = 0;
    const unsigned width = ctx.address_size;
    if (ops.overrun || width == 0 || width > 8 ||
        !table_entry(ctx, ctx.addr, ctx.addr_base + uint64_t{index} * width, width, address))
        return false;
    uint8_t rewritten[kValueBytes] = {};
    rewritten[0] = DW_OP_addr;
    for (unsigned i = 0; i < width && i < 4; ++i) {
        const unsigned shift = 8 * (ctx.big_endian ? (width - 1 - i) : i);
        rewritten[1 + i] = shift < 32 ? static_cast<uint8_t>(address >> shift) : 0;
    }
    const size_t rest = length - ops.pos;
    const size_t kept = std::min(rest, kValueBytes - 1 - width);
    std::memcpy(rewritten + 1 + width, value.bytes + ops.pos, kept);
    const size_t size = 1 + width + kept;
    std::memcpy(value.bytes, rewritten, size);
    if (value.used < size) value.used = static_cast<uint32_t>(size);
    value.size = static_cast<int32_t>(size);
    return true;
}

bool read_reference(uint32_t& form, ByteReader& r, uint32_t& value) {
    while (form_row(form).layout == FormLayout::indirect && !r.at_end()) form = read_uleb128(r);
    const FormRow row = form_row(form);
    if (row.cls != FormClass::reference) return false;
    switch (row.layout) {
    case FormLayout::fixed: value = read_target(r, row.size); break;
    case FormLayout::offset: value = read_target32(r); break;
    case FormLayout::uleb128: value = read_uleb128(r); break;
    default: return false;
    }
    return !r.overrun;
}

std::string cut_value_subject(uint32_t form) {
    std::string text;
    append_form_label(text, form);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    text += " value";
    return text;
}
