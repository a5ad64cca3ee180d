// Hand-made DWARF 2 inputs for the symbol walk, and a reader for SYM records.
//
// DwarfFile assembles .debug_abbrev, .debug_info and .debug_loc side by side:
// a test declares abbreviations, then writes DIEs as bytes, using
// placeholders for type references that it patches once the referenced DIE
// has been written. parse_records splits a SYM file into its records.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/elf_builder.h"
#include "support/run_helpers.h"

namespace symtest {

using AttrPair = std::pair<uint32_t, uint32_t>;  // attribute, form

struct DwarfFile {
    explicit DwarfFile(bool big_endian = false, uint16_t machine = 40)
        : big_endian(big_endian), machine(machine), abbrev(big_endian), info(big_endian), loc(big_endian) {}

    bool big_endian;
    uint16_t machine;
    ByteWriter abbrev, info, loc;
    size_t unit_start = 0;   // .debug_info offset of the open unit
    size_t length_at = 0;    // its unit_length field
    uint32_t abbrev_start = 0;

    // Starts a declaration list for the next unit (its abbrev_offset).
    void begin_abbrevs() { abbrev_start = static_cast<uint32_t>(abbrev.size()); }
    void declare(uint32_t code, uint32_t tag, bool children, const std::vector<AttrPair>& specs) {
        abbrev.uleb(code).uleb(tag).u8(children ? 1 : 0);
        for (const AttrPair& s : specs) abbrev.uleb(s.first).uleb(s.second);
        abbrev.u8(0).u8(0);
    }
    void end_abbrevs() { abbrev.u8(0); }

    void begin_unit(uint8_t address_size = 4) {
        unit_start = info.size();
        length_at = ::begin_unit(info, 2, abbrev_start, address_size);
    }
    void end_unit() { info.patch_length32(length_at); }
    // Offset of the next DIE from the start of the open unit (a DW_FORM_ref4 value).
    uint32_t here() const { return static_cast<uint32_t>(info.size() - unit_start); }
    // Offset of the next DIE in .debug_info (a DW_FORM_ref_addr value).
    uint32_t here_in_section() const { return static_cast<uint32_t>(info.size()); }
    // Patches a reference placeholder with the offset of the next DIE.
    void point_here(size_t placeholder) { info.patch32(placeholder, here()); }

    std::vector<uint8_t> build() const {
        ElfBuilder b;
        b.big_endian = big_endian;
        b.machine = machine;
        if (machine != 40) b.flags = 0;
        b.add_section(".text", std::vector<uint8_t>(16, 0), 1, 6, 0x1000);
        b.add_section(".debug_abbrev", abbrev);
        b.add_section(".debug_info", info);
        if (loc.size()) b.add_section(".debug_loc", loc);
        return b.build();
    }
};

// One SYM record: the fields by label ("nest", "name", ...); floc rows in order.
struct Record {
    int index = -1;
    std::map<std::string, std::string> field;
    std::vector<std::string> floc;
    std::string text;  // the record as written, "\n" line ends
    const std::string& operator[](const std::string& key) const {
        static const std::string none = "<absent>";
        auto it = field.find(key);
        return it == field.end() ? none : it->second;
    }
    bool has(const std::string& key) const { return field.count(key) != 0; }
};

inline std::vector<Record> parse_records(const std::string& sym) {
    std::vector<Record> out;
    Record cur;
    bool open = false;
    size_t pos = 0;
    while (pos < sym.size()) {
        size_t nl = sym.find('\n', pos);
        if (nl == std::string::npos) nl = sym.size();
        std::string line = sym.substr(pos, nl - pos);
        pos = nl + 1;
        if (line.rfind(": index[", 0) == 0) {
            cur = Record{};
            cur.index = std::stoi(line.substr(8));
            open = true;
            cur.text = line + "\n";
            continue;
        }
        if (!open) continue;
        cur.text += line + "\n";
        if (line == "=") {
            out.push_back(cur);
            open = false;
        } else if (line.rfind("+ ", 0) == 0) {
            size_t lb = line.find('[');
            std::string key = line.substr(2, lb - 2);
            std::string value = line.substr(lb + 1, line.size() - lb - 2);
            if (key == "floc")
                cur.floc.push_back(value);
            else
                cur.field[key] = value;
        }
    }
    return out;
}

// Runs a conversion of `image` named t.elf with the given options and
// returns the SYM text ("\n" line ends) and the console.
struct Conversion {
    RunResult run;
    std::string sym;
    std::vector<Record> records;
    const Record* find(const std::string& name, size_t skip = 0) const {
        for (const Record& r : records)
            if (r["name"] == name && skip-- == 0) return &r;
        return nullptr;
    }
};

inline Conversion convert(const std::vector<uint8_t>& image, std::vector<std::string> options = {}) {
    options.push_back("t.elf");
    Conversion c;
    c.run = run_in_memory(options, "t.elf", image);
    c.sym = c.run.text("t.SYM");
    c.records = parse_records(c.sym);
    return c;
}

}  // namespace symtest
