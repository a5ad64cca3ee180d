// Scanners for the text the converter reads back (the LXX file) and for names.
//
// A blank is a character whose value as a signed 8-bit number is at most 32:
// the control characters, the space and every byte from 0x80 to 0xFF.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline bool is_blank(char c) { return static_cast<signed char>(c) <= 32; }
// The ASCII letters a-z as A-Z; every other byte as it is.
inline char fold_case(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

const char* skip_blanks(const char* text);
// Copies the first character unless NUL, then more until a blank or NUL or
// `limit` characters; returns the position after the copied characters.
const char* copy_token(std::string& dest, const char* text, size_t limit);
// skip_blanks, then copy_token with the limit 1023.
const char* next_token(std::string& dest, const char* text);
const char* skip_zeros(const char* text);
// Hex number with optional leading zeros and "x"; a ninth significant digit
// gives 0xFFFFFFFF and stops there.
const char* parse_hex(uint32_t& result, const char* text);
// Decimal number; stops before the digit that would overflow 32 bits.
const char* parse_decimal(uint32_t& result, const char* text);
// Position after `prefix` when `text` begins with it, else null.
const char* match_prefix(const char* text, const char* prefix);
// Position after `word` when `text` begins with it (case folded) and a blank
// or NUL follows; else null.
const char* match_word_nocase(const char* text, const char* word);
// Equal texts when the letters a-z and A-Z are case folded.
bool equal_nocase(std::string_view a, std::string_view b);
// The last occurrence of `c` (NUL finds the terminator), else null.
const char* find_last(const char* text, char c);
