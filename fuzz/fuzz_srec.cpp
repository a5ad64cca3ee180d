// Target "srec": the S-record writer's view of the program and section
// header tables (-a always on).
//
// After the two shared bytes:
//   bytes 2-5  the entry address (little-endian)
//   byte 6     the number of program headers
//   then up to 2048 bytes of tables: that many program headers of 32 bytes,
//   then section headers of 40 bytes each (as many as fit whole).
// The header is written around them; the file goes on at offset 2048 with
// 1024 bytes of contents and a section name table, where the table entries
// of the seeds point.
#include <algorithm>

#include "common/session.h"
#include "fuzz_targets.h"

namespace {

constexpr size_t kWindow = 2048;
constexpr size_t kContents = 1024;
const char kNames[] = "\0.text\0.data\0.rodata\0.vectors\0.bss";

std::vector<uint8_t> body() {
    std::vector<uint8_t> b(kContents);
    for (size_t i = 0; i < kContents; ++i) b[i] = static_cast<uint8_t>(i * 13 + 5);
    b.insert(b.end(), kNames, kNames + sizeof kNames);
    return b;
}

FuzzCase prepare(FuzzBytes in) {
    FuzzCase c;
    const uint8_t config = read_shared_bytes(in, c);
    c.allowed = kForceSrec;
    const uint32_t entry = in.u32();
    const uint32_t program_headers = in.u8();
    std::vector<uint8_t> tables = in.take(kWindow - kElfHeaderBytes);
    const size_t program_bytes = program_headers * kProgramEntryBytes;
    const size_t sections =
        tables.size() > program_bytes ? (tables.size() - program_bytes) / kSectionEntryBytes : 0;

    Emitter e;
    e.big_endian = config_big_endian(config);
    put_elf_header(e, config_machine(config), entry, kElfHeaderBytes,
                   static_cast<uint32_t>(kElfHeaderBytes + program_bytes), program_headers,
                   static_cast<uint32_t>(sections), 0);
    e.append(tables);
    e.bytes.resize(kWindow);
    static const std::vector<uint8_t> kBody = body();
    e.append(kBody);
    c.image = std::move(e.bytes);
    return c;
}

// A file offset of the real file moved into the contents, where the same
// offset always lands on the same place.
uint32_t moved(uint32_t offset) { return static_cast<uint32_t>(kWindow + offset % kContents); }
uint32_t fitted(uint32_t offset, uint32_t size) {
    return std::min<uint32_t>(size, static_cast<uint32_t>(kContents - offset % kContents));
}

void seeds_from(const Session& file, Seeds& out) {
    const ElfInfo& elf = file.elf;
    if (!elf.header_accepted || elf.program_headers.size() > 255) return;
    Emitter seed;
    seed.big_endian = elf.big_endian;
    seed.u8(kSeedOptions[0]).u8(config_of(file));
    seed.bytes.push_back(static_cast<uint8_t>(elf.header.e_entry));
    seed.bytes.push_back(static_cast<uint8_t>(elf.header.e_entry >> 8));
    seed.bytes.push_back(static_cast<uint8_t>(elf.header.e_entry >> 16));
    seed.bytes.push_back(static_cast<uint8_t>(elf.header.e_entry >> 24));
    seed.bytes.push_back(static_cast<uint8_t>(elf.program_headers.size()));
    for (ProgramHeader p : elf.program_headers) {
        p.p_filesz = fitted(p.p_offset, p.p_filesz);
        p.p_offset = moved(p.p_offset);
        put_program_entry(seed, p);
    }
    // Section 0 points at the name table, which only the warnings read.
    const std::string names(kNames, sizeof kNames);
    for (size_t i = 0; i < elf.sections.size(); ++i) {
        SectionHeader sh = elf.sections[i];
        const std::string& name = i < elf.section_names.size() ? elf.section_names[i] : std::string();
        const size_t at = name.empty() ? std::string::npos : names.find(name + '\0');
        sh.sh_name = at == std::string::npos ? 0 : static_cast<uint32_t>(at);
        if (i == 0) {
            sh.sh_offset = static_cast<uint32_t>(kWindow + kContents);
        } else {
            sh.sh_size = fitted(sh.sh_offset, sh.sh_size);
            sh.sh_offset = moved(sh.sh_offset);
        }
        put_section_entry(seed, sh);
    }
    if (seed.size() > 7 + kWindow - kElfHeaderBytes) return;
    out.push_back(seed.bytes);
    seed.bytes[0] = kSeedOptions[4];
    out.push_back(std::move(seed.bytes));
}

}  // namespace

FuzzTarget srec_target() { return {"srec", 7 + kWindow - kElfHeaderBytes, prepare, seeds_from}; }
