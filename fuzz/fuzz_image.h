// What every fuzz target shares: reading the fuzzed bytes, laying out a
// small ELF32 image around them, choosing the run's options and running one
// conversion in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "elf/elf_reader.h"

// Takes fields off the front of the fuzzed bytes; past the end every field
// reads as 0 and every run of bytes as empty.
struct FuzzBytes {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;

    uint8_t u8();
    uint16_t u16();  // little-endian
    uint32_t u32();  // little-endian
    std::vector<uint8_t> take(size_t n);  // at most what is left
    std::vector<uint8_t> rest() { return take(size - pos); }
};

// Appends values in the target byte order.
struct Emitter {
    bool big_endian = false;
    std::vector<uint8_t> bytes;

    size_t size() const { return bytes.size(); }
    // The low `width` bytes of v (width up to 8; wider fields get zero bytes
    // on the side of the high-order end).
    Emitter& put(uint64_t v, unsigned width);
    Emitter& u8(uint32_t v) { return put(v, 1); }
    Emitter& u16(uint32_t v) { return put(v, 2); }
    Emitter& u32(uint32_t v) { return put(v, 4); }
    Emitter& uleb(uint64_t v);
    Emitter& sleb(int64_t v);
    Emitter& text(const std::string& s);  // with its NUL
    Emitter& append(const std::vector<uint8_t>& b);
    void patch(size_t at, uint64_t v, unsigned width);
};

// ELF header values of the targets morvik knows, chosen by a byte.
struct Machine {
    uint16_t e_machine;
    uint32_t e_flags;
};
Machine machine_of(uint8_t selector);

constexpr uint32_t kSectionProgbits = 1;
constexpr uint32_t kSectionNobits = 8;
constexpr uint32_t kFlagWrite = 1, kFlagAlloc = 2, kFlagExec = 4;
constexpr size_t kElfHeaderBytes = 52;
constexpr size_t kProgramEntryBytes = 32;
constexpr size_t kSectionEntryBytes = 40;

struct ImageSection {
    std::string name;
    uint32_t type = kSectionProgbits;
    uint32_t flags = 0;
    uint32_t addr = 0;
    std::vector<uint8_t> data;
};

// A program header; with `section` >= 0 its p_offset becomes the file
// offset of that entry of ImageLayout::sections.
struct ImageSegment {
    ProgramHeader header{1, 0, 0, 0, 0, 0, 5, 4};
    int section = -1;
};

// An executable ELF32 file: header, program header table, section contents
// in order, the section name table and the section header table (null
// section first, the name table last).
struct ImageLayout {
    bool big_endian = false;
    Machine machine{40, 0x05000200};
    uint32_t entry = 0;
    std::vector<ImageSection> sections;
    std::vector<ImageSegment> segments;
};
std::vector<uint8_t> build_image(const ImageLayout& layout);

// Header fields and table entries written as they stand.
void put_elf_header(Emitter& e, const Machine& m, uint32_t entry, uint32_t phoff, uint32_t shoff, uint32_t phnum,
                    uint32_t shnum, uint32_t shstrndx);
void put_program_entry(Emitter& e, const ProgramHeader& p);
void put_section_entry(Emitter& e, const SectionHeader& s);

// Which options a target lets its option byte turn on beside -d -g -i -f -r -m.
enum : unsigned {
    kAllowSrec = 1,      // -a
    kAllowNoLocals = 2,  // -l
    kForceSrec = 4,      // -a always
};

// One conversion to run: the image and the options.
struct FuzzCase {
    std::vector<uint8_t> image;
    uint8_t options = 0;
    unsigned allowed = 0;
};

// The arguments after the program name for an option byte: -d for one byte
// value in eight (bits 0-2 all set), then bit 3 -g, bit 4 -i, bit 5 -f,
// bit 6 -r, bit 7 -m, bit 0 -a and (without -d) bit 1 -l where allowed.
std::vector<std::string> fuzz_arguments(uint8_t options, unsigned allowed);
// The threads of the symbol pass for an option byte: 2 when bit 2 is set
// (so always with -d), else 1.
inline unsigned fuzz_threads(uint8_t options) { return (options & 4) ? 2 : 1; }

// The input name every fuzz run converts.
constexpr const char* kFuzzInputName = "fuzz.abs";

// Converts the image in memory; returns the exit code. With `console`, the
// console text is left there.
int run_fuzz_case(const FuzzCase& c, std::string* console = nullptr);
