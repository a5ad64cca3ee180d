// Builders for hand-made line-number programs and a session that runs the
// line reader over them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "driver/passes.h"
#include "common/session.h"
#include "common/text_io.h"
#include "elf/elf_reader.h"
#include "lines/line_state.h"
#include "support/elf_builder.h"

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

    void append_to(ByteWriter& w) const {
        size_t len = w.placeholder32();
        w.u16(version);
        size_t hl = w.placeholder32();
        w.u8(min_inst);
        if (version == 4) w.u8(1);  // maximum_operations_per_instruction
        w.u8(1).u8(static_cast<uint8_t>(line_base)).u8(line_range).u8(opcode_base);
        static const uint8_t kLengths[] = {0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 1};
        for (int i = 1; i < opcode_base; ++i) w.u8(i - 1 < 12 ? kLengths[i - 1] : later_opcode_length);
        for (const std::string& d : dirs) w.cstr(d);
        w.u8(0);
        for (const FileItem& f : files) w.cstr(f.name).uleb(f.dir).uleb(0).uleb(0);
        w.u8(0);
        w.patch32(hl, header_length_override >= 0 ? static_cast<uint32_t>(header_length_override)
                                                  : static_cast<uint32_t>(w.size() - hl - 4));
        w.raw(ops.w.bytes);
        w.patch_length32(len);
    }
};

inline std::vector<uint8_t> debug_info_unit(uint8_t address_size = 4) {
    ByteWriter w;
    size_t len = begin_unit(w, 2, 0, address_size);
    w.u8(0);
    w.patch_length32(len);
    return w.bytes;
}

inline std::string crlf_to_lf(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
        out += s[i];
    }
    return out;
}

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

// A session holding an ELF image with `.debug_line` made of `line_bytes`
// (and a .debug_info unit with the given address size), after the ELF pass.
struct LineRun {
    Session s;
    OutText sym, lxx;

    explicit LineRun(const std::vector<uint8_t>& line_bytes, uint8_t address_size = 4, bool with_info = true) {
        s.console.to_memory = true;
        ElfBuilder b;
        if (with_info) b.add_section(".debug_info", debug_info_unit(address_size));
        b.add_section(".debug_line", line_bytes);
        s.image = b.build();
        out_open_memory(sym);
        read_elf(s, sym);
        s.console.text.clear();
        out_open_memory(lxx);
    }
    // Runs the line reader and returns the LXX text (LF line ends).
    std::string run() {
        read_line_programs(s, lxx);
        return crlf_to_lf(lxx.data);
    }
};

}  // namespace linetest
