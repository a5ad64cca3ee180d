// Codes of the ELF format that the converter tests, by their ELF names.
#pragma once

#include <cstddef>
#include <cstdint>

// e_ident
constexpr size_t EI_CLASS = 4;
constexpr size_t EI_DATA = 5;
constexpr uint8_t ELFCLASS32 = 1;
constexpr uint8_t ELFDATA2MSB = 2;

// e_machine
constexpr uint32_t EM_ARM = 40;
constexpr uint32_t EM_RX = 173;

// e_flags of the GNU H8 tools: the H8 variant.
constexpr uint32_t E_H8_MACH_H8300 = 0x00800000;
constexpr uint32_t E_H8_MACH_H8300H = 0x00810000;
constexpr uint32_t E_H8_MACH_H8300S = 0x00820000;
constexpr uint32_t E_H8_MACH_H8300HN = 0x00830000;  // H8/300H normal mode
constexpr uint32_t E_H8_MACH_H8300SN = 0x00840000;  // H8S normal mode
constexpr uint32_t E_H8_MACH_H8300SX = 0x00850000;
constexpr uint32_t E_H8_MACH_H8300SXN = 0x00860000; // H8SX normal mode

// e_flags of ARM EABI version 5 files.
constexpr uint32_t EF_ARM_EABI_VER5 = 0x05000000;
constexpr uint32_t EF_ARM_HASENTRY = 0x00000002;
constexpr uint32_t EF_ARM_ABI_FLOAT_HARD = 0x00000400;

// sh_type, sh_flags
constexpr uint32_t SHT_PROGBITS = 1;
constexpr uint32_t SHF_WRITE = 0x1;
constexpr uint32_t SHF_ALLOC = 0x2;
constexpr uint32_t SHF_EXECINSTR = 0x4;
