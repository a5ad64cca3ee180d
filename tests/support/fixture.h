// The one fixture of the unit tests: DWARF sections assembled byte by byte
// with named DIEs, an ELF file around them, and a session over that file in
// memory, with the text its pass wrote and the warnings it printed.
//
//   DwarfBuilder d;                     // .debug_abbrev, .debug_info, .debug_loc, .debug_line
//   d.declare(1, DW_TAG_variable, false, {{DW_AT_type, DW_FORM_ref4}});
//   d.end_abbrevs();
//   d.begin_unit();
//   d.info.uleb(1); d.ref4("int");      // a reference to the DIE named below
//   d.label("int"); ...
//   d.end_unit();
//   Fixture f(d.image(), true);         // the ELF pass has run; trace mode on
//   walk_units(f.s, f.out);             // any pass, writing into f.out
//   EXPECT_EQ(f.text(), "...");         // CR LF shown as "\n"
//   EXPECT_EQ(f.warnings(), 0u);
//
// A Fixture without an image is a bare session whose tables a test fills
// by hand. Whole conversions run through run_in_memory (run_helpers.h).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/session.h"
#include "common/text_io.h"
#include "support/elf_builder.h"
#include "support/run_helpers.h"

struct DwarfBuilder {
    using Pair = std::pair<uint32_t, uint32_t>;  // attribute, form

    explicit DwarfBuilder(bool big_endian = false, uint16_t machine = 40)
        : big_endian(big_endian), machine(machine), abbrev(big_endian), info(big_endian), loc(big_endian),
          line(big_endian), ranges(big_endian), frame(big_endian) {}

    bool big_endian;
    uint16_t machine;  // e_machine of the file (40 ARM: its EABI 5 flags are written too)
    ByteWriter abbrev, info, loc, line;
    ByteWriter ranges, frame;  // .debug_ranges and .debug_frame, written when not empty
    bool with_text = true;     // a .text section first, as linked files have
    bool with_abbrev = true;   // .debug_abbrev even when empty
    // Further sections by name (.debug_str, .debug_addr, ...), after .debug_line.
    std::vector<std::pair<std::string, ByteWriter>> sections;
    ByteWriter& section(const std::string& name) {
        for (auto& [n, w] : sections)
            if (n == name) return w;
        sections.emplace_back(name, ByteWriter(big_endian));
        return sections.back().second;
    }

    // Abbreviation declarations of the units that follow.
    void begin_abbrevs() { abbrev_start = static_cast<uint32_t>(abbrev.size()); }
    void declare(uint32_t code, uint32_t tag, bool children, const std::vector<Pair>& pairs);
    void end_abbrevs() { abbrev.u8(0); }

    // A unit header with a back-patched length; end_unit patches it and the
    // references of the unit.
    void begin_unit(uint8_t address_size = 4, uint16_t version = 2);
    void end_unit();
    // Offset of the next DIE from the start of the open unit (a DW_FORM_ref4 value).
    uint32_t here() const { return static_cast<uint32_t>(info.size() - unit_start); }
    // Offset of the next DIE in .debug_info (a DW_FORM_ref_addr value).
    uint32_t here_in_section() const { return static_cast<uint32_t>(info.size()); }

    // Names the next DIE; ref4 and ref_addr write 4-byte references to a
    // named DIE of the same unit (ref4) or of any unit (ref_addr).
    void label(const std::string& name);
    void ref4(const std::string& name);
    void ref_addr(const std::string& name);

    // The ELF file: .text (unless without), .debug_abbrev, .debug_info and
    // the other sections that hold bytes. The indices of .debug_info and
    // .debug_abbrev in it are kept (0 when absent).
    std::vector<uint8_t> image();
    int info_index = 0, abbrev_index = 0;

  private:
    struct Label {
        uint32_t unit_offset, section_offset;
    };
    struct Ref {
        size_t at;
        std::string name;
        bool in_section;
    };
    uint32_t abbrev_start = 0;
    size_t unit_start = 0, length_at = 0;
    std::map<std::string, Label> labels;
    std::vector<Ref> refs;
};

struct Fixture {
    Session s;
    OutText out;  // the file the pass under test writes (SYM, LXX, LIN or mot)

    // A bare session: console and files in memory, no image.
    Fixture();
    // A session over `image` after the ELF pass (whose lines are dropped),
    // then in trace mode when `trace`.
    explicit Fixture(std::vector<uint8_t> image, bool trace = false);
    Fixture(const Fixture&) = delete;
    Fixture& operator=(const Fixture&) = delete;

    // What the pass wrote, CR LF shown as "\n".
    std::string text() const;
    const std::string& console() const { return s.console.text; }
    // The "warning: " lines of the console, without that prefix and the line end.
    std::vector<std::string> warning_lines() const;
    size_t warnings() const { return warning_lines().size(); }
    // Image offset of section `index`.
    size_t section_offset(int index) const;
};
