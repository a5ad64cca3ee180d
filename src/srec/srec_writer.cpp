#include "srec/srec_writer.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "common/bytes.h"
#include "common/format.h"
#include "common/session.h"
#include "common/text_io.h"

namespace {

void append_hex_byte(std::string& line, uint8_t v) {
    line += kHexDigits[v >> 4];
    line += kHexDigits[v & 0x0F];
}

}  // namespace

unsigned srec_address_bytes(unsigned type) {
    switch (type) {
    case 0:
    case 1:
    case 5:
    case 9: return 2;
    case 2:
    case 6:
    case 8: return 3;
    default: return 4;
    }
}

void write_srec_record(OutText& out, unsigned n, uint32_t address, unsigned type, const uint8_t* data) {
    if (!data) n = 0;
    unsigned address_bytes = srec_address_bytes(type);
    uint8_t count = static_cast<uint8_t>(n + address_bytes + 1);

    std::string line;
    line.reserve(4 + 2 * (address_bytes + n + 1) + 1);
    line += 'S';
    line += kHexDigits[type % 10];
    append_hex_byte(line, count);
    unsigned sum = count;
    for (unsigned i = address_bytes; i-- > 0;) {
        uint8_t b = static_cast<uint8_t>(address >> (8 * i));
        append_hex_byte(line, b);
        sum += b;
    }
    for (unsigned i = 0; i < n; ++i) {
        append_hex_byte(line, data[i]);
        sum += data[i];
    }
    append_hex_byte(line, static_cast<uint8_t>(0xFF - (sum & 0xFF)));
    line += '\n';
    out_write(out, line);
}

unsigned srec_data_type(uint32_t address) {
    if (address < 0x10000) return 1;
    if (address < 0x1000000) return 2;
    return 3;
}

unsigned srec_termination_type(uint32_t entry) {
    if (entry < 0x10000) return 9;
    if (entry < 0x1000000) return 8;
    return 7;
}

bool is_loadable_section(const SectionHeader& section) {
    if (section.sh_type != SHT_PROGBITS) return false;
    // Only the low four flag bits count: flags such as SHF_MERGE do not matter.
    const uint32_t low = section.sh_flags & 0x0F;
    return low == SHF_ALLOC || low == (SHF_WRITE | SHF_ALLOC) || low == (SHF_ALLOC | SHF_EXECINSTR);
}

SegmentIndex index_segments(const std::vector<ProgramHeader>& program_headers) {
    SegmentIndex index;
    for (size_t i = 0; i < program_headers.size(); ++i) {
        const ProgramHeader& p = program_headers[i];
        if (p.p_vaddr != p.p_paddr && p.p_paddr != 0) index.starts.push_back({p.p_offset, p.p_vaddr, p.p_paddr, i});
    }
    std::sort(index.starts.begin(), index.starts.end(), [](const SegmentIndex::Start& a, const SegmentIndex::Start& b) {
        if (a.offset != b.offset) return a.offset < b.offset;
        if (a.vaddr != b.vaddr) return a.vaddr < b.vaddr;
        return a.order < b.order;
    });
    return index;
}

uint32_t load_address(const SegmentIndex& segments, const SectionHeader& section) {
    auto it = std::lower_bound(segments.starts.begin(), segments.starts.end(), section,
                               [](const SegmentIndex::Start& a, const SectionHeader& sh) {
                                   if (a.offset != sh.sh_offset) return a.offset < sh.sh_offset;
                                   return a.vaddr < sh.sh_addr;
                               });
    if (it != segments.starts.end() && it->offset == section.sh_offset && it->vaddr == section.sh_addr) return it->paddr;
    return section.sh_addr;
}

void write_srec_file(Session& s, OutText& mot, const std::string& mot_name) {
    // Header: the mot name, directory part included, as data of an S0 record at address 0.
    size_t name_length = std::min(mot_name.size(), kSrecNameChars);
    write_srec_record(mot, static_cast<unsigned>(name_length), 0, 0,
                      reinterpret_cast<const uint8_t*>(mot_name.data()));

    // Without an accepted ELF header there are no sections and no entry address.
    if (!s.elf.header_accepted) {
        write_srec_record(mot, 0, 0, 9, nullptr);
        return;
    }

    SegmentIndex segments = index_segments(s.elf.program_headers);
    for (size_t i = 0; i < s.elf.sections.size(); ++i) {
        const SectionHeader& sh = s.elf.sections[i];
        if (!is_loadable_section(sh) || sh.sh_size == 0) continue;

        ByteReader data = image_range(s, sh.sh_offset, sh.sh_size);
        if (data.remaining() < sh.sh_size) {
            std::string text = "section ";
            text += i < s.elf.section_names.size() ? s.elf.section_names[i] : std::string();
            text += " reaches beyond the end of the file; the mot file holds only the bytes inside it";
            warn(s, text);
        }

        uint32_t address = load_address(segments, sh);
        uint8_t bytes[kSrecDataBytes];
        while (!data.at_end()) {
            unsigned n = static_cast<unsigned>(std::min<size_t>(data.remaining(), kSrecDataBytes));
            std::memcpy(bytes, data.data + data.pos, n);  // n <= data.remaining()
            skip(data, n);
            write_srec_record(mot, n, address, srec_data_type(address), bytes);
            address += n;
        }
    }

    uint32_t entry = s.elf.header.e_entry;
    write_srec_record(mot, 0, entry, srec_termination_type(entry), nullptr);
}
