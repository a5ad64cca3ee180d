// The line-number programs of .debug_line.
#pragma once

struct Session;
struct OutText;

// The line pass: runs every line-number program of .debug_line, writing its
// markers, headings and line records into the LXX file.
void read_line_programs(Session& s, OutText& lxx);
