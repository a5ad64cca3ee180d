// The LIN builder: LXX text in, LIN text out.
#include <gtest/gtest.h>

#include "lines/lin_builder.h"
#include "lines/line_state.h"
#include "support/fixture.h"

namespace {

const char kHead[] = "/Qelto(DORO-GNU-ELF)-Symbol-Converter\n/Ver2.00C\n/usage: morvik t.x\n/InlineDel=OFF\n";

struct Built {
    bool accepted = false;
    std::string lin;
};

Built build(const std::string& lxx_text, bool inline_del = false, bool view_merge = false) {
    Fixture f;
    Session& s = f.s;
    s.usage_line = "/usage: morvik t.x\n";
    s.opt.delete_inline_duplicates = inline_del;
    s.opt.view_merge = view_merge;
    s.elf.dwarf_version = 2;
    InText in;
    std::string crlf;
    for (char c : lxx_text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    in_open_memory(in, crlf);
    Built b;
    b.accepted = read_and_mark_lines(s, in, f.out);
    if (b.accepted) {
        if (inline_del) mark_inline_modules(s);
        write_line_records(s, f.out);
    }
    b.lin = f.text();
    return b;
}

// The same text written through the stream the line writer uses when no
// LXX file is kept, handed over in blocks of `block` bytes.
Built build_streamed(const std::string& lxx_text, size_t block, bool inline_del = false) {
    Fixture f;
    Session& s = f.s;
    s.usage_line = "/usage: morvik t.x\n";
    s.opt.delete_inline_duplicates = inline_del;
    s.elf.dwarf_version = 2;
    OutText lxx;
    start_line_stream(s, lxx);
    for (size_t at = 0; at < lxx_text.size(); at += block) {
        out_write(lxx, std::string_view(lxx_text).substr(at, block));
        out_drain(lxx);
    }
    out_close(lxx);
    Built b;
    write_streamed_lin(s, f.out);
    b.accepted = s.lines->lin.banner_seen;
    b.lin = f.text();
    return b;
}

std::string lin_header(bool inline_del = false) {
    std::string h = "/Qelto(DORO-GNU-ELF)-Symbol-Converter\n/Ver2.00C\n/usage: morvik t.x\n";
    if (!inline_del) h += "/InlineDel=OFF\n";
    return h + "/Dwarf-Version[2]\n";
}

TEST(LinBuilder, OneSequenceIsCopiedWithItsHeader) {
    const std::string body =
        "#LNE_start_sequence#\n-****  src\n+****  main.c\n+0x00000100     3\n+0x0000ABCD     7\n$LNE_end_sequence=\n";
    Built b = build(std::string(kHead) + "/ DW_copy(0x01) trace\n/****  SrcNameOverIndex(4) Regs(3)\n" + body);
    ASSERT_TRUE(b.accepted);
    EXPECT_EQ(b.lin, lin_header() + body);

    // -m only adds its header line.
    Built m = build(std::string(kHead) + body, false, true);
    EXPECT_EQ(m.lin, "/Qelto(DORO-GNU-ELF)-Symbol-Converter\n/Ver2.00C\n/usage: morvik t.x\n/InlineDel=OFF\n"
                     "/ViewMerg=ON\n/Dwarf-Version[2]\n" + body);
}

TEST(LinBuilder, WithoutTheBannerNothingIsWritten) {
    Built b = build("/Ver2.00C\n#LNE_start_sequence#\n+****  a.c\n+0x00000001     1\n$LNE_end_sequence=\n");
    EXPECT_FALSE(b.accepted);
    EXPECT_EQ(b.lin, "");
    EXPECT_FALSE(build("").accepted);
    EXPECT_FALSE(build("/Qelto(DORO-GNU-ELF)-Symbol-Converter and more\n").accepted);
}

TEST(LinBuilder, DuplicateFileLinesAreMarkedOrDropped) {
    const std::string lxx = std::string(kHead) +
                            "#LNE_start_sequence#\n-****  src\n+****  main.c\n+0x00000100     1\n$LNE_end_sequence=\n"
                            "#LNE_start_sequence#\n-****  src\n+****  MAIN.C\n+0x00000200     5\n"
                            "+****  io.h\n$LNE_end_sequence=\n"
                            "#LNE_start_sequence#\n+****  util.c\n+0x00000300     9\n$LNE_end_sequence=\n"
                            "#LNE_start_sequence#\n+****  io.h\n$LNE_end_sequence=\n";
    Built b = build(lxx);
    // The second main.c (case differs) keeps its rows under "=" with no
    // markers; both io.h records have no rows and are not written at all, so
    // the file ends without a final end marker.
    EXPECT_EQ(b.lin, lin_header() +
                         "#LNE_start_sequence#\n-****  src\n+****  main.c\n+0x00000100     1\n$LNE_end_sequence=\n"
                         "=****  src\n=****  MAIN.C\n+0x00000200     5\n"
                         "#LNE_start_sequence#\n+****  util.c\n+0x00000300     9\n$LNE_end_sequence=\n");
}

TEST(LinBuilder, DuplicateAtTheEndGetsTheFinalEndMarker) {
    Built b = build(std::string(kHead) +
                    "#LNE_start_sequence#\n+****  a.c\n+0x00000001     1\n$LNE_end_sequence=\n"
                    "#LNE_start_sequence#\n+****  a.c\n+0x00000002     2\n$LNE_end_sequence=\n");
    EXPECT_EQ(b.lin, lin_header() +
                         "#LNE_start_sequence#\n+****  a.c\n+0x00000001     1\n$LNE_end_sequence=\n"
                         "=****  a.c\n+0x00000002     2\n$LNE_end_sequence=\n");
}

TEST(LinBuilder, IncludeFileSequencesPassThrough) {
    const std::string body =
        "#LNE_start_sequence#\n+****  a.c\n+0x00000001     1\n$LNE_end_sequence=\n"
        "#LNE_start_sequence#\n-****  inc\n+****  never.h\n$LNE_end_sequence=\n";
    EXPECT_EQ(build(std::string(kHead) + body).lin, lin_header() + body);
    // Directory lines written as comments (-r) do not reach the LIN file.
    EXPECT_EQ(build(std::string(kHead) + "#LNE_start_sequence#\n/****  inc\n+****  a.c\n$LNE_end_sequence=\n").lin,
              lin_header() + "#LNE_start_sequence#\n+****  a.c\n$LNE_end_sequence=\n");
}

TEST(LinBuilder, InlineMarkingWithinASequence) {
    // a.c opens the sequence, c.h closes it: b.h and c.h belong to other modules.
    const std::string lxx = std::string(kHead) +
                            "#LNE_start_sequence#\n+****  a.c\n+0x00000010     1\n"
                            "+****  b.h\n+0x00000020     2\n"
                            "+****  c.h\n+0x00000030     3\n$LNE_end_sequence=\n"
                            "#LNE_start_sequence#\n+****  z.c\n+0x00000040     4\n$LNE_end_sequence=\n";
    EXPECT_EQ(build(lxx, true).lin, lin_header(true) +
                                        "#LNE_start_sequence#\n+****  a.c\n+0x00000010     1\n"
                                        ">****  b.h\n>0x00000020     2\n"
                                        ">****  c.h\n>0x00000030     3\n"
                                        "#LNE_start_sequence#\n+****  z.c\n+0x00000040     4\n$LNE_end_sequence=\n");
    // Without -i nothing is re-marked.
    EXPECT_EQ(build(lxx).lin.substr(lin_header().size()), lxx.substr(sizeof kHead - 1));
}

TEST(LinBuilder, InlineMarkingAfterDuplicates) {
    // The third record (a.c again) becomes same through the duplicate marking
    // and loses its last state, so the first sequence only ends at the later
    // record in state last, and every record up to it is re-marked.
    const std::string lxx = std::string(kHead) +
                            "#LNE_start_sequence#\n+****  a.c\n+0x00000010     1\n"
                            "+****  b.h\n+0x00000020     2\n"
                            "+****  A.c\n+0x00000030     3\n$LNE_end_sequence=\n"
                            "+****  d.c\n+0x00000040     4\n$LNE_end_sequence=\n"
                            "#LNE_start_sequence#\n+****  e.c\n+0x00000050     5\n$LNE_end_sequence=\n";
    EXPECT_EQ(build(lxx, true).lin, lin_header(true) +
                                        "#LNE_start_sequence#\n+****  a.c\n+0x00000010     1\n"
                                        ">****  b.h\n>0x00000020     2\n"
                                        "=****  A.c\n+0x00000030     3\n"
                                        ">****  d.c\n>0x00000040     4\n"
                                        "#LNE_start_sequence#\n+****  e.c\n+0x00000050     5\n$LNE_end_sequence=\n");

    // With no later record in state last the sequence has no end: only the
    // duplicate marking shows.
    const std::string open = std::string(kHead) +
                             "#LNE_start_sequence#\n+****  a.c\n+0x00000010     1\n"
                             "+****  b.h\n+0x00000020     2\n"
                             "+****  a.c\n+0x00000030     3\n$LNE_end_sequence=\n";
    EXPECT_EQ(build(open, true).lin, lin_header(true) +
                                         "#LNE_start_sequence#\n+****  a.c\n+0x00000010     1\n"
                                         "+****  b.h\n+0x00000020     2\n"
                                         "=****  a.c\n+0x00000030     3\n$LNE_end_sequence=\n");
}

TEST(LinBuilder, LineRecordsParseAndStrayLinesAreIgnored) {
    Built b = build(std::string(kHead) +
                    "+0x00000001     1\n$LNE_end_sequence=\n"  // before any record: ignored
                    "+****  a.c\n+0x0000abcd     7\n+0x123456789     4294967296\n+0x    \nxyz\n");
    EXPECT_EQ(b.lin, lin_header() + "+****  a.c\n+0x0000ABCD     7\n+0xFFFFFFFF 429496729\n+0x00000000     0\n"
                                    "$LNE_end_sequence=\n");
}

TEST(LinBuilder, LongLinesAndManyRows) {
    // A file line longer than 1023 characters stays one line.
    std::string name(3000, 'n');
    std::string lxx = std::string(kHead) + "#LNE_start_sequence#\n+****  " + name + "\n";
    const uint32_t rows = 250000;  // beyond the 200000 the pools once held
    for (uint32_t i = 0; i < rows; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "+0x%08X %5u\n", i * 2, i % 99999 + 1);
        lxx += line;
    }
    lxx += "$LNE_end_sequence=\n";
    Built b = build(lxx);
    EXPECT_EQ(b.lin, lin_header() + lxx.substr(sizeof kHead - 1));
}

TEST(LinBuilder, ManyRecordsAreGroupedNotComparedPairwise) {
    // 40000 records over 2000 names: the pairwise rule must hold exactly.
    std::string lxx = kHead;
    for (int i = 0; i < 40000; ++i) {
        lxx += "#LNE_start_sequence#\n+****  f" + std::to_string(i % 2000) + ".c\n";
        if (i % 3 != 0) lxx += "+0x00000001     1\n";
        lxx += "$LNE_end_sequence=\n";
    }
    Built b = build(lxx);
    // Per name, the first record with rows keeps its markers, the later ones
    // with rows become "=", and the ones without rows are gone.
    size_t first = 0, same = 0;
    for (size_t at = b.lin.find("\n+****  f"); at != std::string::npos; at = b.lin.find("\n+****  f", at + 1)) ++first;
    for (size_t at = b.lin.find("\n=****  f"); at != std::string::npos; at = b.lin.find("\n=****  f", at + 1)) ++same;
    size_t with_rows = 0;
    for (int i = 0; i < 40000; ++i) with_rows += i % 3 != 0;
    EXPECT_EQ(first, 2000u);
    EXPECT_EQ(first + same, with_rows);
}

}  // namespace

TEST(LinBuilder, StreamedTextBuildsWhatReadingItBackBuilds) {
    const std::string seq = "#LNE_start_sequence#\n-****  d\n+****  a.c\n+0x00000010     3\n$LNE_end_sequence=\n";
    const std::string texts[] = {
        std::string(kHead) + seq + seq,
        // names broken by line ends make lines of their own
        std::string(kHead) + "#LNE_start_sequence#\n+****  x\n+0x00000004 9\n#y\n+0x00000008     2\n$LNE_end_sequence=\n",
        std::string(kHead) + "+****  a\rb\r\n+0x00000001     1\n",  // a CR inside a line and before its end
        std::string(kHead) + seq + "+****  b.c\n+0x00000020 5",       // last line without its line end
        std::string(kHead) + "+****  c.c\n+0x00000001 1\n+****  e.c\r",
        "/not the banner\n" + seq,
        "/Qelto(DORO-GNU-ELF)-Symbol-Converter",
        "",
    };
    for (const std::string& text : texts) {
        for (bool inline_del : {false, true}) {
            const Built read_back = build(text, inline_del);
            for (size_t block : {1, 2, 7, 4096}) {
                const Built streamed = build_streamed(text, block, inline_del);
                EXPECT_EQ(streamed.accepted, read_back.accepted) << text << " block " << block;
                EXPECT_EQ(streamed.lin, read_back.lin) << text << " block " << block;
            }
        }
    }
}
