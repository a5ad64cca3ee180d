// Number renderings, byte-order and LEB128 readers, text scanners.
#include <gtest/gtest.h>

#include "common/bytes.h"
#include "common/format.h"
#include "common/header_fields.h"
#include "common/scan.h"
#include "common/session.h"

namespace {

ByteReader over(const std::vector<uint8_t>& b, bool big = false) {
    return make_reader(b.data(), b.size(), 0, b.size(), big);
}

TEST(Renderers, FixedWidthsKeepLowDigits) {
    std::string t;
    format_decimal_paren(t, 1234, 3);
    EXPECT_EQ(t, "(234)");
    t.clear();
    format_hex_prefixed(t, 0x1234, 2);
    EXPECT_EQ(t, "0x34");
    t.clear();
    format_hex_fixed(t, 0xABCDEF01u, 8);
    format_decimal_fixed(t, 7, 5);
    EXPECT_EQ(t, "ABCDEF0100007");
    std::vector<uint8_t> b = {0x0A, 0xFF, 0x10};
    ByteReader r = over(b);
    t.clear();
    format_hex_bytes(t, r, 3);
    EXPECT_EQ(t, "0AFF10");
    EXPECT_EQ(r.pos, 3u);
}

TEST(Renderers, FastWritersMatchPrintf) {
    const int32_t values[] = {0, 1, -1, 9, 10, 99, 100, 999, -99, -100, 4096, 0x7FFFFFFF, INT32_MIN, -123456};
    for (int32_t v : values) {
        const uint32_t u = static_cast<uint32_t>(v);
        char want[128];
        std::string got;
        std::snprintf(want, sizeof want, "%d|% 3d|% d|%x|%X|%04X|%02X|%08X", v, v, v, u, u, u, u, u);
        append_dec(got, v);
        got += '|';
        append_dec_blank(got, v, 3);
        got += '|';
        append_dec_blank(got, v, 0);
        got += '|';
        append_hex_lower(got, u);
        got += '|';
        append_hex(got, u);
        got += '|';
        append_hex(got, u, 4);
        got += '|';
        append_hex(got, u, 2);
        got += '|';
        append_hex(got, u, 8);
        EXPECT_EQ(got, want);
    }
}

// append_printf renders the common conversions itself and hands the rest
// to vsnprintf: both must give what snprintf gives.
TEST(Renderers, AppendPrintfMatchesSnprintf) {
    const int32_t values[] = {0, 7, -7, 0x1F, 65535, -65536, 0x7FFFFFFF, INT32_MIN};
    for (int32_t v : values) {
        const uint32_t u = static_cast<uint32_t>(v);
        const long l = v;
        const unsigned long ul = u;
        const char* const s = v < 0 ? "neg" : "";
        char want[512];
        std::string got = "kept:";
        std::snprintf(want, sizeof want, "kept:%d|%u|%x|%X|%02X|%08X|% 3d|% d|%-5d|%05d|% 05d|%5u|%c|%%|%s|%5s|%-5s|",
                      v, u, u, u, u, u, v, v, v, v, v, u, 'A' + (u & 7), s, s, s);
        append_printf(got, "%d|%u|%x|%X|%02X|%08X|% 3d|% d|%-5d|%05d|% 05d|%5u|%c|%%|%s|%5s|%-5s|", v, u,
                      u, u, u, u, v, v, v, v, v, u, 'A' + (u & 7), s, s, s);
        EXPECT_EQ(got, want);
        std::snprintf(want, sizeof want, "kept:%04lX|%lX|%08lX|%5lu|%ld|%0*X|% *d|%*d|", ul, ul, ul, ul, l, 6, u, 4, v,
                      -4, v);
        got = "kept:";
        append_printf(got, "%04lX|%lX|%08lX|%5lu|%ld|%0*X|% *d|%*d|", ul, ul, ul, ul, l, 6, u, 4, v, -4, v);
        EXPECT_EQ(got, want);
        // Conversions it does not render itself, after one it does.
        std::snprintf(want, sizeof want, "kept:%d|%.3d|%+d|%#x|%.1f", v, v, v, u, 1.5);
        got = "kept:";
        append_printf(got, "%d|%.3d|%+d|%#x|%.1f", v, v, v, u, 1.5);
        EXPECT_EQ(got, want);
    }
}

TEST(Renderers, FormatValueByWidthAndRadix) {
    std::vector<uint8_t> b = {0x7F, 0x12, 0x34, 0x01, 0x02, 0x03, 0x04};
    ByteReader r = over(b, true);
    std::string t;
    format_value(t, r, 1, 10);
    format_value(t, r, 2, 16);
    format_value(t, r, 4, 10);
    EXPECT_EQ(t, "(127) 0x1234 (0016909060) ");
    size_t before = r.pos;
    format_value(t, r, 3, 16);  // unknown width renders nothing and does not advance
    EXPECT_EQ(r.pos, before);
}

TEST(TraceValues, OnlyInTraceModeAndPaddedTo20Columns) {
    Session s;
    s.console.to_memory = true;
    std::vector<uint8_t> b = {0x02, 0x00};
    OutText out;
    out_open_memory(out);
    ByteReader r = over(b);
    EXPECT_EQ(trace_values(s, &out, "/e_type", r, 1, 2, 16), 0u);
    EXPECT_TRUE(out.data.empty());
    s.opt.trace = true;
    EXPECT_EQ(trace_values(s, &out, "/e_type", r, 1, 2, 16), 2u);
    EXPECT_EQ(out.data, "/e_type             0x0002 \r\n");
    EXPECT_EQ(s.console.text, "/e_type             0x0002 \n");
    // A label of 20 characters or more loses its tail to the values.
    out.data.clear();
    trace_values(s, &out, "/a_label_of_25_characters", r, 1, 1, 16);
    EXPECT_EQ(out.data, "/a_label_of_25_chara0x02 \r\n");
}

TEST(ByteOrder, ReadersFollowTheTarget) {
    std::vector<uint8_t> b = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
    ByteReader be = over(b, true), le = over(b, false);
    EXPECT_EQ(read_target16(be), 0x1234);
    EXPECT_EQ(read_target16(le), 0x3412);
    ByteReader r = over(b, true);
    EXPECT_EQ(read_target(r, 3), 0u);  // other sizes store nothing but advance
    EXPECT_EQ(r.pos, 3u);
    r = over(b, true);
    EXPECT_EQ(read_target(r, 8), 0x9ABCDEF0u);
    r = over(b, false);
    EXPECT_EQ(read_address(r, 8), 0x78563412u);
}

TEST(ByteOrder, ReadsPastTheEndYieldZeroAndMarkTheReader) {
    std::vector<uint8_t> b = {0x01, 0x02, 0x03};
    ByteReader r = over(b, false);
    EXPECT_EQ(read_target32(r), 0x030201u);
    EXPECT_TRUE(r.overrun);
    EXPECT_EQ(r.pos, 3u);
    EXPECT_EQ(read_u8(r), 0);
    ByteReader sub = sub_reader(over(b), 10);
    EXPECT_TRUE(sub.overrun);
    EXPECT_EQ(sub.end, 3u);
}

TEST(Leb128, ValuesAndTruncation) {
    std::vector<uint8_t> a = {0x80, 0x01};
    ByteReader r = over(a);
    EXPECT_EQ(read_uleb128(r), 128u);
    std::vector<uint8_t> b = {0xFF, 0xFF, 0xFF, 0xFF, 0x7F};
    r = over(b);
    EXPECT_EQ(read_uleb128(r), 0xFFFFFFFFu);
    std::vector<uint8_t> c = {0x7F};
    r = over(c);
    EXPECT_EQ(read_sleb128(r), -1);
    std::vector<uint8_t> d = {0x80, 0x7F};
    r = over(d);
    EXPECT_EQ(read_sleb128(r), -128);
    // Hundreds of continuation bytes: the value keeps its low 32 bits and stops at the end.
    std::vector<uint8_t> e(300, 0x81);
    r = over(e);
    EXPECT_EQ(read_uleb128(r), 0x10204081u | (1u << 28));
    EXPECT_TRUE(r.overrun);
    EXPECT_EQ(r.pos, 300u);
}

TEST(Scanners, HexAndDecimal) {
    uint32_t v;
    const char* t = "123456789";
    EXPECT_EQ(parse_hex(v, t), t + 8);
    EXPECT_EQ(v, 0xFFFFFFFFu);
    parse_hex(v, "00000000ABCDEF01");
    EXPECT_EQ(v, 0xABCDEF01u);
    parse_hex(v, "000X0A");
    EXPECT_EQ(v, 0x0Au);
    t = "4294967296";
    EXPECT_EQ(parse_decimal(v, t), t + 9);
    EXPECT_EQ(v, 429496729u);
    parse_decimal(v, "00042x");
    EXPECT_EQ(v, 42u);
}

TEST(Scanners, WordsPrefixesAndTokens) {
    EXPECT_NE(match_word_nocase("Main.c rest", "MAIN.C"), nullptr);
    EXPECT_EQ(match_word_nocase("Main.c rest", "main"), nullptr);
    EXPECT_EQ(match_word_nocase(nullptr, "x"), nullptr);
    const char elf[] = "\x7F" "ELF\x01";
    EXPECT_EQ(match_prefix(elf, "\x7F" "ELF"), elf + 4);
    const char* abc = "abc";
    EXPECT_EQ(match_prefix(abc, ""), abc);
    const char blanks[] = " \xA0\tx";
    EXPECT_EQ(*skip_blanks(blanks), 'x');
    std::string tok;
    const char* rest = next_token(tok, "  +0x00001000 12\r");
    EXPECT_EQ(tok, "+0x00001000");
    next_token(tok, rest);
    EXPECT_EQ(tok, "12");
    EXPECT_EQ(*find_last("a\\b\\c", '\\'), '\\');
    EXPECT_EQ(find_last("abc", '\\'), nullptr);
}

TEST(TextIo, CrLfOutAndLinesBackWholeAndLong) {
    OutText out;
    out_open_memory(out);
    out_printf(out, "a%d\n", 1);
    std::string long_line(5000, 'x');
    out_write(out, long_line + "\nlast");
    out_close(out);
    EXPECT_EQ(out.data.substr(0, 4), "a1\r\n");
    InText in;
    in_open_memory(in, out.data);
    std::string line;
    ASSERT_TRUE(in_next_line(in, line));
    EXPECT_EQ(line, "a1");
    ASSERT_TRUE(in_next_line(in, line));
    EXPECT_EQ(line, long_line);
    ASSERT_TRUE(in_next_line(in, line));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(in_next_line(in, line));
}

}  // namespace

TEST(TraceValues, ShortAndLongLinesRenderAlike) {
    Session s;
    s.console.to_memory = true;
    s.opt.trace = true;
    std::vector<uint8_t> b(80, 0);
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(0xF7 - 3 * i);
    // Per row: values, width, radix; 16 values is the longest stack-built line.
    const struct { int count, width, radix; } kRows[] = {
        {16, 4, 10}, {17, 4, 10}, {16, 1, 16}, {17, 2, 16}, {3, 3, 16}, {0, 1, 16}, {21, 4, 16},
    };
    for (const auto& row : kRows) {
        OutText out;
        out_open_memory(out);
        ByteReader r = over(b, true);
        const size_t end = trace_values(s, &out, "/label", r, row.count, row.width, row.radix);
        ByteReader expect_r = over(b, true);
        std::string expect = "/label              ";
        format_values(expect, expect_r, row.count, row.width, row.radix);
        EXPECT_EQ(out.data, expect + "\r\n") << row.count << " x " << row.width;
        EXPECT_EQ(end, expect_r.pos);
    }
}

struct TwoFields {
    uint32_t a = 7, b = 7;
};
constexpr HeaderField<TwoFields> kTwoFields[] = {
    {"/a", 1, 1, 2, &TwoFields::a}, {"/skip", 0, 1, 1, nullptr}, {"/b", 3, 1, 4, &TwoFields::b}};

TEST(HeaderFields, WholeCutAndMissingHeadersRead) {
    const std::vector<uint8_t> b = {0xEE, 0x12, 0x34, 0x01, 0x02, 0x03, 0x04};
    // Per row: where the header starts, how many bytes are there, its values.
    const struct { size_t start, length; bool whole; uint32_t a, b; } kRows[] = {
        {0, 7, true, 0x1234, 0x01020304},   // all there
        {0, 6, false, 0x1234, 0x01020300},  // last byte cut
        {0, 2, false, 0x1200, 0},           // most of it cut
        {7, 0, false, 0, 0},                // nothing there
    };
    for (const auto& row : kRows) {
        TwoFields f;
        ByteReader r = make_reader(b.data(), b.size(), row.start, row.length, true);
        EXPECT_EQ(read_header_fields(f, kTwoFields, r), row.whole) << row.length;
        EXPECT_EQ(f.a, row.a) << row.length;
        EXPECT_EQ(f.b, row.b) << row.length;
    }
}
