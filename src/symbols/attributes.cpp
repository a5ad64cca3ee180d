#include "symbols/attributes.h"

#include <algorithm>
#include <cstdio>

#include "common/format.h"
#include "common/session.h"
#include "elf/elf_reader.h"
#include "symbols/dwarf_names.h"

namespace {

constexpr size_t kByteRenderingWidth = 5;  // "0xAB "

// Stores a number in host byte order in the first `width` bytes.
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
std::string_view debug_str_at(const Session& s, uint32_t offset) {
    size_t start = 0, length = 0;
    if (s.elf.str_index == 0 || !section_bounds(s, s.elf.str_index, start, length)) return {};
    if (offset >= length) return {};
    return cstring_at(s.image.data(), start + length, start + offset);
}

// Length of a block form and how many bytes of its length field to expect.
// Returns false for forms that are not blocks.
bool read_block_length(uint32_t form, ByteReader& r, uint32_t& length) {
    switch (form) {
    case DW_FORM_block1: length = read_u8(r); return true;
    case DW_FORM_block2: length = read_target16(r); return true;
    case DW_FORM_block4: length = read_target32(r); return true;
    case DW_FORM_block:
    case DW_FORM_exprloc: length = read_uleb128(r); return true;
    default: return false;
    }
}

// Decodes one value of a form other than DW_FORM_indirect. Text goes after
// what `v.text` already holds, up to `limit` characters.
void decode_direct(Session& s, uint32_t form, AttributeValue& v, ByteReader& r, size_t limit) {
    const size_t start = r.pos;
    uint32_t block_length = 0;
    if (read_block_length(form, r, block_length)) {
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

    switch (form) {
    case DW_FORM_addr:
    case DW_FORM_sec_offset: {
        unsigned width = s.elf.address_size;
        store_number<uint32_t>(v, read_address(r, width));
        v.size = static_cast<int32_t>(width);
        break;
    }
    case DW_FORM_data1:
    case DW_FORM_flag:
    case DW_FORM_ref1:
        store_number<uint8_t>(v, read_u8(r));
        v.size = 1;
        break;
    case DW_FORM_data2:
    case DW_FORM_ref2:
        store_number<uint16_t>(v, read_target16(r));
        v.size = 2;
        break;
    case DW_FORM_data4:
    case DW_FORM_ref_addr:
    case DW_FORM_ref4:
        store_number<uint32_t>(v, read_target32(r));
        v.size = 4;
        break;
    case DW_FORM_data8:
    case DW_FORM_ref8:
        store_number<uint64_t>(v, read_target64(r));
        v.size = 8;
        break;
    case DW_FORM_sdata:
    case DW_FORM_udata:
    case DW_FORM_ref_udata: {
        uint32_t number = form == DW_FORM_sdata ? static_cast<uint32_t>(read_sleb128(r)) : read_uleb128(r);
        store_number<uint32_t>(v, number);
        v.size = static_cast<int32_t>(r.pos - start);
        if (v.hex_text && v.text.size() < limit) {
            char buffer[16];
            int n = std::snprintf(buffer, sizeof buffer, "0x%X", number);
            append_limited(v.text, std::string_view(buffer, static_cast<size_t>(n)), limit);
        }
        return;
    }
    case DW_FORM_string: {
        std::string_view str = read_cstring(r);
        v.size = static_cast<int32_t>(r.pos - start);  // the string and its NUL (less when cut)
        append_limited(v.text, str, limit);
        return;
    }
    case DW_FORM_strp: {
        uint32_t offset = read_target32(r);
        store_number<uint32_t>(v, offset);
        v.size = 4;
        append_limited(v.text, debug_str_at(s, offset), limit);
        return;
    }
    case DW_FORM_flag_present:
        v.bytes[0] = 1;
        if (v.used < 1) v.used = 1;
        return;
    default:
        // Unknown forms consume nothing; the next attribute is read from here.
        return;
    }
    if (v.hex_text) render_bytes(v.text, r, start, r.pos, limit);
}

void warn_cut(Session& s, uint32_t form, size_t at) {
    std::string text;
    append_form_label(text, form);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    text += " value at file offset ";
    append_printf(text, "0x%zX", at);
    text += " is cut off by the end of its data";
    warn(s, text);
}

// Size of a form whose values all have one width, or -1.
int fixed_size(const Session& s, uint32_t form) {
    switch (form) {
    case DW_FORM_addr:
    case DW_FORM_sec_offset: return s.elf.address_size;
    case DW_FORM_data1:
    case DW_FORM_flag:
    case DW_FORM_ref1: return 1;
    case DW_FORM_data2:
    case DW_FORM_ref2: return 2;
    case DW_FORM_data4:
    case DW_FORM_ref_addr:
    case DW_FORM_ref4:
    case DW_FORM_strp: return 4;
    case DW_FORM_data8:
    case DW_FORM_ref8: return 8;
    case DW_FORM_flag_present: return 0;
    default: return -1;
    }
}

}  // namespace

size_t decode_attribute_any(Session& s, uint32_t& form, AttributeValue& value, ByteReader& r) {
    const bool was_overrun = r.overrun;
    const size_t start = r.pos;
    value.text.clear();
    // DW_FORM_indirect names the real form in the data; it may itself be
    // indirect. Each level puts its "<" ... ">" around the inner text.
    size_t depth = 0;
    while (form == DW_FORM_indirect) {
        if (r.at_end()) {
            r.overrun = true;
            break;
        }
        form = read_uleb128(r);
        ++depth;
    }
    if (depth == 0) {
        decode_direct(s, form, value, r, kValueTextLimit);
    } else {
        size_t opening = std::min(depth, kValueTextLimit);
        value.text.append(opening, '<');
        // Leave room for the closing signs when the nesting is shallow.
        size_t limit = kValueTextLimit > 2 * opening ? kValueTextLimit - opening : opening;
        if (form != DW_FORM_indirect) decode_direct(s, form, value, r, limit);
        append_limited(value.text, std::string(opening, '>'), kValueTextLimit);
    }
    if (r.overrun && !was_overrun) warn_cut(s, form, start);
    return r.pos;
}

size_t skip_attributes(Session& s, ByteReader& values, ByteReader specs) {
    const bool was_overrun = values.overrun;
    for (;;) {
        uint32_t attribute = read_uleb128(specs);
        uint32_t form = read_uleb128(specs);
        if (attribute == 0 && form == 0) break;
        const size_t start = values.pos;
        while (form == DW_FORM_indirect && !values.at_end()) form = read_uleb128(values);
        int width = fixed_size(s, form);
        if (width >= 0) {
            skip(values, static_cast<size_t>(width));
        } else {
            uint32_t length = 0;
            if (read_block_length(form, values, length)) {
                skip(values, length);
            } else if (form == DW_FORM_string) {
                read_cstring(values);
            } else if (form == DW_FORM_sdata || form == DW_FORM_udata || form == DW_FORM_ref_udata) {
                read_uleb128(values);  // same extent as SLEB128
            } else if (form == DW_FORM_indirect) {
                values.overrun = true;  // the form code itself was cut
            }
        }
        if (values.overrun) {
            if (!was_overrun) warn_cut(s, form, start);
            break;
        }
        if (specs.overrun) break;  // a cut declaration was reported when it was loaded
    }
    return values.pos;
}
