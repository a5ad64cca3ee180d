// Builders for hand-made line-number programs, and the fixture that runs the
// line reader over them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "lines/line_program.h"
#include "lines/line_state.h"
#include "support/fixture.h"

namespace linetest {

// Instructions of a line-number program.
struct Ops {
    ByteWriter w;
    int line_base = -5;
    int line_range = 14;
    int opcode_base = 10;

    Ops& set_address(uint32_t a) {
        w.u8(0).uleb(5).u8(2).u32(a);
        return *this;
    }
    Ops& end_sequence() {
        w.u8(0).uleb(1).u8(1);
        return *this;
    }
    Ops& copy() {
        w.u8(1);
        return *this;
    }
    Ops& advance_pc(uint32_t n) {
        w.u8(2).uleb(n);
        return *this;
    }
    Ops& advance_line(int32_t n) {
        w.u8(3).sleb(n);
        return *this;
    }
    Ops& set_file(uint32_t n) {
        w.u8(4).uleb(n);
        return *this;
    }
    // A special opcode advancing the line by `dl` and the address by `da` steps.
    Ops& special(int dl, int da) {
        w.u8(static_cast<uint32_t>((dl - line_base) + line_range * da + opcode_base));
        return *this;
    }
    Ops& raw(std::vector<uint8_t> b) {
        w.raw(b);
        return *this;
    }
};

struct FileItem {
    std::string name;
    uint32_t dir = 0;
};

struct Program {
    uint16_t version = 2;
    uint8_t min_inst = 1;
    int8_t line_base = -5;
    uint8_t line_range = 14;
    uint8_t opcode_base = 10;
    uint8_t later_opcode_length = 0;  // standard_opcode_lengths entry of opcodes 13 and up
    std::vector<std::string> dirs;
    std::vector<FileItem> files{{"main.c", 0}};
    Ops ops;
    // When set, header_length is this instead of the real header size.
    long header_length_override = -1;

    Program() { sync(); }
    void sync() {
        ops.line_base = line_base;
        ops.line_range = line_range;
        ops.opcode_base = opcode_base;
    }

    // Version 5: directory 0 is comp_dir and `dirs` follow it; file k of
    // `files` is file k (0 the primary file); `dir_form` and `entry_md5`
    // shape the entry formats.
    std::string comp_dir = "/work";
    uint32_t dir_form = 0x08;  // DW_FORM_string
    bool entry_md5 = true;

    std::vector<uint8_t> tables5_override;  // when set, the tables' bytes

    void append_tables5(ByteWriter& w) const {
        if (!tables5_override.empty()) {
            w.raw(tables5_override);
            return;
        }
        w.u8(1).uleb(1).uleb(dir_form);  // DW_LNCT_path
        w.uleb(1 + dirs.size());
        w.cstr(comp_dir);
        for (const std::string& d : dirs) w.cstr(d);
        // path (string), directory_index (udata), MD5 (data16)
        w.u8(entry_md5 ? 3 : 2).uleb(1).uleb(0x08).uleb(2).uleb(0x0f);
        if (entry_md5) w.uleb(5).uleb(0x1e);
        w.uleb(files.size());
        for (const FileItem& f : files) {
            w.cstr(f.name).uleb(f.dir);
            if (entry_md5) w.fill(16, 0xA5);
        }
    }

    void append_to(ByteWriter& w) const {
        size_t len = w.placeholder32();
        w.u16(version);
        if (version >= 5) w.u8(4).u8(0);  // address_size, segment_selector_size
        size_t hl = w.placeholder32();
        w.u8(min_inst);
        if (version >= 4) w.u8(1);  // maximum_operations_per_instruction
        w.u8(1).u8(static_cast<uint8_t>(line_base)).u8(line_range).u8(opcode_base);
        static const uint8_t kLengths[] = {0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 1};
        for (int i = 1; i < opcode_base; ++i) w.u8(i - 1 < 12 ? kLengths[i - 1] : later_opcode_length);
        if (version >= 5) {
            append_tables5(w);
        } else {
            for (const std::string& d : dirs) w.cstr(d);
            w.u8(0);
            for (const FileItem& f : files) w.cstr(f.name).uleb(f.dir).uleb(0).uleb(0);
            w.u8(0);
        }
        w.patch32(hl, header_length_override >= 0 ? static_cast<uint32_t>(header_length_override)
                                                  : static_cast<uint32_t>(w.size() - hl - 4));
        w.raw(ops.w.bytes);
        w.patch_length32(len);
    }
};

// A fixture over a file whose .debug_line holds `line_bytes` (and, unless
// `with_info` is false, a .debug_info unit giving the address size), after
// the ELF pass; run() runs the line pass and returns the LXX text.
struct LineRun : Fixture {
    explicit LineRun(const std::vector<uint8_t>& line_bytes, uint8_t address_size = 4, bool with_info = true)
        : Fixture(line_file(line_bytes, address_size, with_info)) {}
    std::string run() {
        read_line_programs(s, out);
        return text();
    }

    static std::vector<uint8_t> line_file(const std::vector<uint8_t>& line_bytes, uint8_t address_size,
                                          bool with_info) {
        DwarfBuilder d;
        d.with_text = false;
        d.with_abbrev = false;
        if (with_info) {
            d.begin_unit(address_size);
            d.info.u8(0);
            d.end_unit();
        }
        d.line.raw(line_bytes);
        return d.image();
    }
};

// Lines of `text` that are not trace lines of the reader ("/ ", "/-----",
// the header value lines and the section counter).
inline std::string without_trace(const std::string& text) {
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        size_t end = nl == std::string::npos ? text.size() : nl + 1;
        std::string line = text.substr(pos, end - pos);
        pos = end;
        bool trace = line.rfind("/ ", 0) == 0 || line.rfind("/-----", 0) == 0 || line.rfind("/<<<", 0) == 0 ||
                     line.rfind("/directories", 0) == 0 ||
                     (line.size() > 20 && line[0] == '/' && line.compare(20, 2, "0x") == 0);
        if (!trace) out += line;
    }
    return out;
}

}  // namespace linetest
