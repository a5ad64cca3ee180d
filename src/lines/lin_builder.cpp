// The LIN builder: reads the LXX file back into module records (one per
// file line, with the line records after it), marks records whose file line
// occurs more than once and, with -i, the records inside each sequence that
// belong to another file, and writes the LIN file the debugger loads.
//
// Record states, and what the writer puts around a record:
//   plain  0x00  file line with no start marker pending   "+"
//   first  0x11  file line after a start marker           start marker, "+"
//   last   0xFF  end marker closed a plain record          "+", end marker
//   only   0x77  end marker closed any other record       start marker, "+", end marker
//   same   0x22  duplicate, or -i with the sequence's own file   "="
//   other  0x33  -i, another file inside a sequence       ">"
//   dropped 0xDD duplicate without rows                   not written
// The last record of the file always gets an end marker.
#include "lines/lin_builder.h"

#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/file_headers.h"
#include "common/format.h"
#include "common/scan.h"
#include "common/session.h"
#include "common/text_io.h"
#include "elf/elf_reader.h"
#include "lines/line_state.h"
#include "lines/line_table.h"

namespace {

// How much LIN text is gathered before it goes to the file.
constexpr size_t kLinPiece = 64 * 1024;

std::string folded(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = fold_case(c);
    return out;
}

void add_row(LinBuild& b, const std::string& line) {
    if (b.records.empty()) return;
    std::string token;
    const char* p = next_token(token, line.c_str() + 1);
    uint32_t address = 0, number = 0;
    parse_hex(address, token.c_str());
    next_token(token, p);
    parse_decimal(number, token.c_str());
    b.addresses.push_back(address);
    b.lines.push_back(number);
    ++b.records.back().rows;
}

// The number of a heading line's text, kept the first time it comes.
uint32_t text_number(LinBuild& b, std::string_view line) {
    const auto found = b.text_numbers.find(line);
    if (found != b.text_numbers.end()) return found->second;
    const uint32_t number = static_cast<uint32_t>(b.texts.size());
    b.texts.emplace_back(line);
    b.text_numbers.emplace(std::string_view(b.texts.back()), number);
    return number;
}

void read_line(LinBuild& b, std::string_view line) {
    if (line.size() >= 2 && line[0] == '-' && line[1] == '*') {
        b.pending_directory = text_number(b, line);
    } else if (line.size() >= 2 && line[0] == '+' && line[1] == '*') {
        ModuleRecord r;
        r.directory_line = b.pending_directory;
        r.file_line = text_number(b, line);
        r.base = static_cast<uint32_t>(b.addresses.size());
        r.state = b.pending_start ? kRecordFirst : kRecordPlain;
        b.pending_start = false;
        b.pending_directory = kNoText;
        b.records.push_back(r);
    } else if (line.size() >= 2 && line[0] == '+' && line[1] == '0') {
        add_row(b, std::string(line));
    } else if (!line.empty() && line[0] == '#') {
        b.pending_start = true;
    } else if (!line.empty() && line[0] == '$') {
        if (b.records.empty()) return;
        ModuleRecord& r = b.records.back();
        r.state = (r.rows > 0 && r.state == kRecordPlain) ? kRecordLast : kRecordOnly;
    }
}

// One line of the LXX text, without its line end. The first one must be the
// banner line, or the rest is not read.
void take_line(LinBuild& b, std::string_view line) {
    if (!b.first_line_seen) {
        b.first_line_seen = true;
        b.banner_seen = line == std::string_view(kHeaderTool, sizeof kHeaderTool - 2);  // without its "\n"
        return;
    }
    if (b.banner_seen) read_line(b, line);
}

// A line ends at LF; a CR right before it belongs to the line end.
std::string_view without_cr(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// The stream's consumer: splits each block into lines as reading the
// file back would, carrying a line that a block ends inside of.
void take_block(void* context, std::string_view bytes) {
    LinBuild& b = *static_cast<LinBuild*>(context);
    size_t start = 0;
    while (start < bytes.size()) {
        const void* nl = std::memchr(bytes.data() + start, '\n', bytes.size() - start);
        if (!nl) {
            b.partial_line.append(bytes.data() + start, bytes.size() - start);
            return;
        }
        const size_t at = static_cast<size_t>(static_cast<const char*>(nl) - bytes.data());
        if (b.partial_line.empty()) {
            take_line(b, without_cr(bytes.substr(start, at - start)));
        } else {
            b.partial_line.append(bytes.data() + start, at - start);
            take_line(b, without_cr(b.partial_line));
            b.partial_line.clear();
        }
        start = at + 1;
    }
}

// For every file line that occurs more than once (case folded): the records
// without rows are dropped, and every record with rows after the first one
// with rows becomes same. This is what comparing each pair gives.
void mark_duplicates(LinBuild& b) {
    if (b.records.size() < 2) return;
    struct Group {
        uint32_t members = 0;
        bool rows_seen = false;
    };
    // Texts that differ only in case are one group.
    std::unordered_map<std::string, uint32_t> group_numbers;
    std::vector<uint32_t> group_of_text(b.texts.size());
    for (size_t k = 0; k < b.texts.size(); ++k)
        group_of_text[k] = group_numbers.emplace(folded(b.texts[k]), static_cast<uint32_t>(group_numbers.size())).first->second;
    std::vector<Group> groups(group_numbers.size());
    for (const ModuleRecord& r : b.records) ++groups[group_of_text[r.file_line]].members;
    for (size_t i = 0; i < b.records.size(); ++i) {
        Group& g = groups[group_of_text[b.records[i].file_line]];
        if (g.members < 2) continue;
        ModuleRecord& r = b.records[i];
        if (r.rows == 0) {
            r.state = kRecordDropped;
        } else if (g.rows_seen) {
            r.state = kRecordSame;
        } else {
            g.rows_seen = true;
        }
    }
}

// A heading line (a line of the LXX text, so without a line feed) with the
// marker in place of its first character, and its CR LF.
void append_marked(std::string& text, const std::string& line, char marker) {
    if (marker && !line.empty()) {
        text += marker;
        text.append(line, 1, std::string::npos);
    } else {
        text += line;
    }
    text.append("\r\n", 2);
}

}  // namespace

bool read_and_mark_lines(Session& s, InText& lxx, OutText& lin) {
    LinBuild& b = s.lines->lin;
    b = LinBuild{};
    std::string line;
    if (!in_next_line(lxx, line)) return false;
    take_line(b, line);
    if (!b.banner_seen) return false;
    write_line_file_header(s, lin);
    write_dwarf_version(lin, s.elf.dwarf_version);
    while (in_next_line(lxx, line)) read_line(b, line);
    mark_duplicates(b);
    return true;
}

void start_line_stream(Session& s, OutText& lxx) {
    LinBuild& b = s.lines->lin;
    b = LinBuild{};
    b.streaming = true;
    out_open_consumer(lxx, take_block, &b);
}

bool line_stream_started(const Session& s) { return s.lines->lin.streaming || s.lines->lin.ended; }

void end_line_stream(Session& s) {
    LinBuild& b = s.lines->lin;
    if (!b.streaming) return;
    // The text's last line may lack its line end.
    if (!b.partial_line.empty()) take_line(b, b.partial_line);
    b.partial_line.clear();
    b.streaming = false;
    b.ended = true;
    if (!b.banner_seen) return;
    mark_duplicates(b);
    if (s.opt.delete_inline_duplicates) mark_inline_modules(s);
}

void mark_inline_modules(Session& s) {
    LinBuild& b = s.lines->lin;
    const size_t n = b.records.size();
    if (n < 2) return;
    // next_last[i]: the first record from i on in state last (n when none).
    // Marking only touches records up to a sequence end and the search goes
    // on after it, so the states seen here are the ones the search would see.
    std::vector<size_t> next_last(n + 1, n);
    for (size_t i = n; i-- > 0;) next_last[i] = b.records[i].state == kRecordLast ? i : next_last[i + 1];
    size_t i = 0;
    while (i < n) {
        if (b.records[i].state != kRecordFirst || next_last[i] == n) {
            ++i;
            continue;
        }
        const size_t end = next_last[i];
        const std::string& own = b.texts[b.records[i].file_line];
        for (size_t j = i + 1; j <= end; ++j) {
            b.records[j].state = equal_nocase(own, b.texts[b.records[j].file_line]) ? kRecordSame : kRecordOther;
        }
        i = end + 1;
    }
}

void write_line_records(Session& s, OutText& lin) {
    const LinBuild& b = s.lines->lin;
    // The text of a few records at a time, with its CR LF line ends; its
    // room is kept from record to record.
    std::string text;
    for (size_t i = 0; i < b.records.size(); ++i) {
        const ModuleRecord& r = b.records[i];
        if (r.state == kRecordDropped) continue;
        if (r.state == kRecordFirst || r.state == kRecordOnly) text.append(kStartSequenceLine).append("\r\n", 2);
        const char marker = r.state == kRecordSame ? '=' : r.state == kRecordOther ? '>' : 0;
        if (r.directory_line != kNoText) append_marked(text, b.texts[r.directory_line], marker);
        append_marked(text, b.texts[r.file_line], marker);
        const char row_marker = marker == '>' ? '>' : '+';
        for (uint32_t k = 0; k < r.rows; ++k)
            append_line_record(text, row_marker, b.addresses[r.base + k], b.lines[r.base + k], true);
        if (r.state == kRecordLast || r.state == kRecordOnly || i + 1 == b.records.size()) text.append(kEndSequenceLine).append("\r\n", 2);
        if (text.size() >= kLinPiece) {
            out_write_raw(lin, text);
            text.clear();
        }
    }
    out_write_raw(lin, text);
}

void write_streamed_lin(Session& s, OutText& lin) {
    end_line_stream(s);
    if (!s.lines->lin.banner_seen) return;
    write_line_file_header(s, lin);
    write_dwarf_version(lin, s.elf.dwarf_version);
    write_line_records(s, lin);
}
