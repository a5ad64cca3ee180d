// The .debug_line reader on hand-made programs.
#include <gtest/gtest.h>

#include "elf/elf_reader.h"
#include "lines/lin_builder.h"
#include "line_test_util.h"

namespace {

using linetest::LineRun;
using linetest::Program;
using linetest::without_trace;

std::vector<uint8_t> bytes_of(const std::vector<Program>& programs) {
    ByteWriter w;
    for (const Program& p : programs) p.append_to(w);
    return w.bytes;
}

std::string run(const std::vector<Program>& programs, bool trace = false) {
    LineRun r(bytes_of(programs));
    r.s.opt.trace = trace;
    return r.run();
}


TEST(LineProgram, OneSequenceComesOutSortedWithItsEndRow) {
    Program p;
    p.dirs = {"src\\"};
    p.files = {{"main.c", 1}};
    // The backwards special opcode (line 7) moves the registers but records no row.
    p.ops.set_address(0x1000).advance_line(9).copy().special(-3, 2).special(5, 4).advance_pc(6).end_sequence();
    LineRun r(bytes_of({p}));
    EXPECT_EQ(r.run(),
              "#LNE_start_sequence#\n-****  src\n+****  main.c\n"
              "+0x00001000    10\n+0x00001006    12\n+0x0000100C    13\n"
              "$LNE_end_sequence=\n");
    EXPECT_EQ(r.s.line_count, 3u);
    EXPECT_EQ(r.s.console.text, "");
}

TEST(LineProgram, SpecialArithmetic) {
    // DW_LNS_const_add_pc with opcode_base 10, line_range 10 and a minimum
    // instruction length of 2 advances the address by 48 and the line by 0.
    Program p;
    p.line_range = 10;
    p.min_inst = 2;
    p.sync();
    p.ops.set_address(0x100).raw({8}).copy();
    // A backwards special opcode moves both registers but records nothing.
    p.ops.special(-1, 1).special(2, 0).end_sequence();
    std::string text = run({p}, true);
    EXPECT_NE(text.find("/ DW_const_add_pc(0x08)     dl(0) line(1) da(0x30) adr(0x130) \n"), std::string::npos);
    EXPECT_NE(text.find("/ DW_special(0x18)          dl(-1) line(0) da(0x2) adr(0x132) \n"), std::string::npos);
    EXPECT_EQ(without_trace(text).substr(without_trace(text).find("+0x")),
              "+0x00000130     1\n+0x00000132     2\n$LNE_end_sequence=\n");

    // 16-bit arithmetic: an adjusted opcode of 245 with line_range 1 and a
    // minimum length of 255 gives 62475, which is -3061 as a 16-bit value.
    Program q;
    q.line_range = 1;
    q.line_base = 0;
    q.min_inst = 255;
    q.sync();
    q.ops.set_address(0x10000).raw({255}).end_sequence();
    text = run({q}, true);
    EXPECT_NE(text.find("dl(0) line(1) da(0xFFFFF40B) adr(0xF40B) "), std::string::npos);
}

TEST(LineProgram, LineRangeZeroIsTakenAsOne) {
    Program p;
    p.line_range = 0;
    p.line_base = 1;
    p.ops.w.u8(0).uleb(5).u8(2).u32(0x40);
    p.ops.w.u8(12);  // adjusted 2: line + 1, address + 2
    p.ops.end_sequence();
    LineRun r(bytes_of({p}));
    std::string text = r.run();
    EXPECT_NE(text.find("+0x00000042     2\n"), std::string::npos);
    EXPECT_EQ(count_of(r.s.console.text, "warning: "), 1u);
}

TEST(LineProgram, DirectoryTableFollowsTheOpcodeLengths) {
    // One-character directory names: with opcode_base 10 the NUL of "a" sits
    // at offset 25, which must not make the table move to offset 27.
    for (int base : {10, 13}) {
        Program p;
        p.opcode_base = static_cast<uint8_t>(base);
        p.sync();
        p.dirs = {"a", "bc"};
        p.files = {{"x.c", 1}, {"y.c", 2}};
        p.ops.set_address(0x10).copy().set_file(2).end_sequence();
        EXPECT_EQ(without_trace(run({p})),
                  "#LNE_start_sequence#\n-****  a\n+****  x.c\n+0x00000010     1\n-****  bc\n+****  y.c\n"
                  "$LNE_end_sequence=\n")
            << base;
    }
}

TEST(LineProgram, OpcodesBelowOpcodeBaseAreStandard) {
    // 10 and 11 have no operand, 12 one; later ones as many as the header
    // gives. None makes a row.
    Program p;
    p.opcode_base = 14;
    p.later_opcode_length = 2;
    p.sync();
    p.ops.set_address(0x20).raw({10, 11, 12, 0x81, 0x01, 13, 5, 0x80, 0x01}).special(1, 2).end_sequence();
    std::string text = run({p}, true);
    for (const char* line : {"/ DW_standard(0x0A)         \n", "/ DW_standard(0x0B)         \n",
                             "/ DW_standard(0x0C)         op(0x81) \n",
                             "/ DW_standard(0x0D)         op(0x5) op(0x80) \n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    EXPECT_EQ(without_trace(text), "#LNE_start_sequence#\n+****  main.c\n+0x00000022     2\n$LNE_end_sequence=\n");

    // With opcode_base 10, opcode 10 is special (adjusted opcode 0: line_base -5).
    Program q;
    q.ops.set_address(0x20).advance_line(10).raw({10}).end_sequence();
    text = run({q}, true);
    EXPECT_NE(text.find("/ DW_special(0x0A)          dl(-5) line(6) da(0x0) adr(0x20) \n"), std::string::npos);
}

TEST(LineProgram, FileNamesAreSplitIntoDirectoryAndName) {
    Program p;
    p.dirs = {"inc\\", "lib/"};
    p.files = {{"../src/main.c", 0}, {"C:\\work\\inc\\io.h", 0}, {"/boot.c", 0}, {"a\\b/c.h", 0},
               {"k.h", 1},           {"l.h", 2},                {"m.h", 9}};
    for (uint32_t f = 1; f <= 7; ++f) p.ops.set_file(f);
    LineRun r(bytes_of({p}));
    r.s.opt.trace = true;
    std::string text = r.run();
    EXPECT_EQ(without_trace(text),
              "#LNE_start_sequence#\n"
              "-****  ../src\n+****  main.c\n"  // file 1, as the program starts
              "-****  ../src\n+****  main.c\n"
              "-****  C:\\work\\inc\n+****  io.h\n"
              "+****  boot.c\n"
              "-****  a\\b\n+****  c.h\n"
              "-****  inc\n+****  k.h\n"
              "-****  lib/\n+****  l.h\n"
              "/****  DirNameOverIndex(9) Regs(5)\n+****  m.h\n"
              "$LNE_end_sequence=\n");
    EXPECT_NE(text.find("/directories {inc\\}\n"), std::string::npos);
    EXPECT_NE(text.find("/----- DirName[../src] Index[3] -----\n/----- FileName[main.c] Index[3] Time[0] Length[0] -----\n"),
              std::string::npos);
    EXPECT_NE(text.find("/----- FileName[boot.c] Index[0] Time[0] Length[0] -----\n"), std::string::npos);
}

TEST(LineProgram, EmptyFileTableGivesABlankFileOne) {
    Program p;
    p.files.clear();
    p.ops.set_file(2);
    EXPECT_EQ(without_trace(run({p})),
              "#LNE_start_sequence#\n+****  \n/****  SrcNameOverIndex(2) Regs(1)\n$LNE_end_sequence=\n");
}

TEST(LineProgram, TablesAfterTheFirstOpcodeAreNotRead) {
    Program p;
    p.header_length_override = 0;  // first opcode at offset 10, before the tables
    p.ops.w.bytes.clear();
    LineRun r(bytes_of({p}));
    std::string text = r.run();
    EXPECT_EQ(text.substr(0, 56), "#LNE_start_sequence#\n/****  SrcNameOverIndex(1) Regs(0)\n");
}

TEST(LineProgram, RowsComeUnderTheFileTheyBelongTo) {
    Program p;
    p.files = {{"a.c", 0}, {"b.h", 0}, {"c.h", 0}};
    // A selection while rows are pending flushes them, then writes its heading.
    p.ops.set_file(2).set_address(0x100).copy().special(1, 1);
    p.ops.set_file(1).special(1, 1).set_file(3).special(1, 1).end_sequence();
    // A new sequence starts in file 1: its heading comes with its first row.
    // (A sequence end at the address of a pending row adds no end row.)
    p.ops.set_address(0x200).special(2, 0).end_sequence();
    // Rows after the last end of sequence are lost.
    p.ops.set_file(2).special(1, 1);
    EXPECT_EQ(without_trace(run({p})),
              "#LNE_start_sequence#\n+****  a.c\n+****  b.h\n"
              "+0x00000100     1\n+0x00000101     2\n"
              "+****  a.c\n+0x00000102     3\n"
              "+****  c.h\n+0x00000103     4\n"
              "+****  a.c\n+0x00000200     3\n+****  b.h\n"
              "$LNE_end_sequence=\n");
}

TEST(LineProgram, ExtendedOpcodes) {
    Program p;
    p.ops.set_address(0x12345678);
    // DW_LNE_define_file is stepped over whole and adds no file.
    p.ops.w.u8(0).uleb(8).u8(3).cstr("d.h").uleb(0).uleb(0).uleb(0);
    p.ops.set_file(2);
    // An unknown sub-opcode with operands is stepped over.
    p.ops.w.u8(0).uleb(3).u8(0x80).u8(0xAA).u8(0xBB);
    p.ops.copy().end_sequence();
    LineRun r(bytes_of({p}));
    r.s.opt.trace = true;
    std::string text = r.run();
    EXPECT_NE(text.find("/ DW_LNS_extended(0x00)     length(0x8) DW_define_file(0x03)  sub(0x64) sub(0x2E) sub(0x68) "
                        "sub(0x0) sub(0x0) sub(0x0) sub(0x0) \n"),
              std::string::npos);
    EXPECT_NE(text.find("/ DW_LNS_extended(0x00)     length(0x3) sub(0xAA) sub(0xBB) \n"), std::string::npos);
    EXPECT_NE(text.find("/****  SrcNameOverIndex(2) Regs(1)\n"), std::string::npos);
    EXPECT_NE(text.find("+0x12345678     1\n"), std::string::npos);
}

TEST(LineProgram, SetAddressFollowsTheAddressSize) {
    auto with_size = [](uint8_t size, std::vector<uint8_t> address) {
        Program p;
        p.ops.advance_pc(0xAABBCCDD);
        p.ops.w.u8(0).uleb(1 + address.size()).u8(2).raw(address);
        p.ops.copy().end_sequence();
        LineRun r(bytes_of({p}), size);
        return without_trace(r.run());
    };
    // Size 2 replaces the low half; size 8 keeps the low 32 bits.
    EXPECT_NE(with_size(2, {0x34, 0x12}).find("+0xAABB1234     1\n"), std::string::npos);
    EXPECT_NE(with_size(1, {0x34}).find("+0xAABBCC34     1\n"), std::string::npos);
    EXPECT_NE(with_size(8, {0x78, 0x56, 0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x89}).find("+0x12345678     1\n"),
              std::string::npos);
}

TEST(LineProgram, IncludeFilePassListsUnselectedFilesOnce) {
    Program p;
    p.dirs = {"inc"};
    p.files = {{"main.c", 0}, {"io.h", 1}, {"never.h", 0}};
    p.ops.set_address(0x10).copy().end_sequence();
    Program q;
    q.files = {{"util.c", 0}, {"IO.H", 0}};
    q.ops.set_file(2).set_address(0x20).copy().end_sequence();
    Program t;
    t.files = {{"tail.c", 0}, {"io.h", 0}};
    const std::string body =
        "#LNE_start_sequence#\n+****  main.c\n+0x00000010     1\n$LNE_end_sequence=\n"
        "#LNE_start_sequence#\n+****  util.c\n+****  IO.H\n+0x00000020     1\n$LNE_end_sequence=\n"
        "#LNE_start_sequence#\n+****  tail.c\n$LNE_end_sequence=\n";
    EXPECT_EQ(without_trace(run({p, q, t})), body);

    LineRun r(bytes_of({p, q, t}));
    r.s.opt.register_all_includes = true;
    // io.h is selected in the second unit (as IO.H), so only never.h is left.
    EXPECT_EQ(r.run(), body + "#LNE_start_sequence#\n+****  never.h\n$LNE_end_sequence=\n");
    EXPECT_EQ(r.s.lines->used_files.entries.size(), 5u);

    Program u;
    u.dirs = {"inc"};
    u.files = {{"a.c", 0}, {"only.h", 1}};
    LineRun v(bytes_of({u}));
    v.s.opt.register_all_includes = true;
    v.s.opt.directory_info = false;
    std::string text = v.run();
    EXPECT_NE(text.find("$LNE_end_sequence=\n#LNE_start_sequence#\n/****  inc\n+****  only.h\n$LNE_end_sequence=\n"),
              std::string::npos);
    EXPECT_EQ(v.s.line_count, 0u);
}

TEST(LineProgram, TraceLinesOfHeaderAndInstructions) {
    Program p;
    p.ops.set_address(0x40).copy().end_sequence();
    Program q = p;
    std::string text = run({p, q}, true);
    EXPECT_EQ(text.substr(0, text.find("/directories")),
              "/<<<<<<<<<<<<<<<<<<<< .debug_line Section [  0] >>>>>>>>>>>>>>>>>>>>\n"
              "/length             0x0000002B \n"
              "/version            0x0002 \n"
              "/prologue           0x0000001A \n"
              "/min                0x01 \n"
              "/stmt               0x01 \n"
              "/l_base             0xFB \n"
              "/l_range            0x0E \n"
              "/o_base             0x0A \n"
              "/opcode             0x00 0x01 0x01 0x01 0x01 0x00 0x00 0x00 0x01 \n");
    EXPECT_NE(text.find("/directories {}\n/----- FileName[main.c] Index[0] Time[0] Length[0] -----\n"
                        "#LNE_start_sequence#\n+****  main.c\n"
                        "/ DW_LNS_extended(0x00)     length(0x5) DW_set_address(0x02)  sub(0x40) sub(0x0) sub(0x0) "
                        "sub(0x0) \n"
                        "/ DW_copy(0x01)             Lines(1) Address(0x40) \n"
                        "+0x00000040     1\n"
                        "/ DW_LNS_extended(0x00)     length(0x1) DW_end_sequence(0x01) \n"
                        "$LNE_end_sequence=\n"
                        "/<<<<<<<<<<<<<<<<<<<< .debug_line Section [  1] >>>>>>>>>>>>>>>>>>>>\n"),
              std::string::npos);
}

TEST(LineProgram, VersionSixIsSkippedWithAWarning) {
    Program v6;
    v6.version = 6;
    v6.ops.set_address(0x99).copy().end_sequence();
    Program p;
    p.ops.set_address(0x40).copy().end_sequence();
    LineRun r(bytes_of({v6, p}));
    EXPECT_EQ(r.run(), "#LNE_start_sequence#\n+****  main.c\n+0x00000040     1\n$LNE_end_sequence=\n");
    EXPECT_EQ(count_of(r.s.console.text, "warning: "), 1u);
    EXPECT_NE(r.s.console.text.find("version 6"), std::string::npos);
}

// Version 5 numbers files from 0 (the primary file) and directories from 0
// (the compilation directory, which a heading does not name): the same
// program gives the same headings and rows as its version 2 form.
TEST(LineProgram, VersionFiveTablesGiveTheHeadingsOfVersionTwo) {
    Program v2;
    v2.opcode_base = 13;
    v2.sync();
    v2.dirs = {"inc"};
    v2.files = {{"main.c", 0}, {"a.h", 1}, {"sub/b.h", 0}};
    v2.ops.set_address(0x40).advance_line(4).copy().set_file(2).special(2, 3).set_file(3).special(1, 2)
        .set_file(1).special(1, 2).end_sequence();
    for (bool md5 : {true, false}) {
        Program v5;
        v5.version = 5;
        v5.opcode_base = 13;
        v5.sync();
        v5.dirs = v2.dirs;
        v5.files = v2.files;
        v5.entry_md5 = md5;
        v5.ops.set_file(0).set_address(0x40).advance_line(4).copy().set_file(1).special(2, 3).set_file(2)
            .special(1, 2).set_file(0).special(1, 2).end_sequence();
        EXPECT_EQ(without_trace(run({v5})), without_trace(run({v2})));
        EXPECT_EQ(without_trace(run({v5})).substr(0, 38), "#LNE_start_sequence#\n+****  main.c\n+0x");
    }
    Program v5 = v2;
    v5.version = 5;
    const std::string traced = run({v5}, true);
    EXPECT_NE(traced.find("/directories {/work}\n"), std::string::npos);
    EXPECT_NE(traced.find("/----- DirName[inc] Index[1] -----\n"), std::string::npos);
}

TEST(LineProgram, VersionFiveTablesThatCannotBeReadStopWithOneWarning) {
    // A form whose extent is unknown; an entry format of no fields under
    // a count of 2^32 - 1 entries.
    const std::vector<uint8_t> empty_format = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F};
    for (int broken = 0; broken < 2; ++broken) {
        Program v5;
        v5.version = 5;
        v5.dir_form = 0x02;
        if (broken == 1) v5.tables5_override = empty_format;
        v5.ops.set_address(0x99).copy().end_sequence();
        Program p;
        p.ops.set_address(0x40).copy().end_sequence();
        LineRun r(bytes_of({v5, p}));
        EXPECT_EQ(r.run(), "#LNE_start_sequence#\n+****  main.c\n+0x00000040     1\n$LNE_end_sequence=\n");
        EXPECT_EQ(count_of(r.s.console.text, "warning: "), 1u);
    }
}

TEST(LineProgram, VersionFourHeaderWithItsExtraFieldReadsLikeVersionTwo) {
    Program v2;
    v2.dirs = {"inc"};
    v2.files = {{"a.h", 1}, {"main.c", 0}};
    v2.ops.set_address(0x40).advance_line(4).copy().set_file(2).special(2, 3).end_sequence();
    Program v4 = v2;
    v4.version = 4;
    EXPECT_EQ(without_trace(run({v4})), without_trace(run({v2})));
    EXPECT_NE(without_trace(run({v4})).find("+0x00000043     7\n"), std::string::npos);
}

TEST(LineProgram, CutProgramsStopWithOneWarning) {
    // The last instruction's operand is cut by the program's end: what came
    // before stays, the block is closed, the next program is read.
    Program a;
    a.ops.set_address(0x40).copy().end_sequence().set_address(0x50).copy();
    a.ops.w.u8(2).u8(0x80);  // DW_LNS_advance_pc with an unfinished ULEB128
    Program b;
    b.ops.set_address(0x60).copy().end_sequence();
    LineRun r(bytes_of({a, b}));
    EXPECT_EQ(r.run(),
              "#LNE_start_sequence#\n+****  main.c\n+0x00000040     1\n$LNE_end_sequence=\n"
              "#LNE_start_sequence#\n+****  main.c\n+0x00000060     1\n$LNE_end_sequence=\n");
    EXPECT_EQ(count_of(r.s.console.text, "warning: "), 1u);

    // An extended opcode longer than what is left of the program.
    Program c;
    c.ops.set_address(0x40).copy().end_sequence();
    c.ops.w.u8(0).uleb(40).u8(3);
    LineRun rc(bytes_of({c, b}));
    EXPECT_EQ(count_of(rc.run(), "+0x"), 2u);
    EXPECT_EQ(count_of(rc.s.console.text, "warning: "), 1u);

    // unit_length reaching past the section: read to its end, then stop.
    ByteWriter w;
    b.append_to(w);
    w.patch32(0, 0x1000);
    LineRun rd(w.bytes);
    EXPECT_EQ(rd.run(), "#LNE_start_sequence#\n+****  main.c\n+0x00000060     1\n$LNE_end_sequence=\n");
    EXPECT_EQ(count_of(rd.s.console.text, "warning: "), 1u);

    // A file table without its end, and a header cut short.
    Program e;
    e.ops.w.bytes.clear();
    ByteWriter we;
    e.append_to(we);
    we.bytes.resize(we.bytes.size() - 3);  // cut inside "main.c" entry's numbers
    we.patch32(0, static_cast<uint32_t>(we.bytes.size() - 4));
    LineRun re(we.bytes);
    EXPECT_EQ(without_trace(re.run()), "");
    EXPECT_EQ(count_of(re.s.console.text, "warning: "), 1u);

    LineRun rf(std::vector<uint8_t>{6, 0, 0, 0, 2, 0, 0, 0, 0, 0});
    EXPECT_EQ(rf.run(), "");
    EXPECT_EQ(count_of(rf.s.console.text, "warning: "), 1u);

    // header_length pointing past the program's end.
    Program g;
    g.header_length_override = 5000;
    LineRun rg(bytes_of({g, b}));
    EXPECT_EQ(rg.run(), "#LNE_start_sequence#\n+****  main.c\n+0x00000060     1\n$LNE_end_sequence=\n");
    EXPECT_EQ(count_of(rg.s.console.text, "warning: "), 1u);
}

TEST(LineProgram, ManyDirectoriesAndFilesAreSteppedOver) {
    Program p;
    for (int i = 0; i < 300; ++i) p.dirs.push_back("d" + std::to_string(i));
    p.files.clear();
    for (int i = 0; i < 300; ++i) p.files.push_back({"f" + std::to_string(i) + ".c", static_cast<uint32_t>(i + 1)});
    p.files.push_back({"sub/late.h", 0});
    // 301 files: the low 8 bits of the count are 45, so file 45 is the last
    // one a selection can reach; 300 directories leave 44 reachable ones.
    p.ops.set_file(45).set_file(46).set_address(0x10).copy().end_sequence();
    LineRun r(bytes_of({p}));
    std::string text = r.run();
    EXPECT_EQ(text,
              "#LNE_start_sequence#\n-****  d0\n+****  f0.c\n/****  DirNameOverIndex(45) Regs(300)\n+****  f44.c\n"
              "/****  SrcNameOverIndex(46) Regs(301)\n+0x00000010     1\n$LNE_end_sequence=\n");
    EXPECT_EQ(r.s.lines->tables.files.size(), kMaxFiles);
    EXPECT_EQ(r.s.lines->tables.directories.size(), kMaxDirectories);
}

TEST(LineProgram, NoLineSectionWritesNothing) {
    LineRun r({});
    EXPECT_EQ(r.run(), "");
    EXPECT_EQ(r.s.line_count, 0u);
}

}  // namespace

namespace {

TEST(LineProgram, DamagedLineSectionsStayInBounds) {
    // Byte damage anywhere in a real .debug_line: every run ends, every line
    // record written is counted, and the LIN builder reads the result back.
    std::vector<uint8_t> image = read_file_bytes(data_path("arm_o2.elf"));
    ASSERT_FALSE(image.empty());
    Fixture probe(image);
    size_t offset = 0, length = 0;
    ASSERT_TRUE(section_bounds(probe.s, probe.s.elf.line_index, offset, length));
    ASSERT_GT(length, 64u);

    uint32_t seed = 12345;
    auto next = [&seed]() { return seed = seed * 1103515245u + 12345u; };
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> damaged = image;
        for (int k = 0; k < 1 + round % 4; ++k) damaged[offset + (next() >> 8) % length] = static_cast<uint8_t>(next() >> 16);
        Fixture f(damaged, round % 7 == 0);
        Session& s = f.s;
        s.opt.register_all_includes = round % 2 == 0;
        read_line_programs(s, f.out);
        const OutText& lxx = f.out;
        const std::string text = f.text();
        uint32_t records = 0;
        for (size_t at = text.find("\n+0x"); at != std::string::npos; at = text.find("\n+0x", at + 1)) ++records;
        if (text.rfind("+0x", 0) == 0) ++records;
        EXPECT_EQ(records, s.line_count) << round;

        InText in;
        in_open_memory(in, "/Qelto(DORO-GNU-ELF)-Symbol-Converter\r\n" + lxx.data);
        OutText lin;
        out_open_memory(lin);
        ASSERT_TRUE(read_and_mark_lines(s, in, lin));
        mark_inline_modules(s);
        write_line_records(s, lin);
    }
}

}  // namespace
