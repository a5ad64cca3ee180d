#include "common/format.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/session.h"

void trace_line(Session& s, OutText* out, std::string_view text) {
    if (!s.opt.trace) return;
    if (out) out_write(*out, text);
    console_trace(s, text);
}

namespace {

// Values per trace line built without the heap; each takes at most 13
// characters ("(" ten digits ")" and the space).
constexpr int kShortLineValues = 16;

// One rendering as format_value writes it, at `p`; returns its end.
char* put_value(char* p, ByteReader& r, int width, int radix) {
    uint32_t v;
    int hex_digits, dec_digits;
    switch (width) {
    case 1: v = read_u8(r); hex_digits = 2; dec_digits = 3; break;
    case 2: v = read_target16(r); hex_digits = 4; dec_digits = 5; break;
    case 4: v = read_target32(r); hex_digits = 8; dec_digits = 10; break;
    default: return p;
    }
    if (radix == 16) {
        *p++ = '0';
        *p++ = 'x';
        for (int i = hex_digits - 1; i >= 0; --i, v >>= 4) p[i] = kHexDigits[v & 0xF];
        p += hex_digits;
    } else {
        *p++ = '(';
        for (int i = dec_digits - 1; i >= 0; --i, v /= 10) p[i] = static_cast<char>('0' + v % 10);
        p += dec_digits;
        *p++ = ')';
    }
    *p++ = ' ';
    return p;
}

}  // namespace

size_t trace_values(Session& s, OutText* out, const char* label, const ByteReader& at, int count, int width,
                    int radix) {
    if (!s.opt.trace) return at.pos;
    if (count <= kShortLineValues) {
        // The common short line, built on the stack.
        char line[20 + kShortLineValues * 13 + 1];
        size_t n = 0;
        while (label && n < 20 && label[n]) ++n;
        if (n) std::memcpy(line, label, n);
        std::memset(line + n, ' ', 20 - n);
        char* p = line + 20;
        ByteReader r = at;
        for (int i = 0; i < count; ++i) p = put_value(p, r, width, radix);
        *p++ = '\n';
        trace_line(s, out, std::string_view(line, static_cast<size_t>(p - line)));
        return r.pos;
    }
    // The label field is 20 columns; a longer label has its tail overwritten by the values.
    std::string line(20, ' ');
    if (label) {
        std::string_view l(label);
        if (l.size() > 128) l = l.substr(0, 128);
        if (l.size() <= 20) {
            line.replace(0, l.size(), l);
        } else {
            line.assign(l.data(), 20);
        }
    }
    ByteReader r = at;
    format_values(line, r, count, width, radix);
    line += '\n';
    trace_line(s, out, line);
    return r.pos;
}

void format_values(std::string& text, ByteReader& r, int count, int width, int radix) {
    for (int i = 0; i < count; ++i) format_value(text, r, width, radix);
}

void format_value(std::string& text, ByteReader& r, int width, int radix) {
    char value[13];
    text.append(value, static_cast<size_t>(put_value(value, r, width, radix) - value));
}

namespace {

// Exactly `digits` (modulo 256) digits of `value` in `base`, low-order digits kept.
void format_fixed(std::string& text, uint32_t value, int digits, uint32_t base) {
    digits &= 0xFF;
    size_t start = text.size();
    text.append(static_cast<size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i) {
        text[start + i] = kHexDigits[value % base];
        value /= base;
    }
}

}  // namespace

void format_decimal_fixed(std::string& text, uint32_t value, int digits) { format_fixed(text, value, digits, 10); }

void format_decimal_paren(std::string& text, uint32_t value, int digits) {
    text += '(';
    format_decimal_fixed(text, value, digits);
    text += ')';
}

void format_hex_fixed(std::string& text, uint32_t value, int digits) { format_fixed(text, value, digits, 16); }

void format_hex_prefixed(std::string& text, uint32_t value, int digits) {
    text += "0x";
    format_hex_fixed(text, value, digits);
}

void format_hex_bytes(std::string& text, ByteReader& r, int count) {
    count &= 0xFF;
    for (int i = 0; i < count; ++i) {
        uint8_t b = read_u8(r);
        text += kHexDigits[b >> 4];
        text += kHexDigits[b & 0xF];
    }
}

namespace {

// Renders `format` as vsnprintf would when it uses only the conversions
// the trace and record writers use: d, u, x, X, c, s and %, the flags '-',
// '0' and ' ', a width (digits or '*') and the length 'l'. Returns false,
// having appended nothing, at anything else.
bool append_simple_format(std::string& text, const char* format, va_list args) {
    const size_t start = text.size();
    const char* p = format;
    for (;;) {
        const char* percent = std::strchr(p, '%');
        if (!percent) {
            text.append(p);
            return true;
        }
        text.append(p, static_cast<size_t>(percent - p));
        p = percent + 1;
        bool left = false, zero = false, blank = false;
        for (;; ++p) {
            if (*p == '-') {
                left = true;
            } else if (*p == '0') {
                zero = true;
            } else if (*p == ' ') {
                blank = true;
            } else {
                break;
            }
        }
        long width = 0;
        if (*p == '*') {
            const int w = va_arg(args, int);
            if (w < 0) left = true;
            width = w < 0 ? -static_cast<long>(w) : w;
            ++p;
        } else {
            while (*p >= '0' && *p <= '9') width = width * 10 + (*p++ - '0');
            if (width > 4096) break;
        }
        if (width > 4096) break;
        const bool is_long = *p == 'l';
        if (is_long) ++p;
        // The digits (or the text) and what goes before them.
        char digits[24];
        char* const digits_end = digits + sizeof digits;
        char* d = digits_end;
        const char* body = nullptr;
        size_t body_size = 0;
        char sign = 0;
        bool numeric = true;
        const char conversion = *p++;
        switch (conversion) {
        case 'd': {
            const long v = is_long ? va_arg(args, long) : va_arg(args, int);
            unsigned long u = v < 0 ? 0ul - static_cast<unsigned long>(v) : static_cast<unsigned long>(v);
            do {
                *--d = static_cast<char>('0' + u % 10);
                u /= 10;
            } while (u);
            sign = v < 0 ? '-' : blank ? ' ' : 0;
            break;
        }
        case 'u':
        case 'x':
        case 'X': {
            unsigned long u = is_long ? va_arg(args, unsigned long) : va_arg(args, unsigned);
            if (conversion == 'u') {
                do {
                    *--d = static_cast<char>('0' + u % 10);
                    u /= 10;
                } while (u);
            } else {
                const char* const set = conversion == 'X' ? kHexDigits : "0123456789abcdef";
                do {
                    *--d = set[u & 0xF];
                    u >>= 4;
                } while (u);
            }
            break;
        }
        case 'c':
            if (is_long || zero) break;
            *--d = static_cast<char>(va_arg(args, int));
            numeric = false;
            break;
        case 's':
            if (is_long || zero) break;
            body = va_arg(args, const char*);
            if (!body) break;
            body_size = std::strlen(body);
            numeric = false;
            break;
        case '%':
            if (left || zero || blank || width || is_long) break;
            text += '%';
            continue;
        default: break;
        }
        if (!body) {
            if (d == digits_end) break;  // a conversion not rendered here
            body = d;
            body_size = static_cast<size_t>(digits_end - d);
        }
        const size_t size = body_size + (sign ? 1 : 0);
        const size_t pad = static_cast<size_t>(width) > size ? static_cast<size_t>(width) - size : 0;
        if (pad && !left && !(zero && numeric)) text.append(pad, ' ');
        if (sign) text += sign;
        if (pad && !left && zero && numeric) text.append(pad, '0');
        text.append(body, body_size);
        if (pad && left) text.append(pad, ' ');
    }
    text.resize(start);
    return false;
}

}  // namespace

void append_printf(std::string& text, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const bool done = append_simple_format(text, format, args);
    va_end(args);
    if (!done) {
        char small[512];
        va_list third;
        va_copy(third, again);
        int n = std::vsnprintf(small, sizeof small, format, again);
        if (n >= 0 && static_cast<size_t>(n) < sizeof small) {
            text.append(small, static_cast<size_t>(n));
        } else if (n >= 0) {
            size_t old = text.size();
            text.resize(old + static_cast<size_t>(n) + 1);
            std::vsnprintf(&text[old], static_cast<size_t>(n) + 1, format, third);
            text.resize(old + static_cast<size_t>(n));
        }
        va_end(third);
    }
    va_end(again);
}

void append_dec(std::string& text, int32_t value) {
    char buf[12];
    text.append(buf, static_cast<size_t>(put_dec(buf, value) - buf));
}

void append_hex(std::string& text, uint64_t value, int min_digits) {
    // Sixteen digits hold any value; the zeros of a wider field are padded
    // on the stack as well, so the text grows by one append.
    constexpr int kRoom = 32;
    char digits[kRoom];
    char* const end = digits + kRoom;
    char* p = end;
    do {
        *--p = kHexDigits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    const int n = static_cast<int>(end - p);
    if (min_digits > n) {
        if (min_digits > kRoom) {
            text.append(static_cast<size_t>(min_digits - n), '0');
        } else {
            while (end - p < min_digits) *--p = '0';
        }
    }
    text.append(p, static_cast<size_t>(end - p));
}

void append_dec_blank(std::string& text, int32_t value, int width) {
    char buf[12];
    char* p = buf;
    if (value >= 0) *p++ = ' ';
    p = put_dec(p, value);
    const size_t n = static_cast<size_t>(p - buf);
    if (width > 0 && static_cast<size_t>(width) > n) text.append(static_cast<size_t>(width) - n, ' ');
    text.append(buf, n);
}

void append_hex_lower(std::string& text, uint32_t value) {
    static constexpr char kLower[] = "0123456789abcdef";
    int shift = 28;
    while (shift > 0 && (value >> shift) == 0) shift -= 4;
    for (; shift >= 0; shift -= 4) text += kLower[(value >> shift) & 0xF];
}

void append_line_record(std::string& text, char marker, uint32_t address, uint32_t line, bool crlf) {
    char buf[32];
    char* p = buf;
    *p++ = marker;
    *p++ = '0';
    *p++ = 'x';
    for (int shift = 28; shift >= 0; shift -= 4) *p++ = kHexDigits[(address >> shift) & 0xF];
    *p++ = ' ';
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + line % 10);
        line /= 10;
    } while (line);
    for (int pad = 5 - n; pad > 0; --pad) *p++ = ' ';
    while (n > 0) *p++ = digits[--n];
    if (crlf) *p++ = '\r';
    *p++ = '\n';
    text.append(buf, static_cast<size_t>(p - buf));
}
