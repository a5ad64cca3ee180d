#include "common/scan.h"

#include <cstring>

const char* skip_blanks(const char* text) {
    while (*text && is_blank(*text)) ++text;
    return text;
}

const char* copy_token(std::string& dest, const char* text, size_t limit) {
    dest.clear();
    if (!*text || limit == 0) return text;
    dest += *text++;
    while (dest.size() < limit && *text && !is_blank(*text)) dest += *text++;
    return text;
}

const char* next_token(std::string& dest, const char* text) { return copy_token(dest, skip_blanks(text), 1023); }

const char* skip_zeros(const char* text) {
    while (*text == '0') ++text;
    return text;
}

static int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

const char* parse_hex(uint32_t& result, const char* text) {
    result = 0;
    text = skip_zeros(text);
    if (*text == 'x' || *text == 'X') text = skip_zeros(text + 1);
    int count = 0;
    for (int d; (d = hex_digit(*text)) >= 0; ++text) {
        if (++count > 8) {
            result = 0xFFFFFFFFu;
            break;
        }
        result = (result << 4) | static_cast<uint32_t>(d);
    }
    return text;
}

const char* parse_decimal(uint32_t& result, const char* text) {
    result = 0;
    text = skip_zeros(text);
    for (; *text >= '0' && *text <= '9'; ++text) {
        uint32_t next = result * 10u + static_cast<uint32_t>(*text - '0');
        // Overflow shows as a value below the previous one (or a wrapped product).
        if (next < result || result > 0xFFFFFFFFu / 10u) break;
        result = next;
    }
    return text;
}

const char* match_prefix(const char* text, const char* prefix) {
    if (!text || !prefix) return nullptr;
    size_t n = std::strlen(prefix);
    return std::strncmp(text, prefix, n) == 0 ? text + n : nullptr;
}

const char* match_word_nocase(const char* text, const char* word) {
    if (!text || !word) return nullptr;
    while (*word) {
        if (fold_case(*text) != fold_case(*word)) return nullptr;
        ++text;
        ++word;
    }
    return (*text == 0 || is_blank(*text)) ? text : nullptr;
}

bool equal_nocase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (fold_case(a[i]) != fold_case(b[i])) return false;
    return true;
}

const char* find_last(const char* text, char c) {
    if (!text) return nullptr;
    if (c == 0) return text + std::strlen(text);
    return std::strrchr(text, c);
}
