// Fixed-layout headers (the ELF header and its table entries, unit headers)
// described once, as a table of fields, and both traced and read from it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bytes.h"
#include "common/format.h"

// One field of a header of type T: where it lies, how the trace shows it,
// and where its value goes.
template <typename T>
struct HeaderField {
    const char* label;    // the trace label ("/e_type")
    uint32_t offset;      // from the start of the header
    uint8_t count;        // values the trace shows (e_ident shows 16 bytes)
    uint8_t width;        // bytes per value: 1, 2 or 4
    uint32_t T::*member;  // where a single value is stored; null for a field that is only traced
};

// In trace mode, one value line per field, read at the header's start in
// `header` (bytes beyond its end show as 0).
template <typename T, size_t N>
void trace_header_fields(Session& s, OutText& out, const HeaderField<T> (&fields)[N], const ByteReader& header) {
    for (const HeaderField<T>& f : fields) {
        ByteReader at = header;
        seek(at, header.pos + f.offset);
        trace_values(s, &out, f.label, at, f.count, f.width, 16);
    }
}

// Reads every stored field into `out` in the target byte order; bytes
// beyond the end of `header` read as 0. Returns false when any was cut.
template <typename T, size_t N>
bool read_header_fields(T& out, const HeaderField<T> (&fields)[N], const ByteReader& header) {
    bool whole = true;
    size_t need = 0;
    for (const HeaderField<T>& f : fields) need = f.offset + f.width > need ? f.offset + f.width : need;
    if (header.pos <= header.end && header.end - header.pos >= need) {
        // The whole header is there: no field needs the clamping seek.
        ByteReader at = header;
        for (const HeaderField<T>& f : fields) {
            if (!f.member) continue;
            at.pos = header.pos + f.offset;
            switch (f.width) {
            case 2: out.*f.member = read_target16(at); break;
            case 4: out.*f.member = read_target32(at); break;
            default: out.*f.member = read_target(at, f.width); break;
            }
        }
        return !at.overrun;
    }
    if (header.pos >= header.end) {
        // No byte of it is there: every stored field reads as 0.
        for (const HeaderField<T>& f : fields) {
            if (f.member) {
                out.*f.member = 0;
                whole = false;
            }
        }
        return whole;
    }
    for (const HeaderField<T>& f : fields) {
        if (!f.member) continue;
        ByteReader at = header;
        seek(at, header.pos + f.offset);
        out.*f.member = read_target(at, f.width);
        if (at.overrun) whole = false;
    }
    return whole;
}
