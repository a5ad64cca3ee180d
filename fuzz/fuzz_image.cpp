#include "fuzz_image.h"

#include <cstring>

#include "common/session.h"
#include "driver/driver.h"

uint8_t FuzzBytes::u8() { return pos < size ? data[pos++] : 0; }

uint16_t FuzzBytes::u16() {
    uint16_t v = u8();
    return static_cast<uint16_t>(v | (u8() << 8));
}

uint32_t FuzzBytes::u32() {
    uint32_t v = u16();
    return v | (static_cast<uint32_t>(u16()) << 16);
}

std::vector<uint8_t> FuzzBytes::take(size_t n) {
    if (n > size - pos) n = size - pos;
    std::vector<uint8_t> out(data + pos, data + pos + n);
    pos += n;
    return out;
}

Emitter& Emitter::put(uint64_t v, unsigned width) {
    if (width == 1) {
        bytes.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    for (unsigned i = 0; i < width; ++i) {
        const unsigned k = big_endian ? width - 1 - i : i;
        bytes.push_back(k < 8 ? static_cast<uint8_t>(v >> (8 * k)) : 0);
    }
    return *this;
}

Emitter& Emitter::uleb(uint64_t v) {
    do {
        uint8_t b = v & 0x7F;
        v >>= 7;
        bytes.push_back(static_cast<uint8_t>(v ? b | 0x80 : b));
    } while (v);
    return *this;
}

Emitter& Emitter::sleb(int64_t v) {
    for (;;) {
        uint8_t b = v & 0x7F;
        v >>= 7;  // arithmetic shift keeps the sign
        const bool done = (v == 0 && !(b & 0x40)) || (v == -1 && (b & 0x40));
        bytes.push_back(static_cast<uint8_t>(done ? b : b | 0x80));
        if (done) return *this;
    }
}

Emitter& Emitter::text(const std::string& s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    bytes.push_back(0);
    return *this;
}

Emitter& Emitter::append(const std::vector<uint8_t>& b) {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
}

void Emitter::patch(size_t at, uint64_t v, unsigned width) {
    Emitter e;
    e.big_endian = big_endian;
    e.put(v, width);
    std::memcpy(bytes.data() + at, e.bytes.data(), width);
}

Machine machine_of(uint8_t selector) {
    static constexpr Machine kMachines[8] = {
        {42, 0},           // SH
        {46, 0x00800000},  // H8/300
        {46, 0x00810000},  // H8/300H
        {46, 0x00820000},  // H8S
        {40, 0x05000200},  // ARM, EABI 5 as current linkers write it
        {173, 0},          // RX
        {40, 0x05000002},  // ARM, EABI 5 with the older flags
        {46, 0x00860000},  // H8S, another variant
    };
    return kMachines[selector & 7];
}

void put_elf_header(Emitter& e, const Machine& m, uint32_t entry, uint32_t phoff, uint32_t shoff, uint32_t phnum,
                    uint32_t shnum, uint32_t shstrndx) {
    static const uint8_t kIdent[8] = {0x7F, 'E', 'L', 'F', 1, 1, 1, 0};
    e.bytes.insert(e.bytes.end(), kIdent, kIdent + 8);
    e.bytes[e.bytes.size() - 3] = e.big_endian ? 2 : 1;  // EI_DATA
    e.put(0, 8);
    e.u16(2).u16(m.e_machine).u32(1).u32(entry).u32(phoff).u32(shoff).u32(m.e_flags);
    e.u16(kElfHeaderBytes).u16(kProgramEntryBytes).u16(phnum).u16(kSectionEntryBytes).u16(shnum).u16(shstrndx);
}

void put_program_entry(Emitter& e, const ProgramHeader& p) {
    for (uint32_t v : {p.p_type, p.p_offset, p.p_vaddr, p.p_paddr, p.p_filesz, p.p_memsz, p.p_flags, p.p_align})
        e.u32(v);
}

void put_section_entry(Emitter& e, const SectionHeader& s) {
    for (uint32_t v : {s.sh_name, s.sh_type, s.sh_flags, s.sh_addr, s.sh_offset, s.sh_size, s.sh_link, s.sh_info,
                       s.sh_addralign, s.sh_entsize})
        e.u32(v);
}

std::vector<uint8_t> build_image(const ImageLayout& layout) {
    Emitter e;
    e.big_endian = layout.big_endian;
    const size_t sections = layout.sections.size();
    size_t total = kElfHeaderBytes + (layout.segments.size()) * kProgramEntryBytes + (sections + 2) * kSectionEntryBytes;
    for (const ImageSection& s : layout.sections) total += s.data.size() + s.name.size() + 1;
    e.bytes.reserve(total + 16);
    const uint32_t phoff = layout.segments.empty() ? 0 : kElfHeaderBytes;
    size_t at = kElfHeaderBytes + layout.segments.size() * kProgramEntryBytes;

    std::vector<uint32_t> offsets;
    Emitter names;
    names.u8(0);
    std::vector<uint32_t> name_at;
    for (const ImageSection& s : layout.sections) {
        offsets.push_back(static_cast<uint32_t>(at));
        if (s.type != kSectionNobits) at += s.data.size();
        name_at.push_back(static_cast<uint32_t>(names.size()));
        names.text(s.name);
    }
    const uint32_t names_name = static_cast<uint32_t>(names.size());
    names.text(".shstrtab");
    const uint32_t names_offset = static_cast<uint32_t>(at);
    at += names.size();
    const uint32_t shoff = static_cast<uint32_t>(at);

    put_elf_header(e, layout.machine, layout.entry, phoff, shoff, static_cast<uint32_t>(layout.segments.size()),
                   static_cast<uint32_t>(sections + 2), static_cast<uint32_t>(sections + 1));
    for (const ImageSegment& g : layout.segments) {
        ProgramHeader p = g.header;
        if (g.section >= 0 && static_cast<size_t>(g.section) < sections) p.p_offset = offsets[g.section];
        put_program_entry(e, p);
    }
    for (const ImageSection& s : layout.sections) {
        if (s.type != kSectionNobits) e.append(s.data);
    }
    e.append(names.bytes);
    put_section_entry(e, SectionHeader{});
    for (size_t i = 0; i < sections; ++i) {
        const ImageSection& s = layout.sections[i];
        put_section_entry(e, SectionHeader{name_at[i], s.type, s.flags, s.addr, offsets[i],
                                           static_cast<uint32_t>(s.data.size()), 0, 0, 1, 0});
    }
    put_section_entry(e, SectionHeader{names_name, 3, 0, 0, names_offset, static_cast<uint32_t>(names.size()), 0, 0,
                                       1, 0});
    return e.bytes;
}

std::vector<std::string> fuzz_arguments(uint8_t options, unsigned allowed) {
    std::vector<std::string> args;
    const bool trace = (options & 7) == 7;
    if (trace) args.push_back("-d");
    if ((allowed & kForceSrec) || ((allowed & kAllowSrec) && (options & 1))) args.push_back("-a");
    if ((allowed & kAllowNoLocals) && !trace && (options & 2)) args.push_back("-l");
    static const char* const kBits[5] = {"-g", "-i", "-f", "-r", "-m"};
    for (int bit = 3; bit < 8; ++bit) {
        if (options & (1u << bit)) args.push_back(kBits[bit - 3]);
    }
    return args;
}

int run_fuzz_case(const FuzzCase& c, std::string* console) {
    std::vector<std::string> args = fuzz_arguments(c.options, c.allowed);
    std::vector<const char*> argv = {"morvik"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(kFuzzInputName);
    Session s;
    s.console.to_memory = true;
    s.console.discard = console == nullptr;
    s.files.in_memory = true;
    s.files.drop_written = console == nullptr;
    s.files.memory_files[kFuzzInputName].assign(reinterpret_cast<const char*>(c.image.data()), c.image.size());
    const int code = run_morvik(s, static_cast<int>(argv.size()), argv.data(), fuzz_threads(c.options));
    if (console) *console = std::move(s.console.text);
    return code;
}
