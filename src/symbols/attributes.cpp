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

// Decodes one value of a form other than DW_FORM_indirect. Text goes after
// what `v.text` already holds, up to `limit` characters.
void decode_direct(const FormContext& ctx, uint32_t form, AttributeValue& v, ByteReader& r, size_t limit) {
    const FormRow row = form_row(form);
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
        return;
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
        return;
    }
    case FormLayout::cstring: {
        std::string_view str = read_cstring(r);
        v.size = static_cast<int32_t>(r.pos - start);  // the string and its NUL (less when cut)
        append_limited(v.text, str, limit);
        return;
    }
    case FormLayout::none:
        // DW_FORM_flag_present is true by being there; unknown forms consume
        // nothing, and the next attribute is read from the same place.
        if (row.cls == FormClass::flag) {
            v.bytes[0] = 1;
            if (v.used < 1) v.used = 1;
        }
        return;
    case FormLayout::fixed:
    case FormLayout::address:
    case FormLayout::offset:
        break;
    default:
        return;
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
        default: store_number<uint64_t>(v, read_target64(r)); break;
        }
    }
    v.size = static_cast<int32_t>(width);
    if (row.cls == FormClass::string) {
        // An offset into .debug_str: the text is the string there.
        append_limited(v.text, debug_str_at(ctx, v.number()), limit);
        return;
    }
    if (v.hex_text) render_bytes(v.text, r, start, r.pos, limit);
}

}  // namespace

FormContext form_context(const Session& s) {
    FormContext ctx;
    ctx.address_size = s.elf.address_size;
    ctx.image = s.image.data();
    size_t start = 0, length = 0;
    if (s.elf.str_index != 0 && section_bounds(s, s.elf.str_index, start, length)) {
        ctx.str_begin = start;
        ctx.str_end = start + length;
    }
    return ctx;
}

size_t decode_attribute_any(const FormContext& ctx, uint32_t& form, AttributeValue& value, ByteReader& r) {
    value.text.clear();
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
        decode_direct(ctx, form, value, r, kValueTextLimit);
    } else {
        size_t opening = std::min(depth, kValueTextLimit);
        value.text.append(opening, '<');
        // Leave room for the closing signs when the nesting is shallow.
        size_t limit = kValueTextLimit > 2 * opening ? kValueTextLimit - opening : opening;
        if (form_row(form).layout != FormLayout::indirect) decode_direct(ctx, form, value, r, limit);
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
