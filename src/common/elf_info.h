// The ELF tables of the run: what the ELF pass reads and every later pass
// looks up (the header record with the target machine code, the program
// headers, the sections and their names, where the DWARF sections are).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/elf_codes.h"

struct ElfHeader {
    uint32_t e_type = 0;
    uint32_t e_machine = 0;  // the target machine code, not the file's value
    uint32_t e_version = 0;
    uint32_t e_entry = 0;
    uint32_t e_phoff = 0;
    uint32_t e_shoff = 0;
    uint32_t e_flags = 0;
    uint32_t e_ehsize = 0;
    uint32_t e_phentsize = 0;
    uint32_t e_phnum = 0;
    uint32_t e_shentsize = 0;
    uint32_t e_shnum = 0;
    uint32_t e_shstrndx = 0;
};

struct ProgramHeader {
    uint32_t p_type, p_offset, p_vaddr, p_paddr, p_filesz, p_memsz, p_flags, p_align;
};

struct SectionHeader {
    uint32_t sh_name, sh_type, sh_flags, sh_addr, sh_offset, sh_size, sh_link, sh_info, sh_addralign,
        sh_entsize;
};

// Target machine codes stored in ElfHeader::e_machine.
enum : uint32_t {
    kMachineSH = 42,
    kMachineH8_300 = 46,
    kMachineH8_300H = 47,
    kMachineH8S = 48,
    kMachineARM = 80,
    kMachineRX = EM_RX,
};

constexpr size_t kMaxProgramHeaders = 4096;
constexpr size_t kMaxSections = 4096;

struct ElfInfo {
    uint8_t ei_data = 0;      // e_ident[EI_DATA]: 2 big-endian, other values little-endian
    bool big_endian = false;
    bool header_accepted = false;
    ElfHeader header;
    std::vector<ProgramHeader> program_headers;  // e_phnum entries (at most 4096)
    std::vector<SectionHeader> sections;         // e_shnum entries (at most 4096)
    std::vector<std::string> section_names;      // one per section

    // DWARF sections: index 0 means absent.
    uint16_t info_index = 0, abbrev_index = 0, line_index = 0, loc_index = 0, str_index = 0;
    // The sections units of DWARF 5 add.
    uint16_t line_str_index = 0, str_offsets_index = 0, addr_index = 0, loclists_index = 0, rnglists_index = 0;
    size_t info_start = 0;  // image offset of .debug_info
    size_t str_start = 0;   // image offset of .debug_str
    uint32_t dwarf_version = 0;
    uint8_t address_size = 4;
};
