#include "support/elf_builder.h"

ByteWriter& ByteWriter::u8(uint32_t v) {
    bytes.push_back(static_cast<uint8_t>(v));
    return *this;
}

ByteWriter& ByteWriter::u16(uint32_t v) {
    if (big_endian) {
        u8(v >> 8);
        u8(v);
    } else {
        u8(v);
        u8(v >> 8);
    }
    return *this;
}

ByteWriter& ByteWriter::u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) u8(big_endian ? v >> (24 - 8 * i) : v >> (8 * i));
    return *this;
}

ByteWriter& ByteWriter::u64(uint64_t v) {
    for (int i = 0; i < 8; ++i) u8(static_cast<uint32_t>(big_endian ? v >> (56 - 8 * i) : v >> (8 * i)));
    return *this;
}

ByteWriter& ByteWriter::uleb(uint64_t v) {
    do {
        uint8_t b = v & 0x7F;
        v >>= 7;
        if (v) b |= 0x80;
        u8(b);
    } while (v);
    return *this;
}

ByteWriter& ByteWriter::sleb(int64_t v) {
    for (;;) {
        uint8_t b = v & 0x7F;
        v >>= 7;
        bool done = (v == 0 && !(b & 0x40)) || (v == -1 && (b & 0x40));
        if (!done) b |= 0x80;
        u8(b);
        if (done) break;
    }
    return *this;
}

ByteWriter& ByteWriter::cstr(const std::string& s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    bytes.push_back(0);
    return *this;
}

ByteWriter& ByteWriter::raw(const std::vector<uint8_t>& b) {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
}

ByteWriter& ByteWriter::fill(size_t n, uint8_t v) {
    bytes.insert(bytes.end(), n, v);
    return *this;
}

size_t ByteWriter::placeholder32() {
    size_t at = bytes.size();
    u32(0);
    return at;
}

size_t ByteWriter::placeholder16() {
    size_t at = bytes.size();
    u16(0);
    return at;
}

void ByteWriter::patch32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(big_endian ? v >> (24 - 8 * i) : v >> (8 * i));
}

void ByteWriter::patch16(size_t at, uint32_t v) {
    bytes[at + (big_endian ? 0 : 1)] = static_cast<uint8_t>(v >> 8);
    bytes[at + (big_endian ? 1 : 0)] = static_cast<uint8_t>(v);
}

int ElfBuilder::add_section(const std::string& name, const std::vector<uint8_t>& data, uint32_t type,
                            uint32_t flags, uint32_t addr) {
    Section s;
    s.name = name;
    s.type = type;
    s.flags = flags;
    s.addr = addr;
    s.data = data;
    s.nobits = type == 8;
    sections.push_back(s);
    return static_cast<int>(sections.size());
}

std::vector<uint8_t> ElfBuilder::build() {
    ByteWriter w(big_endian);
    // Layout: ELF header, program headers, section data, .shstrtab, section headers.
    const uint32_t phoff = segments.empty() ? 0 : 52;
    uint32_t pos = 52 + 32 * static_cast<uint32_t>(segments.size());
    std::vector<uint8_t> body;
    for (Section& s : sections) {
        while ((pos + body.size()) % 4) body.push_back(0);
        s.offset = pos + static_cast<uint32_t>(body.size());
        if (!s.nobits) body.insert(body.end(), s.data.begin(), s.data.end());
    }
    ByteWriter names(big_endian);
    names.u8(0);
    std::vector<uint32_t> name_off;
    for (const Section& s : sections) {
        name_off.push_back(static_cast<uint32_t>(names.size()));
        names.cstr(s.name);
    }
    uint32_t shstr_name = static_cast<uint32_t>(names.size());
    names.cstr(".shstrtab");
    uint32_t shstr_off = pos + static_cast<uint32_t>(body.size());
    body.insert(body.end(), names.bytes.begin(), names.bytes.end());
    while ((pos + body.size()) % 4) body.push_back(0);
    uint32_t shoff = pos + static_cast<uint32_t>(body.size());
    uint32_t shnum = static_cast<uint32_t>(sections.size()) + 2;

    w.u8(0x7F).u8('E').u8('L').u8('F').u8(ei_class).u8(ei_data ? ei_data : (big_endian ? 2 : 1)).u8(1);
    w.fill(9);
    w.u16(type).u16(machine).u32(1).u32(entry).u32(phoff).u32(shoff).u32(flags);
    w.u16(52).u16(32).u16(static_cast<uint32_t>(segments.size())).u16(40).u16(shnum).u16(shnum - 1);
    for (const Segment& g : segments) {
        uint32_t off = g.section >= 1 ? sections[g.section - 1].offset : g.offset;
        w.u32(g.type).u32(off).u32(g.vaddr).u32(g.paddr).u32(g.filesz).u32(g.memsz).u32(g.flags).u32(g.align);
    }
    w.raw(body);
    w.fill(40);  // null section
    for (size_t i = 0; i < sections.size(); ++i) {
        const Section& s = sections[i];
        uint32_t size = s.size_override ? s.size_override : static_cast<uint32_t>(s.data.size());
        w.u32(name_off[i]).u32(s.type).u32(s.flags).u32(s.addr).u32(s.offset).u32(size).u32(0).u32(0).u32(1).u32(0);
    }
    w.u32(shstr_name).u32(3).u32(0).u32(0).u32(shstr_off).u32(static_cast<uint32_t>(names.size())).u32(0).u32(0).u32(1).u32(0);
    return w.bytes;
}

size_t begin_unit(ByteWriter& w, uint16_t version, uint32_t abbrev_offset, uint8_t address_size) {
    size_t at = w.placeholder32();
    if (version == 5) {
        w.u16(version).u8(1).u8(address_size).u32(abbrev_offset);  // DW_UT_compile
    } else {
        w.u16(version).u32(abbrev_offset).u8(address_size);
    }
    return at;
}
