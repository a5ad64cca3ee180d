// The load image as Motorola S-records.
//
// One record is one text line: "S", the type digit, a count byte, an
// address of 2, 3 or 4 bytes, the data bytes and a checksum, all as
// upper-case hex. The mot file holds an S0 header carrying the file's own
// name, data records of at most 16 bytes for every loadable section, and
// one termination record carrying the entry address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "elf/elf_reader.h"

struct Session;
struct OutText;

// The S-record pass: the S0 header carrying `mot_name`, the data records of
// every loadable section and the termination record with the entry address.
void write_srec_file(Session& s, OutText& mot, const std::string& mot_name);

// Longest data record.
constexpr unsigned kSrecDataBytes = 16;
// The S0 record carries at most this many characters of the mot name.
constexpr size_t kSrecNameChars = 40;

// Number of address bytes of a record type: 2 for S0, S1, S5 and S9, 3 for
// S2, S6 and S8, 4 for S3, S7 and anything else.
unsigned srec_address_bytes(unsigned type);

// Writes one record of type `type` with `n` data bytes. `data` may be null:
// then only type, count, address and checksum are written. The count is
// n + address bytes + 1 modulo 256; the checksum is the ones' complement of
// the low byte of the sum of count, address and data bytes. An address too
// wide for the type keeps only its low bytes.
void write_srec_record(OutText& out, unsigned n, uint32_t address, unsigned type, const uint8_t* data);

// Data record type for a record starting at `address`: S1, S2 or S3.
unsigned srec_data_type(uint32_t address);
// Termination record type for an entry address: S9, S8 or S7.
unsigned srec_termination_type(uint32_t entry);

// A section is loadable when it is SHT_PROGBITS and its flags, reduced to the
// low four bits, are exactly ALLOC, WRITE+ALLOC or ALLOC+EXECINSTR.
bool is_loadable_section(const SectionHeader& section);

// The program headers that can move a section to another load address
// (p_vaddr != p_paddr, p_paddr != 0), ordered for lookup by file offset and
// virtual address; among equal keys the earliest table entry comes first.
struct SegmentIndex {
    struct Start {
        uint32_t offset, vaddr, paddr;
        size_t order;
    };
    std::vector<Start> starts;
};
SegmentIndex index_segments(const std::vector<ProgramHeader>& program_headers);

// The address at which the section's bytes are loaded: the p_paddr of the
// first program header that starts at the section's file offset, runs at
// the section's sh_addr and is loaded elsewhere (p_vaddr != p_paddr,
// p_paddr != 0); otherwise sh_addr. A section further inside such a segment
// keeps its own sh_addr.
uint32_t load_address(const SegmentIndex& segments, const SectionHeader& section);
