#include "common/bytes.h"

#include <cstring>


ByteReader sub_reader(const ByteReader& r, size_t length) {
    ByteReader s = r;
    s.overrun = false;
    if (s.pos > r.end) s.pos = r.end;
    if (length > r.end - s.pos) {
        s.end = r.end;
        s.overrun = true;
    } else {
        s.end = s.pos + length;
    }
    return s;
}

void seek(ByteReader& r, size_t offset) {
    if (offset > r.end) {
        r.pos = r.end;
        r.overrun = true;
    } else {
        r.pos = offset;
    }
}

void skip(ByteReader& r, size_t n) {
    if (n > r.remaining()) {
        r.pos = r.end > r.pos ? r.end : r.pos;
        r.overrun = true;
    } else {
        r.pos += n;
    }
}


uint8_t peek_u8(const ByteReader& r) { return r.pos < r.end ? r.data[r.pos] : 0; }

// Reads n bytes (n <= 8) in target order; missing bytes count as 0.
static uint64_t read_n(ByteReader& r, unsigned n) {
    uint8_t b[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    size_t avail = r.remaining();
    if (avail >= n) {
        std::memcpy(b, r.data + r.pos, n);
        r.pos += n;
    } else {
        if (avail) std::memcpy(b, r.data + r.pos, avail);
        r.pos += avail;
        r.overrun = true;
    }
    uint64_t v = 0;
    if (r.big_endian) {
        for (unsigned i = 0; i < n; ++i) v = (v << 8) | b[i];
    } else {
        for (unsigned i = n; i-- > 0;) v = (v << 8) | b[i];
    }
    return v;
}

uint16_t read_target16_cut(ByteReader& r) { return static_cast<uint16_t>(read_n(r, 2)); }
uint32_t read_target32_cut(ByteReader& r) { return static_cast<uint32_t>(read_n(r, 4)); }
uint64_t read_target64(ByteReader& r) { return read_n(r, 8); }

uint32_t read_target(ByteReader& r, unsigned size) {
    switch (size) {
    case 0:
    case 1: return read_u8(r);
    case 2: return read_target16(r);
    case 4: return read_target32(r);
    case 8: return static_cast<uint32_t>(read_target64(r));
    default: skip(r, size); return 0;
    }
}

uint32_t read_address(ByteReader& r, unsigned size) {
    if (size == 0) return 0;
    if (size <= 8) return static_cast<uint32_t>(read_n(r, size));
    // Wider than 8: the low 32 bits sit in the last four bytes (big-endian)
    // or the first four (little-endian).
    uint32_t v;
    if (r.big_endian) {
        skip(r, size - 4);
        v = static_cast<uint32_t>(read_n(r, 4));
    } else {
        v = static_cast<uint32_t>(read_n(r, 4));
        skip(r, size - 4);
    }
    return v;
}

uint32_t read_uleb128_multi(ByteReader& r) {
    uint32_t value = 0;
    unsigned shift = 0;
    for (;;) {
        if (r.pos >= r.end) {
            r.overrun = true;
            return value;
        }
        uint8_t byte = r.data[r.pos++];
        if (shift < 32) value |= static_cast<uint32_t>(byte & 0x7F) << shift;
        shift += 7;
        if (!(byte & 0x80)) return value;
    }
}

int32_t read_sleb128(ByteReader& r) {
    uint32_t value = 0;
    unsigned shift = 0;
    uint8_t byte = 0;
    for (;;) {
        if (r.pos >= r.end) {
            r.overrun = true;
            break;
        }
        byte = r.data[r.pos++];
        if (shift < 32) value |= static_cast<uint32_t>(byte & 0x7F) << shift;
        shift += 7;
        if (!(byte & 0x80)) break;
    }
    // Sign extension applies only while the shift is below 32 (up to four bytes).
    if (shift < 32 && (byte & 0x40)) value |= ~0u << shift;
    return static_cast<int32_t>(value);
}

std::string_view read_cstring(ByteReader& r) {
    if (r.pos >= r.end) {
        r.overrun = true;
        return {};
    }
    const char* start = reinterpret_cast<const char*>(r.data + r.pos);
    const void* nul = std::memchr(start, 0, r.end - r.pos);
    if (!nul) {
        std::string_view s(start, r.end - r.pos);
        r.pos = r.end;
        r.overrun = true;
        return s;
    }
    size_t len = static_cast<const char*>(nul) - start;
    r.pos += len + 1;
    return std::string_view(start, len);
}

std::string_view cstring_at(const uint8_t* data, size_t end, size_t offset) {
    if (!data || offset >= end) return {};
    const char* start = reinterpret_cast<const char*>(data + offset);
    const void* nul = std::memchr(start, 0, end - offset);
    size_t len = nul ? static_cast<size_t>(static_cast<const char*>(nul) - start) : end - offset;
    return std::string_view(start, len);
}
