// The line-file writer: rows of a sequence sorted by line number, headings
// for file selections, and the LXX lines they become.
//
// LXX lines (each ends in CR LF on disk):
//   "#LNE_start_sequence#"         start of one line-number program
//   "$LNE_end_sequence="           its end
//   "-****  <dir>"                 directory of the next file line ("/****  <dir>" with -r)
//   "+****  <file>"                file line
//   "+0x%08lX % 5lu"               line record (address, line)
//   "/..."                         comments and trace lines
#pragma once

#include <cstdint>
#include <string_view>

struct Session;
struct OutText;
struct LineState;

// Empties the row table and the extra-row list (before each program).
void reset_rows(LineState& ls);
// The sequence markers' lines (without their line end).
constexpr std::string_view kStartSequenceLine = "#LNE_start_sequence#";
constexpr std::string_view kEndSequenceLine = "$LNE_end_sequence=";
void write_start_marker(OutText& lxx);
void write_end_marker(OutText& lxx);

// Writes the heading of file `file_number` (8-bit) of the current program:
// its directory line and file line, or an over-index comment.
void select_file(Session& s, OutText& lxx, uint32_t file_number);

// A row from a special opcode: the first address recorded for a line wins.
void record_special_row(LineState& ls, uint32_t line, uint32_t address);
// A row from DW_LNS_copy: further addresses of a line are kept as extra rows.
void record_copy_row(Session& s, uint32_t line, uint32_t address);
bool rows_pending(const LineState& ls);
// Adds the end row (the line after the highest pending line, at the end
// address) unless a pending row already has that address, then flushes.
void end_sequence(Session& s, OutText& lxx, uint32_t end_address);
// Writes the pending rows in ascending line order and empties the table.
void flush_rows(Session& s, OutText& lxx);

// Adds file `file_number` of the current table to the used-file list, or
// marks the listed copy used; only with -f.
void register_file_entry(Session& s, uint32_t file_number);
// One empty sequence for every listed file that no program selected (-f).
void write_include_files(Session& s, OutText& lxx);
