// Test-side assemblers for hand-made inputs.
//
// ByteWriter lays out section bytes in either byte order (u8/u16/u32,
// LEB128, strings, back-patched lengths). ElfBuilder lays out a whole ELF32
// file with chosen program headers and sections, the section-name string
// table last, so a test states exactly the bytes one structure has.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ByteWriter {
    explicit ByteWriter(bool big_endian = false) : big_endian(big_endian) {}
    bool big_endian;
    std::vector<uint8_t> bytes;

    size_t size() const { return bytes.size(); }
    ByteWriter& u8(uint32_t v);
    ByteWriter& u16(uint32_t v);
    ByteWriter& u32(uint32_t v);
    ByteWriter& u64(uint64_t v);
    ByteWriter& uleb(uint64_t v);
    ByteWriter& sleb(int64_t v);
    ByteWriter& cstr(const std::string& s);  // with its NUL
    ByteWriter& raw(const std::vector<uint8_t>& b);
    ByteWriter& fill(size_t n, uint8_t v = 0);
    // Reserves a 4-byte (or 2-byte) field to be patched later; returns its offset.
    size_t placeholder32();
    size_t placeholder16();
    void patch32(size_t at, uint32_t v);
    void patch16(size_t at, uint32_t v);
    // Patches a 4-byte length at `at` with the number of bytes written after it.
    void patch_length32(size_t at) { patch32(at, static_cast<uint32_t>(bytes.size() - at - 4)); }
};

struct ElfBuilder {
    struct Section {
        std::string name;
        uint32_t type = 1;     // SHT_PROGBITS
        uint32_t flags = 0;
        uint32_t addr = 0;
        std::vector<uint8_t> data;
        uint32_t size_override = 0;  // nonzero: sh_size written instead of data.size()
        bool nobits = false;         // no file bytes (SHT_NOBITS-like)
        uint32_t offset = 0;         // filled by build()
    };
    struct Segment {
        uint32_t type = 1;  // PT_LOAD
        int section = -1;   // when >= 0, p_offset is that section's file offset
        uint32_t offset = 0, vaddr = 0, paddr = 0, filesz = 0, memsz = 0, flags = 5, align = 4;
    };

    bool big_endian = false;
    uint8_t ei_class = 1;
    uint8_t ei_data = 0;       // 0: derived from big_endian (1 or 2)
    uint16_t type = 2;         // ET_EXEC
    uint16_t machine = 40;     // EM_ARM
    uint32_t flags = 0x05000200;
    uint32_t entry = 0;
    std::vector<Section> sections;  // index 0 (the null section) is added by build()
    std::vector<Segment> segments;

    // Returns the section's index in the built file (the null section is 0).
    int add_section(const std::string& name, const std::vector<uint8_t>& data, uint32_t type = 1,
                    uint32_t flags = 0, uint32_t addr = 0);
    int add_section(const std::string& name, const ByteWriter& w) { return add_section(name, w.bytes); }
    ByteWriter writer() const { return ByteWriter(big_endian); }
    std::vector<uint8_t> build();
};

// Minimal DWARF 2 helpers for tests: a compilation unit header with a
// back-patched unit_length (version 5: its own layout, unit type
// DW_UT_compile). Returns the offset of the length field.
size_t begin_unit(ByteWriter& w, uint16_t version = 2, uint32_t abbrev_offset = 0, uint8_t address_size = 4);
