// Target "elf": the ELF header, the program and section header tables and
// the section names.
//
// After the two shared bytes come up to 4096 bytes that are the start of
// the file (header, tables and names, wherever their fields put them). The
// file goes on at offset 4096 with the contents of the sample program's
// sections (.text, .data, then the DWARF sections; see body_layout), in the
// byte order the header's EI_DATA names, so sections pointing there have
// real contents. With configuration bit 4 the file ends after the fuzzed
// bytes instead. -a and -l are allowed.
#include <algorithm>
#include <cstring>

#include "common/session.h"
#include "fuzz_targets.h"
#include "sample_dwarf.h"

namespace {

constexpr size_t kWindow = 4096;
constexpr uint8_t kConfigNoBody = 0x10;

struct BodyLayout {
    std::vector<uint8_t> bytes;
    std::vector<ImageSection> sections;  // the sample's, in body order
    std::vector<size_t> offsets;         // file offset of each
};

BodyLayout make_body(bool big_endian) {
    BodyLayout b;
    b.sections = sample_sections(big_endian);
    for (const ImageSection& s : b.sections) {
        b.offsets.push_back(kWindow + b.bytes.size());
        if (s.type != kSectionNobits) b.bytes.insert(b.bytes.end(), s.data.begin(), s.data.end());
    }
    return b;
}

const BodyLayout& body(bool big_endian) {
    static const BodyLayout kBodies[2] = {make_body(false), make_body(true)};
    return kBodies[big_endian ? 1 : 0];
}

FuzzCase prepare(FuzzBytes in) {
    FuzzCase c;
    const uint8_t config = read_shared_bytes(in, c);
    c.allowed = kAllowSrec | kAllowNoLocals;
    c.image = in.take(kWindow);
    if (!(config & kConfigNoBody)) {
        const bool big = c.image.size() > 5 && c.image[5] == 2;
        c.image.resize(kWindow);
        const BodyLayout& b = body(big);
        c.image.insert(c.image.end(), b.bytes.begin(), b.bytes.end());
    }
    return c;
}

// The body section standing in for a section of a real file: the one of the
// same name, else .text for loaded contents, else none.
int stand_in(const BodyLayout& b, const std::string& name, const SectionHeader& sh) {
    for (size_t i = 0; i < b.sections.size(); ++i) {
        if (name == b.sections[i].name) return static_cast<int>(i);
    }
    if (sh.sh_type == kSectionProgbits && (sh.sh_flags & kFlagAlloc)) return 0;
    return -1;
}

// The file's header and tables in the window, with every offset moved to
// the body section standing in for it.
void seeds_from(const Session& file, Seeds& out) {
    if (!file.elf.header_accepted || file.image.size() < kElfHeaderBytes) return;
    const ElfInfo& elf = file.elf;
    const BodyLayout& b = body(elf.big_endian);
    Emitter w;
    w.big_endian = elf.big_endian;
    w.bytes.assign(file.image.begin(), file.image.begin() + kElfHeaderBytes);

    const uint32_t phoff = kElfHeaderBytes;
    const uint32_t shoff = static_cast<uint32_t>(phoff + elf.program_headers.size() * kProgramEntryBytes);
    for (ProgramHeader p : elf.program_headers) {
        p.p_offset = static_cast<uint32_t>(b.offsets[0]);
        p.p_filesz = std::min<uint32_t>(p.p_filesz, static_cast<uint32_t>(b.sections[0].data.size()));
        put_program_entry(w, p);
    }
    const uint32_t names_at = static_cast<uint32_t>(shoff + elf.sections.size() * kSectionEntryBytes);
    Emitter names;
    for (size_t i = 0; i < elf.sections.size(); ++i) {
        SectionHeader sh = elf.sections[i];
        const std::string& name = i < elf.section_names.size() ? elf.section_names[i] : std::string();
        sh.sh_name = static_cast<uint32_t>(names.size());
        names.text(name);
        const int k = stand_in(b, name, sh);
        if (i == elf.header.e_shstrndx) {
            sh.sh_offset = names_at;
        } else if (k >= 0) {
            sh.sh_offset = static_cast<uint32_t>(b.offsets[k]);
            sh.sh_size = std::min<uint32_t>(sh.sh_size, static_cast<uint32_t>(b.sections[k].data.size()));
        } else if (i != 0) {
            sh.sh_offset = static_cast<uint32_t>(kWindow);
            sh.sh_size = std::min<uint32_t>(sh.sh_size, 64);
        }
        put_section_entry(w, sh);
    }
    if (elf.header.e_shstrndx < elf.sections.size()) {
        // The name table's own entry gets the table's size.
        w.patch(shoff + elf.header.e_shstrndx * kSectionEntryBytes + 20, names.size(), 4);
    }
    w.append(names.bytes);
    w.patch(28, phoff, 4);
    w.patch(32, shoff, 4);
    w.patch(42, kProgramEntryBytes, 2);
    w.patch(44, elf.program_headers.size(), 2);
    w.patch(46, kSectionEntryBytes, 2);
    w.patch(48, elf.sections.size(), 2);
    if (w.size() > kWindow) return;
    for (uint8_t options : {kSeedOptions[0], kSeedOptions[1], kSeedOptions[4]}) {
        std::vector<uint8_t> seed{options, 0};
        seed.insert(seed.end(), w.bytes.begin(), w.bytes.end());
        out.push_back(seed);
    }
    std::vector<uint8_t> cut{0, kConfigNoBody};
    cut.insert(cut.end(), w.bytes.begin(), w.bytes.end());
    out.push_back(cut);
}

}  // namespace

FuzzTarget elf_target() { return {"elf", 2 + kWindow, prepare, seeds_from}; }
