#include "lines/line_table.h"

#include "common/format.h"

#include <algorithm>

#include "common/scan.h"
#include "common/session.h"
#include "lines/line_state.h"

namespace {

void take_slot(RowTable& t, uint32_t line, uint32_t address) {
    t.slots[line] = LineRow{address, line};
    t.used.push_back(line);
}

void write_record(Session& s, OutText& lxx, uint32_t address, uint32_t line) {
    count_line(s);
    LinBuild& b = s.lines->lin;
    if (b.streaming) {
        // The LIN builder takes the text written so far, then the row itself.
        out_drain(lxx);
        if (b.partial_line.empty()) {
            take_line_row(b, address, line);
            return;
        }
    }
    // Address in eight upper-case hex digits, line right-aligned in five columns.
    std::string record;
    append_line_record(record, '+', address, line);
    out_write(lxx, record);
}

void write_directory_line(Session& s, OutText& lxx, const std::string& name) {
    out_write(lxx, directory_info_wanted(s) ? "-****  " : "/****  ");
    out_write(lxx, name);
    out_write(lxx, "\n");
}

void write_file_line(OutText& lxx, const std::string& name) {
    out_write(lxx, "+****  ");
    out_write(lxx, name);
    out_write(lxx, "\n");
}

// The part of a name that any name equal to it under match_word_nocase
// shares: the upper-cased text up to the first blank.
std::string name_head(const std::string& name) {
    std::string head;
    for (char c : name) {
        if (is_blank(c)) break;
        head += fold_case(c);
    }
    return head;
}

}  // namespace

void reset_rows(LineState& ls) {
    RowTable& t = ls.rows;
    for (uint32_t line : t.used) t.slots[line] = LineRow{};
    t.used.clear();
    t.extra.clear();
    t.extra_count = 0;
}

void write_start_marker(OutText& lxx) {
    out_write(lxx, kStartSequenceLine);
    out_write(lxx, "\n");
}
void write_end_marker(OutText& lxx) {
    out_write(lxx, kEndSequenceLine);
    out_write(lxx, "\n");
}

void record_special_row(LineState& ls, uint32_t line, uint32_t address) {
    if (line == 0 || line >= kLineSlots) return;
    RowTable& t = ls.rows;
    if (t.slots[line].line == 0) take_slot(t, line, address);
}

void record_copy_row(Session& s, uint32_t line, uint32_t address) {
    if (line == 0 || line >= kLineSlots) return;
    RowTable& t = s.lines->rows;
    const LineRow& slot = t.slots[line];
    if (slot.line == 0) {
        take_slot(t, line, address);
    } else if (slot.address != address && t.extra_count < kMaxExtraRows) {
        ++t.extra_count;
        // With -i extra rows are never written, so they need not be kept.
        if (!s.opt.delete_inline_duplicates) t.extra.push_back(LineRow{address, line});
    }
}

bool rows_pending(const LineState& ls) { return !ls.rows.used.empty(); }

void end_sequence(Session& s, OutText& lxx, uint32_t end_address) {
    RowTable& t = s.lines->rows;
    if (!t.used.empty()) {
        uint32_t highest = 0;
        bool has_end = false;
        for (uint32_t line : t.used) {
            highest = std::max(highest, line);
            if (t.slots[line].address == end_address) has_end = true;
        }
        if (!has_end && highest + 1 < kLineSlots) take_slot(t, highest + 1, end_address);
    }
    flush_rows(s, lxx);
}

void flush_rows(Session& s, OutText& lxx) {
    RowTable& t = s.lines->rows;
    if (t.used.empty()) return;
    std::sort(t.used.begin(), t.used.end());
    // Extra rows go out right after their line's slot row, in recording order.
    std::stable_sort(t.extra.begin(), t.extra.end(),
                     [](const LineRow& a, const LineRow& b) { return a.line < b.line; });
    std::vector<LineRow> kept;
    size_t e = 0;
    for (uint32_t line : t.used) {
        LineRow slot = t.slots[line];
        t.slots[line] = LineRow{};
        write_record(s, lxx, slot.address, line);
        for (; e < t.extra.size() && t.extra[e].line < line; ++e) kept.push_back(t.extra[e]);
        for (; e < t.extra.size() && t.extra[e].line == line; ++e) {
            if (t.extra[e].address != slot.address) {
                write_record(s, lxx, t.extra[e].address, line);
            } else {
                kept.push_back(t.extra[e]);
            }
        }
    }
    for (; e < t.extra.size(); ++e) kept.push_back(t.extra[e]);
    t.extra.swap(kept);
    t.used.clear();
}

void select_file(Session& s, OutText& lxx, uint32_t file_number) {
    ProgramTables& pt = s.lines->tables;
    const uint32_t n = file_number & 0xFF;
    const uint32_t file_count = pt.file_count;
    if (n == 0 || n > (file_count & 0xFF) || n > pt.files.size()) {
        std::string line;
        append_printf(line, "/****  SrcNameOverIndex(%d) Regs(%d)\n", static_cast<int>(n), static_cast<int>(file_count));
        out_write(lxx, line);
        return;
    }
    FileEntry& entry = pt.files[n - 1];
    const uint32_t dir = entry.directory_index & 0xFF;
    const uint32_t dir_count = pt.directory_count;
    if (dir != 0) {
        if (dir > (dir_count & 0xFF) || dir > pt.directories.size()) {
            std::string line;
            append_printf(line, "/****  DirNameOverIndex(%d) Regs(%d)\n", static_cast<int>(dir),
                          static_cast<int>(dir_count));
            out_write(lxx, line);
        } else {
            write_directory_line(s, lxx, pt.directories[dir - 1]);
        }
    }
    write_file_line(lxx, entry.name);
    entry.used = 0xFF;
    register_file_entry(s, n);
}

void register_file_entry(Session& s, uint32_t file_number) {
    if (!s.opt.register_all_includes) return;
    ProgramTables& pt = s.lines->tables;
    if (file_number == 0 || file_number > pt.files.size()) return;
    const FileEntry& entry = pt.files[file_number - 1];
    UsedFileList& list = s.lines->used_files;
    std::string head = name_head(entry.name);
    auto it = list.by_head.find(head);
    if (it != list.by_head.end()) {
        for (uint32_t at : it->second) {
            FileEntry& listed = list.entries[at];
            if (match_word_nocase(listed.name.c_str(), entry.name.c_str())) {
                if (entry.used == 0xFF) listed.used = 0xFF;
                return;
            }
        }
    }
    if (list.entries.size() >= kMaxUsedFiles) return;
    list.by_head[head].push_back(static_cast<uint32_t>(list.entries.size()));
    list.entries.push_back(entry);
}

void write_include_files(Session& s, OutText& lxx) {
    for (const FileEntry& e : s.lines->used_files.entries) {
        if (e.used != 0) continue;
        write_start_marker(lxx);
        if (!e.directory.empty()) write_directory_line(s, lxx, e.directory);
        if (!e.name.empty()) write_file_line(lxx, e.name);
        write_end_marker(lxx);
    }
}
