// The .debug_line reader: one line-number program after another,
// its header, directory and file tables, and the opcodes of the state
// machine. Only the address and line registers are kept; rows, file
// selections and sequence ends go to the line-file writer.
//
// Program header (offsets from the unit_length field):
//   0 unit_length (4)   4 version (2)   6 header_length (4)
//   10 minimum_instruction_length   11 default_is_stmt   12 line_base (signed)
//   13 line_range   14 opcode_base   15 standard_opcode_lengths (opcode_base - 1)
// then include_directories and file_names; the first opcode is at
// header_length + 10. Version 4 adds maximum_operations_per_instruction
// after minimum_instruction_length.
//
// Version 5 (offsets from the unit_length field):
//   0 unit_length (4)   4 version (2)   6 address_size   7 segment_selector_size
//   8 header_length (4)   12 minimum_instruction_length
//   13 maximum_operations_per_instruction   14 default_is_stmt   15 line_base
//   16 line_range   17 opcode_base   18 standard_opcode_lengths
// then the directory and file tables, each as an entry format (pairs of
// DW_LNCT_* content type and form) and a count of entries of that format;
// the first opcode is at header_length + 12. Directory 0 is the
// compilation directory and file 0 the primary source file.
#include "lines/line_program.h"

#include <cstring>

#include <algorithm>
#include <array>
#include <string>

#include "common/bytes.h"
#include "common/dwarf_codes.h"
#include "common/format.h"
#include "common/session.h"
#include "common/warnings.h"
#include "elf/elf_reader.h"
#include "lines/line_state.h"
#include "lines/line_table.h"
#include "symbols/forms.h"

namespace {

constexpr size_t kFixedHeaderSize = 15;   // up to and including opcode_base
constexpr size_t kFixedHeader5Size = 18;  // the same in version 5

// Trace texts of the opcodes, written with the fast number writers.

// `name` holds one "%02X" where the opcode goes.
void append_op_name(std::string& text, const char* name, unsigned op) {
    const char* code = std::strstr(name, "%02X");
    text.append(name, static_cast<size_t>(code - name));
    append_hex(text, op, 2);
    text += code + 4;
}

// "op(0x%X) "
void append_op_value(std::string& text, uint32_t n) {
    text += "op(0x";
    append_hex(text, n);
    text += ") ";
}

// "<label>%x) adr(0x%X) ", the label ending in "(0x"
void append_address_step(std::string& text, const char* label, uint32_t step, uint32_t address) {
    text += label;
    append_hex_lower(text, step);
    text += ") adr(0x";
    append_hex(text, address);
    text += ") ";
}

// "dl(%d) line(%d) da(0x%X) adr(0x%X) "
void append_advance(std::string& text, int32_t line_step, int32_t line, uint32_t address_step, uint32_t address) {
    text += "dl(";
    append_dec(text, line_step);
    text += ") line(";
    append_dec(text, line);
    text += ") da(0x";
    append_hex(text, address_step);
    text += ") adr(0x";
    append_hex(text, address);
    text += ") ";
}

constexpr size_t kMaxTraceText = 1023;

struct LineProgramHeader {
    uint32_t unit_length = 0;
    uint16_t version = 0;
    uint32_t header_length = 0;
    uint8_t min_instruction_length = 0;
    int8_t line_base = 0;
    uint8_t line_range = 0;
    uint8_t opcode_base = 0;
    // Operand counts of the standard opcodes, from standard_opcode_lengths.
    std::array<uint8_t, 256> opcode_lengths{};
};

// What a special opcode (or DW_LNS_const_add_pc) does to the registers.
struct Advance {
    int16_t line = 0;
    int16_t address = 0;
};

// The arithmetic is 16-bit signed, as the debugger's own reader does it. A
// line_range of 0 would divide by zero; it is taken as 1 (every adjusted
// opcode then advances the address only, the line by line_base).
Advance special_advance(const LineProgramHeader& h, int adjusted) {
    const int16_t adj = static_cast<int16_t>(adjusted);
    const int range = h.line_range ? h.line_range : 1;
    Advance a;
    a.line = static_cast<int16_t>(h.line_base + adj % range);
    a.address = static_cast<int16_t>((adj / range) * h.min_instruction_length);
    return a;
}

uint32_t add_signed(uint32_t value, int32_t delta) { return value + static_cast<uint32_t>(delta); }

std::string cut_name(std::string_view text) {
    return std::string(text.substr(0, std::min(text.size(), kMaxNameChars)));
}

struct ProgramReader {
    Session& s;
    OutText& lxx;
    size_t section_start;
    size_t program_start;
    LineProgramHeader h;
    bool warned = false;
    // The file whose heading was written last, and the file register: a
    // sequence end sets the register back to 1, and the heading follows
    // when the next row is recorded.
    uint32_t heading_file = 1;
    uint32_t file = 1;
    // File k of the program is in slot k + file_shift of the file table:
    // 1 in version 5, whose file numbers count from 0.
    uint32_t file_shift = 0;

    void select_for_row() {
        if (file == heading_file) return;
        heading_file = file;
        select_file(s, lxx, file);
    }

    // One warning per program, however many of its parts are cut.
    void fault(const char* what) {
        if (!warned) warn_at(s, "line-number program", ".debug_line", rel(program_start), std::string(": ") + what);
        warned = true;
    }

    size_t rel(size_t pos) const { return pos - section_start; }

    // Adds a directory; returns its index. Beyond the stored ones the index
    // still counts but the name is not kept.
    uint32_t add_directory(std::string_view text) {
        ProgramTables& pt = s.lines->tables;
        std::string name = cut_name(text);
        if (!name.empty() && name.back() == '\\') name.pop_back();
        uint32_t index = ++pt.directory_count;
        std::string line = "/----- DirName[" + name;
        append_printf(line, "] Index[%d] -----\n", static_cast<int>(index));
        trace_line(s, &lxx, line);
        if (pt.directories.size() < kMaxDirectories) pt.directories.push_back(std::move(name));
        return index;
    }

    std::string directory_name(uint32_t index) const {
        const ProgramTables& pt = s.lines->tables;
        if (index == 0 || index > pt.directory_count || index > pt.directories.size()) return {};
        return pt.directories[index - 1];
    }

    // One file_names entry; false when it is cut by the end of the program.
    bool read_file_entry(ByteReader& r, std::string_view full_name) {
        FileEntry e;
        e.directory_index = read_uleb128(r);
        e.time = read_uleb128(r);
        e.length = read_uleb128(r);
        if (r.overrun) return false;
        add_file_entry(std::move(e), full_name);
        return true;
    }

    // Adds a file entry whose directory index, time and length are set:
    // the name is split into its directory part and file name.
    void add_file_entry(FileEntry e, std::string_view full_name) {
        ProgramTables& pt = s.lines->tables;
        const bool stored = pt.files.size() < kMaxFiles;

        // A slash splits first, whatever follows it; a backslash otherwise.
        size_t split = full_name.rfind('/');
        if (split == std::string_view::npos) split = full_name.rfind('\\');
        std::string_view dir_part;
        std::string_view file_part = full_name;
        if (split != std::string_view::npos) {
            dir_part = full_name.substr(0, split);
            file_part = full_name.substr(split + 1);
        }
        e.name = cut_name(file_part);
        if (e.directory_index != 0) {
            e.directory = directory_name(e.directory_index);
        } else if (!dir_part.empty() && stored) {
            e.directory_index = add_directory(dir_part);
            e.directory = directory_name(e.directory_index);
        }

        std::string line = "/----- FileName[" + e.name;
        append_printf(line, "] Index[%d] Time[%d] Length[%d] -----\n", static_cast<int>(e.directory_index),
                      static_cast<int>(e.time), static_cast<int>(e.length));
        trace_line(s, &lxx, line);
        ++pt.file_count;
        if (stored) pt.files.push_back(std::move(e));
    }

    // A string of a version 5 entry: in place, or in .debug_line_str or
    // .debug_str. Empty when the offset lies outside the section.
    std::string_view section_string(uint16_t index, uint32_t offset) const {
        size_t begin = 0, length = 0;
        if (index == 0 || !section_bounds(s, index, begin, length) || offset >= length) return {};
        return cstring_at(s.image_bytes().data(), begin + length, begin + offset);
    }

    // One value of a version 5 entry format: a string or a number. False
    // for a form whose extent cannot be known (the tables cannot be read
    // past it).
    bool read_entry_value(ByteReader& r, uint32_t form, std::string_view& text, uint32_t& number) const {
        const FormRow row = form_row(form);
        if (form == DW_FORM_line_strp || form == DW_FORM_strp) {
            text = section_string(form == DW_FORM_line_strp ? s.elf.line_str_index : s.elf.str_index,
                                  read_target32(r));
            return true;
        }
        switch (row.layout) {
        case FormLayout::cstring: text = read_cstring(r); return true;
        case FormLayout::uleb128: number = read_uleb128(r); return true;
        case FormLayout::fixed: number = row.size <= 8 ? read_address(r, row.size) : (skip(r, row.size), 0); return true;
        case FormLayout::offset: number = read_target32(r); return true;
        case FormLayout::block1: skip(r, read_u8(r)); return true;
        case FormLayout::block2: skip(r, read_target16(r)); return true;
        case FormLayout::block4: skip(r, read_target32(r)); return true;
        case FormLayout::block_uleb128: skip(r, read_uleb128(r)); return true;
        default: return false;
        }
    }

    // The entry format of a version 5 table: its (content type, form) pairs.
    using EntryFormat = std::vector<std::pair<uint32_t, uint32_t>>;
    static EntryFormat read_entry_format(ByteReader& r) {
        EntryFormat format;
        const uint8_t count = read_u8(r);
        for (unsigned i = 0; i < count && !r.overrun; ++i) {
            const uint32_t type = read_uleb128(r);
            format.emplace_back(type, read_uleb128(r));
        }
        return format;
    }

    // One entry of a version 5 table: its path and the numbers of its
    // other fields. False when cut or of a form that cannot be stepped.
    bool read_entry(ByteReader& r, const EntryFormat& format, std::string_view& path, FileEntry& e) const {
        // An entry of no bytes would let a count of billions run on the spot.
        if (format.empty()) return false;
        for (const auto& [type, form] : format) {
            std::string_view text;
            uint32_t number = 0;
            if (!read_entry_value(r, form, text, number) || r.overrun) return false;
            switch (type) {
            case DW_LNCT_path: path = text; break;
            case DW_LNCT_directory_index: e.directory_index = number; break;
            case DW_LNCT_timestamp: e.time = number; break;
            case DW_LNCT_size: e.length = number; break;
            default: break;
            }
        }
        return true;
    }

    // The directory and file tables of version 5; false when cut by the
    // program's end or unreadable. Directory 0 (the compilation directory)
    // is the "no directory" of the older tables, so directory k keeps its
    // index; file k is stored in slot k + 1.
    bool read_tables5(ByteReader& r) {
        ProgramTables& pt = s.lines->tables;
        pt.directories.clear();
        pt.directory_count = 0;
        const EntryFormat directory_format = read_entry_format(r);
        const uint32_t directories = read_uleb128(r);
        if (r.overrun) return false;
        for (uint32_t i = 0; i < directories; ++i) {
            std::string_view path;
            FileEntry unused;
            if (!read_entry(r, directory_format, path, unused)) return false;
            if (i == 0) {
                trace_line(s, &lxx, "/directories {" + cut_name(path) + "}\n");
            } else {
                add_directory(path);
            }
        }
        const EntryFormat file_format = read_entry_format(r);
        const uint32_t files = read_uleb128(r);
        if (r.overrun) return false;
        for (uint32_t i = 0; i < files; ++i) {
            std::string_view path;
            FileEntry e;
            if (!read_entry(r, file_format, path, e)) return false;
            add_file_entry(std::move(e), path);
        }
        if (pt.file_count == 0) {
            pt.files.push_back(FileEntry{});
            pt.file_count = 1;
        }
        return true;
    }

    // include_directories and file_names; false when cut by the program's end.
    bool read_tables(ByteReader& r) {
        ProgramTables& pt = s.lines->tables;
        std::string line = "/directories {";
        line += cut_name(cstring_at(r.data, r.end, r.pos));
        line += "}\n";
        trace_line(s, &lxx, line);

        pt.directories.clear();
        pt.directory_count = 0;
        for (;;) {
            std::string_view name = read_cstring(r);
            if (r.overrun) return false;
            if (name.empty()) break;
            add_directory(name);
        }
        for (;;) {
            std::string_view name = read_cstring(r);
            if (r.overrun) return false;
            if (name.empty()) break;
            if (!read_file_entry(r, name)) return false;
        }
        if (pt.file_count == 0) {
            pt.files.push_back(FileEntry{});
            pt.file_count = 1;
        }
        return true;
    }

    // The header fields as raw values (the bytes of the section, whatever
    // the program's own length says).
    void trace_header(const ByteReader& section) {
        static const struct {
            const char* label;
            size_t offset;
            int count, width;
        } kFields[] = {
            {"/length", 0, 1, 4}, {"/version", 4, 1, 2}, {"/prologue", 6, 1, 4},
            {"/min", 10, 1, 1},   {"/stmt", 11, 1, 1},   {"/l_base", 12, 1, 1},
            {"/l_range", 13, 1, 1}, {"/o_base", 14, 1, 1}, {"/opcode", 15, 9, 1},
        };
        static const struct {
            const char* label;
            size_t offset;
            int count, width;
        } kFields5[] = {
            {"/length", 0, 1, 4},   {"/version", 4, 1, 2},  {"/a_size", 6, 1, 1}, {"/s_size", 7, 1, 1},
            {"/prologue", 8, 1, 4}, {"/min", 12, 1, 1},     {"/max_ops", 13, 1, 1}, {"/stmt", 14, 1, 1},
            {"/l_base", 15, 1, 1},  {"/l_range", 16, 1, 1}, {"/o_base", 17, 1, 1}, {"/opcode", 18, 12, 1},
        };
        if (!s.opt.trace) return;
        auto trace = [&](const auto& fields) {
            for (const auto& f : fields) {
                ByteReader at = section;
                seek(at, program_start + f.offset);
                at.overrun = false;
                trace_values(s, &lxx, f.label, at, f.count, f.width, 16);
            }
        };
        if (h.version >= 5) {
            trace(kFields5);
        } else {
            trace(kFields);
        }
    }

    // The opcodes from `r.pos` to the program's end. Returns false when an
    // instruction is cut by that end.
    bool run_opcodes(ByteReader& r) {
        uint32_t address = 0;
        int32_t line = 1;
        LineState& ls = *s.lines;

        write_start_marker(lxx);
        // The primary file's heading comes first, as in the older versions
        // (where it is file 1; version 5 gives it number 0), whatever file
        // the register starts with.
        if (file_shift == 0) {
            select_file(s, lxx, 1);
        } else {
            // Version 5 programs select their files themselves (the
            // register starts at file 1, and the primary file is 0): the
            // first heading waits for the first selection or row.
            heading_file = 0;
            file = 1 + file_shift;
        }
        bool complete = true;
        // The instruction texts feed only the trace.
        const bool want = s.opt.trace;
        std::string text, line_text;  // reused from opcode to opcode
        while (r.pos < r.end) {
            const uint8_t op = read_u8(r);
            text.clear();
            static const char* const kNames[] = {
                "DW_LNS_extended(0x%02X)     ", "DW_copy(0x%02X)             ", "DW_advence_pc(0x%02X)       ",
                "DW_advence_line(0x%02X)     ", "DW_set_file(0x%02X)         ", "DW_set_column(0x%02X)       ",
                "DW_negate_stmt(0x%02X)      ", "DW_set_basic_block(0x%02X)  ", "DW_const_add_pc(0x%02X)     ",
                "DW_fixed_advence_pc(0x%02X) ", "DW_special(0x%02X)          ",
            };
            // Opcodes from 10 up to opcode_base - 1 are standard opcodes of
            // DWARF 3 and later; the rest from 10 on are special.
            const bool later_standard = op >= DW_LNS_set_prologue_end && op < h.opcode_base;
            if (want) append_op_name(text, later_standard ? "DW_standard(0x%02X)         " : kNames[std::min<unsigned>(op, 10)], op);

            bool cut = false;
            if (later_standard) {
                cut = !later_standard_opcode(r, op, want ? &text : nullptr);
            } else switch (op) {
            case DW_LNS_extended_op:
                cut = !extended_opcode(r, text, address, line);
                break;
            case DW_LNS_copy:
                select_for_row();
                record_copy_row(s, static_cast<uint32_t>(line), address);
                if (want) {
                    text += "Lines(";
                    append_dec(text, line);
                    text += ") Address(0x";
                    append_hex(text, address);
                    text += ") ";
                }
                break;
            case DW_LNS_advance_pc: {
                uint32_t n = read_uleb128(r);
                if ((cut = r.overrun)) break;
                address += n * h.min_instruction_length;
                if (want) append_address_step(text, "pc(0x", n, address);
                break;
            }
            case DW_LNS_advance_line: {
                int32_t n = read_sleb128(r);
                if ((cut = r.overrun)) break;
                line = static_cast<int32_t>(add_signed(static_cast<uint32_t>(line), n));
                if (want) {
                    text += "op(";
                    append_dec(text, n);
                    text += ") line(";
                    append_dec(text, line);
                    text += ") ";
                }
                break;
            }
            case DW_LNS_set_file: {
                uint32_t n = read_uleb128(r);
                if ((cut = r.overrun)) break;
                // The rows so far belong to the file selected before.
                if (rows_pending(ls)) flush_rows(s, lxx);
                file = heading_file = (n + file_shift) & 0xFF;
                select_file(s, lxx, file);
                if (want) append_op_value(text, n);
                break;
            }
            case DW_LNS_set_column: {
                uint32_t n = read_uleb128(r);
                if ((cut = r.overrun)) break;
                if (want) append_op_value(text, n);
                break;
            }
            case DW_LNS_negate_stmt:
            case DW_LNS_set_basic_block:
                break;
            case DW_LNS_const_add_pc: {
                Advance a = special_advance(h, 255 - h.opcode_base);
                address = add_signed(address, a.address);
                if (want) append_advance(text, 0, line, static_cast<uint32_t>(static_cast<int32_t>(a.address)), address);
                break;
            }
            case DW_LNS_fixed_advance_pc: {
                uint32_t n = read_target16(r);
                if ((cut = r.overrun)) break;
                address += n;
                if (want) append_address_step(text, "fix(0x", n, address);
                break;
            }
            default: {
                // Every opcode from 10 on is special, whatever opcode_base says.
                Advance a = special_advance(h, op - h.opcode_base);
                line = static_cast<int32_t>(add_signed(static_cast<uint32_t>(line), a.line));
                address = add_signed(address, a.address);
                if (a.line >= 0) {
                    select_for_row();
                    record_special_row(ls, static_cast<uint32_t>(line), address);
                }
                if (want) append_advance(text, a.line, line, static_cast<uint32_t>(static_cast<int32_t>(a.address)), address);
                break;
            }
            }
            if (cut) {
                complete = false;
                break;
            }
            if (want) {
                if (text.size() > kMaxTraceText) text.resize(kMaxTraceText);
                line_text.assign("/ ");
                line_text += text;
                line_text += '\n';
                trace_line(s, &lxx, line_text);
            }
        }
        write_end_marker(lxx);
        return complete;
    }

    // A standard opcode of DWARF 3 and later: it makes no row. 10
    // (set_prologue_end) and 11 (set_epilogue_begin) have no operand, 12
    // (set_isa) one; any later one has the ULEB128 operands its
    // standard_opcode_lengths entry gives. False when cut by the program's end.
    bool later_standard_opcode(ByteReader& r, uint8_t op, std::string* text) {
        const unsigned operands = op == DW_LNS_set_prologue_end || op == DW_LNS_set_epilogue_begin ? 0
                                 : op == DW_LNS_set_isa                                           ? 1
                                                                                                  : h.opcode_lengths[op];
        for (unsigned i = 0; i < operands; ++i) {
            const uint32_t n = read_uleb128(r);
            if (r.overrun) return false;
            if (text) append_op_value(*text, n);
        }
        return true;
    }

    // An extended opcode: its length L, the sub-opcode, L - 1 operand bytes.
    // False when it is cut by the end of the program.
    bool extended_opcode(ByteReader& r, std::string& text, uint32_t& address, int32_t& line) {
        const uint32_t length = read_uleb128(r);
        if (r.overrun) return false;
        const size_t after_length = r.pos;
        // The sub-opcode is read even when L is 0 (reading then resumes on it).
        if (r.remaining() == 0 || length > r.remaining()) return false;
        ByteReader body = r;
        const uint8_t sub = read_u8(body);
        append_printf(text, "length(0x%X) ", length);
        if (sub == DW_LNE_end_sequence) text += "DW_end_sequence(0x01) ";
        if (sub == DW_LNE_set_address) text += "DW_set_address(0x02)  ";
        if (sub == DW_LNE_define_file) text += "DW_define_file(0x03)  ";
        ByteReader operands = body;
        for (uint32_t i = 1; i < length && text.size() <= kMaxTraceText; ++i) {
            append_printf(text, "sub(0x%X) ", read_u8(operands));
        }

        if (sub == DW_LNE_end_sequence) {
            end_sequence(s, lxx, address);
            file = 1 + file_shift;
            line = 1;
        } else if (sub == DW_LNE_set_address) {
            unsigned size = s.elf.address_size;
            // An unknown address size (no usable .debug_info) takes the operand's own length.
            if (size == 0) size = length > 0 ? length - 1 : 0;
            ByteReader a = body;
            uint32_t value;
            if (size == 1) {
                value = (address & ~0xFFu) | read_u8(a);
            } else if (size == 2) {
                value = (address & ~0xFFFFu) | read_target16(a);
            } else {
                value = read_address(a, size);
            }
            if (a.overrun) return false;
            address = value;
        }
        r.pos = after_length + length;
        return true;
    }

    // Reads the program at program_start; returns where the next one begins.
    // `last` is set when the program reaches beyond the section.
    size_t read(const ByteReader& section, bool& last) {
        const size_t section_end = section.end;
        if (section_end - program_start < 4) {
            fault("line-number program header cut by the end of .debug_line");
            last = true;
            return section_end;
        }
        ByteReader r = section;
        seek(r, program_start);
        h.unit_length = read_target32(r);
        size_t program_end;
        if (h.unit_length == DW_LENGTH_DWARF64) {
            fault("64-bit DWARF line-number program; the rest of .debug_line is not read");
            last = true;
            return section_end;
        }
        if (h.unit_length > section_end - r.pos) {
            fault("unit_length reaches beyond the end of .debug_line; read up to the end of the section");
            program_end = section_end;
            last = true;
        } else {
            program_end = r.pos + h.unit_length;
        }
        ByteReader program = section;
        program.end = program_end;
        seek(program, program_start);

        if (program_end - program_start < kFixedHeaderSize) {
            trace_header(section);
            fault("line-number program header cut by the end of the program");
            return program_end;
        }
        skip(program, 4);
        h.version = read_target16(program);
        if (h.version == 5) return read5(section, program, program_end);
        if (h.version > 5) {
            std::string text = "line-number program of version ";
            append_printf(text, "%u has another header layout; skipped", static_cast<unsigned>(h.version));
            fault(text.c_str());
            return program_end;
        }
        trace_header(section);
        h.header_length = read_target32(program);
        h.min_instruction_length = read_u8(program);
        // Version 4 inserts maximum_operations_per_instruction here; the
        // rest of the header moves back by one byte.
        const size_t v4_shift = h.version == 4 ? 1 : 0;
        if (v4_shift) read_u8(program);
        read_u8(program);  // default_is_stmt
        h.line_base = static_cast<int8_t>(read_u8(program));
        h.line_range = read_u8(program);
        h.opcode_base = read_u8(program);
        ByteReader lengths = program;
        for (unsigned op = 1; op < h.opcode_base; ++op) h.opcode_lengths[op] = read_u8(lengths);
        // The tables follow the standard_opcode_lengths array.
        const size_t tables =
            program_start + kFixedHeaderSize + v4_shift + (h.opcode_base ? h.opcode_base - 1u : 0u);
        const uint64_t first_opcode = static_cast<uint64_t>(program_start) + h.header_length + 10;
        if (!check_header(first_opcode, program_end)) return program_end;
        if (tables < first_opcode) {
            ByteReader t = program;
            seek(t, tables);
            if (!read_tables(t)) {
                fault("directory or file table cut by the end of the program");
                return program_end;
            }
        }

        return run_program(program, first_opcode, program_end);
    }

    // The header values every version checks; the file table is emptied
    // for the program's own. False when the opcodes would begin past the
    // program's end.
    bool check_header(uint64_t first_opcode, size_t program_end) {
        if (h.line_range == 0) {
            fault("line_range is 0; special opcodes are computed with a line_range of 1");
        }
        if (first_opcode > program_end) {
            fault("header_length points past the end of the program");
            return false;
        }
        ProgramTables& pt = s.lines->tables;
        pt.files.clear();
        pt.file_count = 0;
        return true;
    }

    // The opcodes from `first_opcode`, then the files no heading named are
    // registered.
    size_t run_program(const ByteReader& program, uint64_t first_opcode, size_t program_end) {
        const ProgramTables& pt = s.lines->tables;
        ByteReader ops = program;
        seek(ops, static_cast<size_t>(first_opcode));
        if (!run_opcodes(ops)) {
            fault("instruction cut by the end of the program");
        }
        for (uint32_t i = 1; i <= pt.files.size(); ++i) {
            if (pt.files[i - 1].used == 0) register_file_entry(s, i);
        }
        return program_end;
    }

    // A program of version 5 from its address_size on (`program` stands
    // there).
    size_t read5(const ByteReader& section, ByteReader& program, size_t program_end) {
        trace_header(section);
        if (program_end - program_start < kFixedHeader5Size) {
            fault("line-number program header cut by the end of the program");
            return program_end;
        }
        skip(program, 2);  // address_size, segment_selector_size
        h.header_length = read_target32(program);
        h.min_instruction_length = read_u8(program);
        skip(program, 2);  // maximum_operations_per_instruction, default_is_stmt
        h.line_base = static_cast<int8_t>(read_u8(program));
        h.line_range = read_u8(program);
        h.opcode_base = read_u8(program);
        for (unsigned op = 1; op < h.opcode_base; ++op) h.opcode_lengths[op] = read_u8(program);
        const uint64_t first_opcode = static_cast<uint64_t>(program_start) + h.header_length + 12;
        if (!check_header(first_opcode, program_end)) return program_end;
        ByteReader t = program;
        t.end = static_cast<size_t>(first_opcode);
        if (!read_tables5(t)) {
            fault("directory or file table cut by the end of its header or of a form that cannot be read");
            return program_end;
        }
        file_shift = 1;
        return run_program(program, first_opcode, program_end);
    }
};

}  // namespace

void read_line_programs(Session& s, OutText& lxx) {
    LineState& ls = *s.lines;
    ls.used_files = UsedFileList{};
    size_t offset = 0, length = 0;
    bool cut = false;
    if (!section_bounds(s, s.elf.line_index, offset, length, &cut)) return;
    if (s.elf.sections[s.elf.line_index].sh_offset == 0) return;
    if (cut) warn(s, ".debug_line reaches beyond the end of the file; only the part inside it is read");

    const ByteReader section = image_range(s, offset, length);
    // Room ahead for what the programs usually give (a module record per
    // few dozen bytes, a row per few bytes), so the pools do not grow by
    // copying themselves (untouched room costs nothing). Only the streamed
    // text fills them here; a kept LXX file is read back later.
    LinBuild& lin = ls.lin;
    if (lin.streaming) {
        // Capped, so a large section cannot ask for more than a few dozen MB.
        const size_t bytes = section.end - section.pos;
        const size_t records = std::min<size_t>(bytes / 16, size_t{1} << 20);
        const size_t rows = std::min<size_t>(bytes / 6, size_t{1} << 23);
        lin.records.reserve(lin.records.size() + records);
        lin.addresses.reserve(lin.addresses.size() + rows);
        lin.lines.reserve(lin.lines.size() + rows);
    }
    size_t pos = section.pos;
    int counter = 0;
    while (pos < section.end) {
        reset_rows(ls);
        std::string line;
        append_printf(line, "/<<<<<<<<<<<<<<<<<<<< .debug_line Section [% 3d] >>>>>>>>>>>>>>>>>>>>\n", counter);
        trace_line(s, &lxx, line);
        ProgramReader reader{s, lxx, section.pos, pos, LineProgramHeader{}};
        bool last = false;
        pos = reader.read(section, last);
        ++counter;
        if (last) break;
    }
    if (s.opt.register_all_includes && !ls.used_files.entries.empty()) write_include_files(s, lxx);
}
