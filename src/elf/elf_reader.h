// The ELF container: header, program headers, sections, section names and
// the DWARF sections the later passes read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/elf_codes.h"
#include "common/elf_info.h"

struct Session;
struct OutText;

// The ELF pass: reads the ELF header and tables and finds the DWARF
// sections; in trace mode dumps everything to `sym` and the console; writes
// the DWARF version line into `sym` when .debug_info is found. Returns
// whether the header was accepted.
bool read_elf(Session& s, OutText& sym);

// Image offset and length of section `index`, clamped to the image. Returns
// false (and zeros) for index 0 or an index outside the table; `cut` tells
// whether the section reached beyond the image.
bool section_bounds(const Session& s, uint32_t index, size_t& offset, size_t& length, bool* cut = nullptr);
