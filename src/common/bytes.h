// Bounded reading of the input image.
//
// Every read of the ELF image goes through a ByteReader: a cursor holding
// absolute offsets into the image and an end that it never passes. A read
// that would cross the end yields 0 for the missing bytes, leaves the cursor
// at the end and sets `overrun`, so a caller can read a whole record and
// check once afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

struct ByteReader {
    const uint8_t* data = nullptr;  // start of the whole image
    size_t pos = 0;                 // absolute offset of the next byte
    size_t end = 0;                 // absolute offset one past the last readable byte
    bool big_endian = false;        // target byte order
    bool overrun = false;           // a read wanted bytes at or beyond `end`

    size_t remaining() const { return pos < end ? end - pos : 0; }
    bool at_end() const { return pos >= end; }
};

// A reader over [begin, begin + length) of an image of `size` bytes, clamped to the image.
inline ByteReader make_reader(const uint8_t* data, size_t size, size_t begin, size_t length, bool big_endian) {
    ByteReader r;
    r.data = data;
    r.big_endian = big_endian;
    if (begin > size) begin = size;
    r.pos = begin;
    r.end = (length > size - begin) ? size : begin + length;
    return r;
}

// A reader over the next `length` bytes of `r` (clamped to r's end); sets
// `overrun` in the result when fewer than `length` bytes were available.
ByteReader sub_reader(const ByteReader& r, size_t length);

// Moves the cursor to an absolute offset; an offset past the end clamps to
// the end and marks the reader.
void seek(ByteReader& r, size_t offset);
// Steps over n bytes (clamped, marking the reader when cut).
void skip(ByteReader& r, size_t n);

inline uint8_t read_u8(ByteReader& r) {
    if (r.pos >= r.end) {
        r.overrun = true;
        return 0;
    }
    return r.data[r.pos++];
}
uint8_t peek_u8(const ByteReader& r);   // the next byte or 0 at the end; never marks the reader
uint16_t read_target16_cut(ByteReader& r);
uint32_t read_target32_cut(ByteReader& r);
// The common case (all bytes there) inline; a cut value goes the slow way.
inline uint16_t read_target16(ByteReader& r) {
    if (r.end - r.pos < 2 || r.pos > r.end) return read_target16_cut(r);
    const uint8_t* p = r.data + r.pos;
    r.pos += 2;
    return static_cast<uint16_t>(r.big_endian ? (p[0] << 8) | p[1] : p[0] | (p[1] << 8));
}
inline uint32_t read_target32(ByteReader& r) {
    if (r.end - r.pos < 4 || r.pos > r.end) return read_target32_cut(r);
    const uint8_t* p = r.data + r.pos;
    r.pos += 4;
    return r.big_endian ? (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]
                        : (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}
uint64_t read_target64(ByteReader& r);
// A value of `size` bytes: 0 or 1 read one byte, 2, 4 and 8 read that many
// (8 keeps the low 32 bits), any other size reads nothing, steps over `size`
// bytes and yields 0.
uint32_t read_target(ByteReader& r, unsigned size);
// An address of the given size: 1, 2 and 4 as read_target; any other size
// n > 0 reads n bytes and keeps the low 32 bits; 0 reads nothing.
uint32_t read_address(ByteReader& r, unsigned size);

// DWARF LEB128, 32-bit results. Bits beyond bit 31 are dropped; a value cut
// by the end keeps the groups that were read and marks the reader.
uint32_t read_uleb128_multi(ByteReader& r);
inline uint32_t read_uleb128(ByteReader& r) {
    // Most values (codes, forms, small offsets) fit in one byte.
    if (r.pos < r.end && !(r.data[r.pos] & 0x80)) return r.data[r.pos++];
    return read_uleb128_multi(r);
}
int32_t read_sleb128(ByteReader& r);

// A NUL-terminated string starting at the cursor. The cursor moves past the
// NUL; a string without NUL before the end runs to the end and marks the reader.
std::string_view read_cstring(ByteReader& r);
// The NUL-terminated string at an absolute offset, without moving anything;
// empty when the offset is outside [0, end). Stops at the end when no NUL.
std::string_view cstring_at(const uint8_t* data, size_t end, size_t offset);
