// State of the line-number passes: the tables of the program being read,
// the row table that sorts a sequence's rows by line, the run-wide list of
// used files, and the module records of the LIN builder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/paged_table.h"

constexpr uint32_t kLineSlots = 100000;     // one row slot per line number 0..99999
constexpr uint32_t kMaxExtraRows = 10000;   // further DW_LNS_copy addresses per program
constexpr uint32_t kMaxDirectories = 256;   // stored per program; more are read and stepped over
constexpr uint32_t kMaxFiles = 256;
constexpr size_t kMaxUsedFiles = 2047;
constexpr size_t kMaxNameChars = 1023;

struct LineRow {
    uint32_t address = 0;
    uint32_t line = 0;  // 0: the slot is empty
};

struct FileEntry {
    std::string directory;  // copy of the directory's name, made when the entry was read
    std::string name;       // file name without its directory part
    uint32_t directory_index = 0;
    uint32_t time = 0;
    uint32_t length = 0;
    uint8_t used = 0;  // 0xFF once a heading was written for it
};

// Rows of the current sequence, addressed by line number. Only the slots
// in `used` hold rows, so nothing ever has to look at the other slots.
struct RowTable {
    PagedTable<LineRow, kLineSlots, 1024> slots;  // pages of 1024 lines, allocated when first written
    std::vector<uint32_t> used;        // line numbers of the occupied slots, unordered
    std::vector<LineRow> extra;        // DW_LNS_copy rows not yet written, in recording order
    uint32_t extra_count = 0;          // extra rows taken since the program began
};

// Directory and file tables of the program being read. Index k (from 1)
// lives at [k - 1]. The counts include entries beyond the stored ones.
struct ProgramTables {
    std::vector<std::string> directories;  // at most kMaxDirectories
    std::vector<FileEntry> files;          // at most kMaxFiles
    uint32_t directory_count = 0;
    uint32_t file_count = 0;
};

// Files met in any file table, kept for the include-file pass (-f).
struct UsedFileList {
    std::vector<FileEntry> entries;
    // List positions by the case-folded file name up to its first blank: two
    // names can only compare equal when that part is the same.
    std::unordered_map<std::string, std::vector<uint32_t>> by_head;
};

enum : uint32_t {
    kRecordPlain = 0,
    kRecordFirst = 0x11,
    kRecordLast = 0xFF,
    kRecordOnly = 0x77,
    kRecordSame = 0x22,
    kRecordOther = 0x33,
    kRecordDropped = 0xDD,
};

constexpr uint32_t kNoText = 0xFFFFFFFF;

// One file line of the LXX file with the line records after it. Its lines
// are kept once each in the builder's texts (a firmware names a few
// hundred files in tens of thousands of headings).
struct ModuleRecord {
    uint32_t directory_line = kNoText;  // the directory line before it, if any
    uint32_t file_line = 0;
    uint32_t state = kRecordPlain;
    uint32_t base = 0;   // first row in the pools
    uint32_t rows = 0;
};

struct LinBuild {
    std::vector<ModuleRecord> records;
    // Rows of all records, each record's rows contiguous from its base.
    std::vector<uint32_t> addresses;
    std::vector<uint32_t> lines;
    // The heading lines (without their line ends), each text once, and
    // where each text stands (a deque keeps the strings the views see in place).
    std::deque<std::string> texts;
    std::unordered_map<std::string_view, uint32_t> text_numbers;
    uint32_t pending_directory = kNoText;
    bool pending_start = false;
    // Reading the LXX text: whether its first line came and was the banner.
    bool first_line_seen = false;
    bool banner_seen = false;
    // Taking the LXX text straight from the line writer: the part of a line
    // that a block ended inside of, and whether rows come as values.
    std::string partial_line;
    bool streaming = false;
    // The stream has ended and its records are marked (end_line_stream).
    bool ended = false;
};

// A line record the line writer hands over as values: what reading its
// text back gives (the address and a line below 100000 read back exactly).
inline void take_line_row(LinBuild& b, uint32_t address, uint32_t line) {
    if (b.records.empty() || !b.banner_seen) return;
    b.addresses.push_back(address);
    b.lines.push_back(line);
    ++b.records.back().rows;
}

struct LineState {
    RowTable rows;
    ProgramTables tables;
    UsedFileList used_files;
    LinBuild lin;
};
