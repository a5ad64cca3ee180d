// Target "info": one compilation unit of .debug_info with its
// .debug_abbrev and .debug_str.
//
// After the two shared bytes:
//   byte 2      the unit's DWARF version (the header layout follows it)
//   byte 3      its address size
//   bytes 4-5   n, the length of the .debug_abbrev bytes (little-endian)
//   bytes 6-7   m, the length of the .debug_str bytes
//   then n bytes of .debug_abbrev, m bytes of .debug_str, and the unit's
//   DIEs up to the end. The unit header (length, version, abbreviation
//   offset 0, address size) is written around them.
// -l is allowed.
#include <algorithm>

#include "common/bytes.h"
#include "common/session.h"
#include "fuzz_targets.h"
#include "sample_dwarf.h"

namespace {

constexpr size_t kMaxPart = 0xFFFF;

FuzzCase prepare(FuzzBytes in) {
    FuzzCase c;
    const uint8_t config = read_shared_bytes(in, c);
    c.allowed = kAllowNoLocals;
    const uint8_t version = in.u8();
    const uint8_t address_size = in.u8();
    const uint16_t abbrev_length = in.u16();
    const uint16_t str_length = in.u16();
    std::vector<uint8_t> abbrev = in.take(abbrev_length);
    std::vector<uint8_t> str = in.take(str_length);

    ImageLayout layout = layout_for(config);
    Emitter info;
    info.big_endian = layout.big_endian;
    const size_t length_at = put_unit_header(info, version, 0, address_size);
    info.append(in.rest());
    finish_unit(info, length_at);
    layout.sections.push_back({".debug_info", kSectionProgbits, 0, 0, std::move(info.bytes)});
    layout.sections.push_back({".debug_abbrev", kSectionProgbits, 0, 0, std::move(abbrev)});
    layout.sections.push_back({".debug_str", kSectionProgbits, 0, 0, std::move(str)});
    c.image = build_image(layout);
    return c;
}

std::vector<uint8_t> slice(const std::vector<uint8_t>& bytes, size_t from, size_t length) {
    if (from > bytes.size()) from = bytes.size();
    if (length > bytes.size() - from) length = bytes.size() - from;
    return std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                bytes.begin() + static_cast<std::ptrdiff_t>(from + length));
}

// The length of the declaration list at `offset`, its closing 0 code
// included (or up to where it is cut off).
size_t declarations_length(const std::vector<uint8_t>& abbrev, size_t offset) {
    ByteReader r = make_reader(abbrev.data(), abbrev.size(), 0, abbrev.size(), false);
    seek(r, offset);
    while (!r.overrun && read_uleb128(r) != 0) {
        read_uleb128(r);  // tag
        read_u8(r);       // children
        for (uint32_t attr = 1, form = 1; (attr || form) && !r.overrun;) {
            attr = read_uleb128(r);
            form = read_uleb128(r);
        }
    }
    return r.pos - std::min(offset, r.pos);
}

// One seed per unit of the file, the option byte taking turns, with the
// unit's own declarations.
void seeds_from(const Session& file, Seeds& out) {
    const ElfInfo& elf = file.elf;
    if (elf.info_index == 0 || elf.abbrev_index == 0) return;
    const std::vector<uint8_t> info = section_bytes(file, elf.info_index);
    const std::vector<uint8_t> abbrev = section_bytes(file, elf.abbrev_index);
    const std::vector<uint8_t> str = slice(section_bytes(file, elf.str_index), 0, kMaxPart);
    ByteReader r = make_reader(info.data(), info.size(), 0, info.size(), elf.big_endian);
    for (size_t unit = 0; !r.at_end(); ++unit) {
        const size_t start = r.pos;
        const uint32_t length = read_target32(r);
        const uint16_t version = read_target16(r);
        uint32_t abbrev_offset = 0;
        uint8_t address_size = 0;
        if (version >= 5) {
            read_u8(r);
            address_size = read_u8(r);
            abbrev_offset = read_target32(r);
        } else {
            abbrev_offset = read_target32(r);
            address_size = read_u8(r);
        }
        if (r.overrun || length == 0xFFFFFFFF) return;
        const size_t header = unit_header_size(version);
        const size_t unit_bytes = static_cast<size_t>(length) + 4;
        const std::vector<uint8_t> dies = slice(info, start + header, unit_bytes > header ? unit_bytes - header : 0);
        const std::vector<uint8_t> own_abbrev =
            slice(abbrev, abbrev_offset, std::min(kMaxPart, declarations_length(abbrev, abbrev_offset)));

        Emitter seed;
        seed.u8(kSeedOptions[unit % 5]).u8(config_of(file)).u8(version).u8(address_size);
        seed.u16(static_cast<uint32_t>(own_abbrev.size())).u16(static_cast<uint32_t>(str.size()));
        seed.append(own_abbrev).append(str).append(dies);
        out.push_back(std::move(seed.bytes));

        if (unit_bytes > info.size() - start) return;
        r.pos = start + unit_bytes;
    }
}

}  // namespace

FuzzTarget info_target() { return {"info", 1 << 17, prepare, seeds_from}; }
