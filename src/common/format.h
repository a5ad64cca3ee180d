// Trace lines and the fixed-width number renderings used in them.
//
// A trace value line is a label padded to 20 columns followed by values,
// each rendered as "0x" with 2, 4 or 8 upper-case hex digits (radix 16) or
// as 3, 5 or 10 decimal digits in parentheses, and a space.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/bytes.h"
#include "common/compiler.h"

struct Session;
struct OutText;

// The hex digits of every rendering, upper case.
constexpr char kHexDigits[] = "0123456789ABCDEF";

// In trace mode: writes the text to `out` (when given) and to the console.
void trace_line(Session& s, OutText* out, std::string_view text);
// In trace mode: one value line of `count` values of `width` bytes read at
// `at`, labelled `label` (may be null). Returns the offset after the values
// in trace mode and at.pos unchanged otherwise. Bytes outside the reader's
// range render as 0.
size_t trace_values(Session& s, OutText* out, const char* label, const ByteReader& at, int count, int width,
                    int radix);

// Appends `count` renderings of `width`-byte values read from `r` (widths
// other than 1, 2, 4 render nothing and do not advance).
void format_values(std::string& text, ByteReader& r, int count, int width, int radix);
// Appends one rendering and its trailing space.
void format_value(std::string& text, ByteReader& r, int width, int radix);

// "(" digits ")" with exactly `digits` decimal digits (low-order digits kept).
void format_decimal_paren(std::string& text, uint32_t value, int digits);
void format_decimal_fixed(std::string& text, uint32_t value, int digits);
// "0x" and exactly `digits` upper-case hex digits.
void format_hex_prefixed(std::string& text, uint32_t value, int digits);
void format_hex_fixed(std::string& text, uint32_t value, int digits);
// Two upper-case hex digits per byte, high nibble first, no separators.
void format_hex_bytes(std::string& text, ByteReader& r, int count);

// Fast formatting for the hot record writers: "%d" of a signed 32-bit value
// and "%X" (no leading zeros) of its 32-bit pattern. The put_ forms write at
// `out` (room for 11 and 8 characters) and return the end of what they wrote.
inline char* put_dec(char* out, int32_t value) {
    // Most values printed are one or two digits.
    if (static_cast<uint32_t>(value) < 100) {
        if (value >= 10) *out++ = static_cast<char>('0' + value / 10);
        *out++ = static_cast<char>('0' + value % 10);
        return out;
    }
    char buf[12];
    char* end = buf + sizeof buf;
    char* p = end;
    uint32_t v = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
        *--p = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    if (value < 0) *--p = '-';
    while (p < end) *out++ = *p++;
    return out;
}
inline char* put_hex(char* out, uint32_t value) {
    // Addresses and sizes of members are mostly 0.
    if (value < 16) {
        *out++ = kHexDigits[value];
        return out;
    }
    int shift = 28;
    while (shift > 0 && (value >> shift) == 0) shift -= 4;
    for (; shift >= 0; shift -= 4) *out++ = kHexDigits[(value >> shift) & 0xF];
    return out;
}
void append_dec(std::string& text, int32_t value);
// Upper-case hex digits of `value`, at least `min_digits` of them (leading
// zeros fill up to that many), as "%0*X" would write them for any width of
// value (offsets and sizes included).
void append_hex(std::string& text, uint64_t value, int min_digits = 1);

// "% *d": a blank (or the minus sign) and the digits, right-aligned in
// `width` columns.
void append_dec_blank(std::string& text, int32_t value, int width);
// Lower-case hex digits as "%x" writes them.
void append_hex_lower(std::string& text, uint32_t value);

// A line record "<marker>0x%08X %5u\n": the address in eight upper-case hex
// digits, the line right-aligned in five columns (wider when it needs to be);
// with `crlf` the line ends in CR LF as written to a file.
void append_line_record(std::string& text, char marker, uint32_t address, uint32_t line, bool crlf = false);

// snprintf into a std::string (appending).
void append_printf(std::string& text, const char* format, ...) MORVIK_PRINTF_FORMAT(2, 3);
