// The LIN builder: reads the LXX file back into module records, marks the
// duplicated and (with -i) the inline modules and writes the LIN file.
#pragma once

struct Session;
struct OutText;
struct InText;

// Reads the LXX file back (returns false when its first line is not the
// banner line), writes the LIN header lines and collects the records.
bool read_and_mark_lines(Session& s, InText& lxx, OutText& lin);
// Without a kept LXX file: opens `lxx` as a stream whose text the builder
// reads as it is written, with the line records taken as values.
void start_line_stream(Session& s, OutText& lxx);
bool line_stream_started(const Session& s);
// After the stream is closed: takes its last line and marks the records
// as read_and_mark_lines does (and, with -i, the inline modules).
void end_line_stream(Session& s);
// Marks inline modules (-i).
void mark_inline_modules(Session& s);
// Writes the collected records to the LIN file.
void write_line_records(Session& s, OutText& lin);
// After the stream is closed: the whole LIN text (end_line_stream unless
// done already, the header lines, write_line_records) into `lin`.
void write_streamed_lin(Session& s, OutText& lin);
