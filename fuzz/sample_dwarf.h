// Small, valid DWARF 2 sections that the targets put around the fuzzed
// bytes: a compilation unit with the shapes the symbol walk handles, a
// line-number program and location lists.
#pragma once

#include <cstdint>
#include <vector>

#include "fuzz_image.h"

// Writes a unit header of `version` (the DWARF 5 layout from version 5 on)
// and returns the position of its unit_length, to be patched with
// finish_unit once the DIEs are written.
size_t put_unit_header(Emitter& e, uint16_t version, uint32_t abbrev_offset, uint8_t address_size);
void finish_unit(Emitter& e, size_t length_at);
// Size of the unit header put_unit_header writes for `version`.
size_t unit_header_size(uint16_t version);

struct SampleUnit {
    std::vector<uint8_t> info, abbrev, str;
};

// One unit: with `all_types` base, structure (with a bit field), pointer,
// array and typedef types and two globals, else one base type and one
// global; a function whose frame base is the location list at loc_lists[0]
// (a block when the list is empty), a parameter at a frame offset and one
// local per further entry of loc_lists, located by that list.
SampleUnit sample_unit(bool big_endian, uint8_t address_size, const std::vector<uint32_t>& loc_lists,
                       bool all_types);

// One program with two files, rows from every standard opcode and a
// defined file.
std::vector<uint8_t> sample_line_program(bool big_endian);

// Three lists (frame base, register and frame-offset places, extended
// registers); `starts` receives the offset of each.
std::vector<uint8_t> sample_loc_lists(bool big_endian, uint8_t address_size, std::vector<uint32_t>& starts);

// The sections of a whole sample program: .text, .data, .bss and the five
// DWARF sections, in this order.
std::vector<ImageSection> sample_sections(bool big_endian);

// The sample program as a whole file: those sections, a loadable segment
// for .text and one for .data loaded from behind .text.
std::vector<uint8_t> sample_image(bool big_endian, const Machine& machine);
