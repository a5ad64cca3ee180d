// The conversion passes the driver runs, in the order it runs them.
#pragma once

#include <string>

struct Session;
struct OutText;
struct InText;

// .debug_loc: dumps every list in trace mode and records where the section starts.
void dump_loc_section(Session& s, OutText& sym);
// .debug_info: every compilation unit, written as SYM records.
void walk_units(Session& s, OutText& sym);
// .debug_line: every line-number program, written into the LXX file.
void read_line_programs(Session& s, OutText& lxx);
// The load image as Motorola S-records.
void write_srec_file(Session& s, OutText& mot, const std::string& mot_name);

// LIN builder: reads the LXX file back (returns false when its first line is
// not the banner line), writes the LIN header lines and collects the records.
bool read_and_mark_lines(Session& s, InText& lxx, OutText& lin);
// Marks inline modules (-i).
void mark_inline_modules(Session& s);
// Writes the collected records to the LIN file.
void write_line_records(Session& s, OutText& lin);
