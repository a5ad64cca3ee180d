// Text output and input of the converter's own files.
//
// The SYM, LXX, LIN and mot files are text whose every line ends in CR LF.
// OutText collects what a pass writes, turning each "\n" into CR LF, and
// either flushes it to a file in large blocks, keeps it in memory (tests,
// fuzzing, in-memory conversions) or hands it in blocks to a consumer. InText reads such a file back line by
// line, taking CR LF (or a lone LF) as one line end.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/compiler.h"
#include "common/platform_file.h"

struct OutText {
    FileHandle file = kNoFile;  // flush target, or none for a memory file
    std::string data;           // pending bytes (all bytes for a memory file)
    bool open = false;
    bool failed = false;  // a write, flush or close of the file failed; later writes are dropped
    int error = 0;        // errno of the first failure
    // Consumer of the written bytes, in blocks that may end anywhere inside a line.
    void (*consume)(void* context, std::string_view bytes) = nullptr;
    void* context = nullptr;
};

// Takes a file just created for writing. The file is closed by out_close.
void out_open_file(OutText& out, FileHandle file);
// Starts a memory file.
void out_open_memory(OutText& out);
// Starts a stream whose bytes go to `consume` instead of a file.
void out_open_consumer(OutText& out, void (*consume)(void* context, std::string_view bytes), void* context);
// Hands the pending bytes to the consumer now (the stream stays open).
void out_drain(OutText& out);
// Writes the text, each "\n" becoming CR LF. Does nothing when not open.
void out_write(OutText& out, std::string_view text);
// Appends text that already carries its CR LF line ends, unchanged.
void out_write_raw(OutText& out, std::string_view text);
// printf-style, then out_write. Names must never be passed as the format.
void out_printf(OutText& out, const char* format, ...) MORVIK_PRINTF_FORMAT(2, 3);
// Flushes and closes a file (a stream: hands over the rest); a memory file keeps its data and only stops taking more.
void out_close(OutText& out);

struct InText {
    std::FILE* file = nullptr;
    std::string buffer;  // bytes read and not yet returned
    size_t pos = 0;      // next unread byte of `buffer`
    bool eof = false;
    bool open = false;
    bool failed = false;  // reading the file failed: the text ends early
    int error = 0;        // errno of that failure
};

bool in_open_file(InText& in, const std::string& name);
// Reads from a copy-free view of memory text (the text must outlive the reader).
void in_open_memory(InText& in, std::string text);
// The next line without its line end; false at the end of the text. A line is
// returned whole whatever its length.
bool in_next_line(InText& in, std::string& line);
void in_close(InText& in);
