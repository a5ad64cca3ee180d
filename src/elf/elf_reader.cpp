#include "elf/elf_reader.h"

#include <algorithm>
#include <string>

#include "common/file_headers.h"
#include "common/format.h"
#include "common/header_fields.h"
#include "common/scan.h"
#include "common/session.h"

namespace {

constexpr size_t kElfHeaderSize = 52;
// A trace line is formatted in a 1024-byte buffer; longer names are cut to fit.
constexpr size_t kMaxTracedName = 1000;
// A section name is kept to this many characters: enough for every use (the
// lookup compares at most 18, the trace prints 1000), and a name table
// without NUL bytes cannot make thousands of names each as long as the file.
constexpr size_t kMaxKeptName = 1024;

// The ELF header as the trace shows it (e_ident and e_machine as the file
// has them) and as it is read. "/e_sh0ff" is written with a zero.
constexpr HeaderField<ElfHeader> kElfHeaderFields[] = {
    {"/e_ident", 0, 16, 1, nullptr},
    {"/e_type", 16, 1, 2, &ElfHeader::e_type},
    {"/e_machine", 18, 1, 2, &ElfHeader::e_machine},
    {"/e_version", 20, 1, 4, &ElfHeader::e_version},
    {"/e_entry", 24, 1, 4, &ElfHeader::e_entry},
    {"/e_phoff", 28, 1, 4, &ElfHeader::e_phoff},
    {"/e_sh0ff", 32, 1, 4, &ElfHeader::e_shoff},
    {"/e_flags", 36, 1, 4, &ElfHeader::e_flags},
    {"/e_ehsize", 40, 1, 2, &ElfHeader::e_ehsize},
    {"/e_phentsize", 42, 1, 2, &ElfHeader::e_phentsize},
    {"/e_phnum", 44, 1, 2, &ElfHeader::e_phnum},
    {"/e_shentsize", 46, 1, 2, &ElfHeader::e_shentsize},
    {"/e_shnum", 48, 1, 2, &ElfHeader::e_shnum},
    {"/e_shstrndx", 50, 1, 2, &ElfHeader::e_shstrndx},
};

constexpr HeaderField<ProgramHeader> kProgramHeaderFields[] = {
    {"/p_type", 0, 1, 4, &ProgramHeader::p_type},     {"/p_offset", 4, 1, 4, &ProgramHeader::p_offset},
    {"/p_vaddr", 8, 1, 4, &ProgramHeader::p_vaddr},   {"/p_paddr", 12, 1, 4, &ProgramHeader::p_paddr},
    {"/p_filesz", 16, 1, 4, &ProgramHeader::p_filesz}, {"/p_memsz", 20, 1, 4, &ProgramHeader::p_memsz},
    {"/p_flags", 24, 1, 4, &ProgramHeader::p_flags},   {"/p_align", 28, 1, 4, &ProgramHeader::p_align},
};

constexpr HeaderField<SectionHeader> kSectionHeaderFields[] = {
    {"/sh_name", 0, 1, 4, &SectionHeader::sh_name},
    {"/sh_type", 4, 1, 4, &SectionHeader::sh_type},
    {"/sh_flags", 8, 1, 4, &SectionHeader::sh_flags},
    {"/sh_addr", 12, 1, 4, &SectionHeader::sh_addr},
    {"/sh_offset", 16, 1, 4, &SectionHeader::sh_offset},
    {"/sh_size", 20, 1, 4, &SectionHeader::sh_size},
    {"/sh_link", 24, 1, 4, &SectionHeader::sh_link},
    {"/sh_info", 28, 1, 4, &SectionHeader::sh_info},
    {"/sh_addralign", 32, 1, 4, &SectionHeader::sh_addralign},
    {"/sh_entsize", 36, 1, 4, &SectionHeader::sh_entsize},
};

// The machine code the later passes go by: H8 variants are told apart by
// e_flags, ARM EABI 5 by its flags or by EM_ARM itself, everything else is SH.
uint32_t target_machine_code(uint32_t e_machine, uint32_t e_flags) {
    if (e_machine == EM_RX) return kMachineRX;
    switch (e_flags) {
    case E_H8_MACH_H8300: return kMachineH8_300;
    case E_H8_MACH_H8300H: return kMachineH8_300H;
    case E_H8_MACH_H8300S: return kMachineH8S;
    case E_H8_MACH_H8300HN: return kMachineH8_300H;
    case E_H8_MACH_H8300SN: return kMachineH8S;
    case E_H8_MACH_H8300SX: return kMachineH8S;
    case E_H8_MACH_H8300SXN: return kMachineH8S;
    case EF_ARM_EABI_VER5 | EF_ARM_ABI_FLOAT_HARD | EF_ARM_HASENTRY:
    case EF_ARM_EABI_VER5 | EF_ARM_HASENTRY: return kMachineARM;
    default: break;
    }
    // Current GNU linkers write other EABI 5 flag values; EM_ARM is ARM whatever its flags.
    if (e_machine == EM_ARM) return kMachineARM;
    return kMachineSH;
}

// DWARF 5 adds sections whose names begin with the names looked up here but
// hold other formats (string offsets, line-table strings, location lists
// version 5). Current toolchains link them in with libgcc's units; taking
// them for .debug_str, .debug_line or .debug_loc would lose every line and
// garble every indirect name, so they are never matched.
// The sections of DWARF 5 whose names begin with the name of an older one
// (.debug_str_offsets, .debug_line_str, .debug_loclists): the index of
// each, or null when `name` is none of them. Checked before the older names.
uint16_t* dwarf5_section(ElfInfo& elf, const char* name) {
    if (match_prefix(name, ".debug_str_offsets")) return &elf.str_offsets_index;
    if (match_prefix(name, ".debug_line_str")) return &elf.line_str_index;
    if (match_prefix(name, ".debug_loclists")) return &elf.loclists_index;
    if (match_prefix(name, ".debug_rnglists")) return &elf.rnglists_index;
    if (match_prefix(name, ".debug_addr")) return &elf.addr_index;
    return nullptr;
}

// Entry i of a header table at `table` with entries of `entsize` bytes, as a
// reader over the `fields` bytes read of it; `cut` is set when any of them
// lies outside the image (those read as 0).
ByteReader table_entry(const ByteReader& img, uint32_t table, uint32_t i, uint32_t entsize, size_t fields,
                       bool& cut) {
    uint64_t pos = static_cast<uint64_t>(table) + static_cast<uint64_t>(i) * entsize;
    ByteReader e = img;
    if (pos > img.end) {
        e.pos = e.end;
        e.overrun = true;
    } else {
        e.pos = static_cast<size_t>(pos);
    }
    e = sub_reader(e, fields);
    if (e.overrun) cut = true;
    return e;
}

// A header table of `count` entries of `entsize` bytes at `table`: each
// entry traced under the heading "<before>[% 3d]<after>" and read into
// `out`; one warning when entries lie outside the image (their missing
// fields read as 0).
template <typename T, size_t N>
void read_table(Session& s, OutText& sym, const ByteReader& img, uint32_t table, uint32_t count, uint32_t entsize,
                const HeaderField<T> (&fields)[N], const char* before, const char* after, const char* what,
                std::vector<T>& out) {
    const size_t entry_bytes = fields[N - 1].offset + fields[N - 1].width;  // the bytes read of each entry
    bool cut = false;
    out.reserve(count);
    std::string heading;
    for (uint32_t i = 0; i < count; ++i) {
        ByteReader e = table_entry(img, table, i, entsize, entry_bytes, cut);
        if (s.opt.trace) {
            heading.clear();
            heading += before;
            heading += '[';
            append_dec_blank(heading, static_cast<int32_t>(i), 3);
            heading += ']';
            heading += after;
            trace_line(s, &sym, heading);
            trace_header_fields(s, sym, fields, e);
        }
        T entry{};
        read_header_fields(entry, fields, e);
        out.push_back(entry);
    }
    if (cut) {
        std::string text = what;
        text += " reaches beyond the end of the file; missing fields read as 0";
        warn(s, text);
    }
}

}  // namespace

bool section_bounds(const Session& s, uint32_t index, size_t& offset, size_t& length, bool* cut) {
    offset = 0;
    length = 0;
    if (cut) *cut = false;
    if (index == 0 || index >= s.elf.sections.size()) return false;
    const SectionHeader& sh = s.elf.sections[index];
    size_t size = s.image_bytes().size();
    size_t begin = sh.sh_offset;
    size_t len = sh.sh_size;
    if (begin > size) {
        if (cut) *cut = len > 0;
        begin = size;
        len = 0;
    } else if (len > size - begin) {
        if (cut) *cut = true;
        len = size - begin;
    }
    offset = begin;
    length = len;
    return true;
}

bool read_elf(Session& s, OutText& sym) {
    ElfInfo& elf = s.elf;
    elf = ElfInfo{};
    ByteReader img = make_reader(s.image.data(), s.image.size(), 0, s.image.size(), false);
    elf.ei_data = s.image.size() > EI_DATA ? s.image[EI_DATA] : 0;
    elf.big_endian = elf.ei_data == ELFDATA2MSB;
    img.big_endian = elf.big_endian;

    if (s.image.size() < kElfHeaderSize) warn(s, "the ELF header is cut off by the end of the file");

    trace_line(s, &sym, "/<<<<<<<<<< ELF Header >>>>>>>>>>\n");
    trace_header_fields(s, sym, kElfHeaderFields, img);

    uint8_t ei_class = s.image.size() > EI_CLASS ? s.image[EI_CLASS] : 0;
    if (ei_class != ELFCLASS32 || elf.ei_data == 0) return false;

    ElfHeader& h = elf.header;
    read_header_fields(h, kElfHeaderFields, img);
    h.e_machine = target_machine_code(h.e_machine, h.e_flags);
    elf.header_accepted = true;

    if (h.e_phnum > kMaxProgramHeaders) return true;
    read_table(s, sym, img, h.e_phoff, h.e_phnum, h.e_phentsize, kProgramHeaderFields, "/========== Program Header ",
               " ==========\n", "program header table", elf.program_headers);
    if (h.e_shnum > kMaxSections) return true;
    read_table(s, sym, img, h.e_shoff, h.e_shnum, h.e_shentsize, kSectionHeaderFields, "/---------- Section Header ",
               " ----------\n", "section header table", elf.sections);

    // Section names: the string table is the section e_shstrndx; a name outside the image is empty.
    size_t strtab = 0;
    bool have_strtab = h.e_shstrndx < elf.sections.size();
    if (have_strtab) {
        strtab = elf.sections[h.e_shstrndx].sh_offset;
    } else if (!elf.sections.empty()) {
        warn(s, "e_shstrndx names no section; section names are empty");
    }
    bool name_cut = false;
    elf.section_names.reserve(elf.sections.size());
    for (size_t i = 0; i < elf.sections.size(); ++i) {
        std::string name;
        if (have_strtab) {
            uint64_t at = static_cast<uint64_t>(strtab) + elf.sections[i].sh_name;
            if (at < s.image.size()) {
                std::string_view v = cstring_at(s.image.data(), s.image.size(), static_cast<size_t>(at));
                if (at + v.size() >= s.image.size()) name_cut = true;
                name.assign(v.data(), std::min(v.size(), kMaxKeptName));
            } else {
                name_cut = true;
            }
        }
        if (s.opt.trace) {
            std::string line;
            line += "/Section Name [";
            append_dec_blank(line, static_cast<int32_t>(i), 3);
            line += ']';
            line.append(name, 0, kMaxTracedName);
            line += '\n';
            trace_line(s, &sym, line);
        }
        elf.section_names.push_back(std::move(name));
    }
    if (name_cut) warn(s, "a section name lies outside the file or runs to its end");

    for (size_t i = 0; i < elf.sections.size(); ++i) {
        const char* name = elf.section_names[i].c_str();
        uint16_t index = static_cast<uint16_t>(i);
        if (uint16_t* companion = dwarf5_section(elf, name)) {
            *companion = index;
            continue;
        }
        if (match_prefix(name, ".debug_info")) {
            elf.info_index = index;
            elf.info_start = elf.sections[i].sh_offset;
            size_t off, len;
            bool cut = false;
            section_bounds(s, static_cast<uint32_t>(i), off, len, &cut);
            ByteReader info = image_range(s, off, len);
            ByteReader v = info;
            skip(v, 4);
            elf.dwarf_version = read_target16(v);
            // The address size stands at offset 10 of the header up to
            // version 4 and at offset 7 from version 5 on.
            ByteReader a = info;
            skip(a, elf.dwarf_version >= 5 ? 7 : 10);
            if (a.remaining() > 0) {
                elf.address_size = read_u8(a);
            } else {
                elf.address_size = 0;
            }
            if (v.overrun || a.overrun) warn(s, ".debug_info is too short for a compilation-unit header");
            write_dwarf_version(sym, elf.dwarf_version);
        } else if (match_prefix(name, ".debug_abbrev")) {
            elf.abbrev_index = index;
        } else if (match_prefix(name, ".debug_line")) {
            elf.line_index = index;
        } else if (match_prefix(name, ".debug_loc")) {
            elf.loc_index = index;
        } else if (match_prefix(name, ".debug_str")) {
            elf.str_index = index;
            elf.str_start = elf.sections[i].sh_offset;
        }
    }
    return true;
}
