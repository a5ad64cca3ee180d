#include "locations/loc_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "locations/loc_state.h"
#include "support/fixture.h"

namespace {

// A file with a one-unit .debug_info (for the address size) and the given
// .debug_loc.
std::vector<uint8_t> loc_file(const ByteWriter& loc, uint8_t address_size = 4, uint16_t machine = 40,
                              bool with_loc = true) {
    DwarfBuilder d(loc.big_endian, machine);
    d.with_text = false;
    d.with_abbrev = false;
    d.begin_unit(address_size);
    d.info.u8(0);
    d.end_unit();
    if (with_loc) d.loc = loc;
    return d.image();
}

void address(ByteWriter& w, uint8_t size, uint64_t v) {
    if (size == 2) w.u16(static_cast<uint32_t>(v));
    else if (size == 8) w.u64(v);
    else w.u32(static_cast<uint32_t>(v));
}

// begin, end, length, expression
void entry(ByteWriter& w, uint8_t size, uint64_t begin, uint64_t end, const std::vector<uint8_t>& expr) {
    address(w, size, begin);
    address(w, size, end);
    w.u16(static_cast<uint32_t>(expr.size()));
    w.raw(expr);
}
void end_of_list(ByteWriter& w, uint8_t size) {
    address(w, size, 0);
    address(w, size, 0);
}

TEST(LocList, EmptyListReadsOnlyTheTerminatingPair) {
    ByteWriter w;
    end_of_list(w, 4);
    Fixture f(loc_file(w), true);
    LocRows e;
    e.code[0] = -1;
    EXPECT_EQ(8u, read_loc_list(f.s, f.out, 0x1000, e, 0));
    EXPECT_EQ(-1, e.code[0]);
    EXPECT_EQ("", f.text());
    EXPECT_EQ("", f.s.console.text);
}

TEST(LocList, TwoOperationsWithBaseAddressInBothByteOrders) {
    for (bool big : {false, true}) {
        ByteWriter w(big);
        w.fill(16, 0xEE);  // another list's bytes before ours
        entry(w, 4, 16, 32, {0x7d, 0x08, 0x93, 0x04});     // breg13 8; piece 4
        entry(w, 4, 0x20, 0x30, {0x06});                    // deref: sets nothing
        entry(w, 4, 0x30, 0x40, {});                        // no expression: no line, no row
        end_of_list(w, 4);
        Fixture f(loc_file(w), true);
        LocRows e;
        for (int i = 0; i < kLocRows; ++i) e.seq[i] = -1;
        EXPECT_EQ(16u + 14 + 11 + 10 + 8, read_loc_list(f.s, f.out, 4096, e, 16));
        EXPECT_EQ(
            "/[0x0010] beginning[0x00001010] ending[0x00001020] DW_OP_bregn(0x7D)[8]   @(.8+R13)\n"
            "/[------] beginning[----------] ending[----------] DW_OP_piece(0x93)[4]   \n"
            "/[0x001E] beginning[0x00001020] ending[0x00001030] DW_OP_deref(0x6)       \n",
            f.text());
        EXPECT_EQ(f.text(), f.s.console.text);  // trace lines also go to the console
        EXPECT_NE(std::string::npos, f.out.data.find("@(.8+R13)\r\n"));
        // rows: seq, begin, end, code, op1, op2
        const int rows[3][6] = {
            {0, 4112, 4128, 0x7d, 8, 0},
            {1, 4112, 4128, 0x93, 4, 0},
            {0, 4128, 4144, 0x93, 4, 0},  // deref keeps the result of the operation before
        };
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(rows[i][0], e.seq[i]);
            EXPECT_EQ(rows[i][1], e.begin[i]);
            EXPECT_EQ(rows[i][2], e.end[i]);
            EXPECT_EQ(rows[i][3], e.code[i]);
            EXPECT_EQ(rows[i][4], e.op1[i]);
            EXPECT_EQ(rows[i][5], e.op2[i]);
        }
        EXPECT_EQ(-1, e.seq[3]);  // rows past the stored ones keep their contents
    }
}

TEST(LocList, ResultStartsFromZeroForEveryList) {
    ByteWriter w;
    entry(w, 4, 1, 2, {0x91, 0x7c});  // fbreg -4
    end_of_list(w, 4);
    size_t second = w.size();
    entry(w, 4, 1, 2, {0x06});
    end_of_list(w, 4);
    Fixture f(loc_file(w), true);
    LocRows e;
    read_loc_list(f.s, f.out, 0, e, 0);
    EXPECT_EQ(0x91, e.code[0]);
    EXPECT_EQ(-4, e.op1[0]);
    read_loc_list(f.s, f.out, 0, e, second);
    EXPECT_EQ(0, e.code[0]);
    EXPECT_EQ(0, e.op1[0]);
}

TEST(LocList, AtMost48RowsButEveryOperationTraced) {
    ByteWriter w;
    std::vector<uint8_t> ops;
    for (int i = 0; i < 30; ++i) ops.push_back(static_cast<uint8_t>(0x50 + i));
    entry(w, 4, 0x100, 0x200, ops);
    entry(w, 4, 0x200, 0x300, ops);
    end_of_list(w, 4);
    Fixture f(loc_file(w), true);
    f.s.opt.trace = false;
    LocRows e;
    read_loc_list(f.s, f.out, 0, e, 0);
    EXPECT_EQ("", f.text());
    EXPECT_EQ(29, e.seq[29]);
    EXPECT_EQ(0x100, e.begin[29]);
    EXPECT_EQ(0, e.seq[30]);
    EXPECT_EQ(0x200, e.begin[30]);
    EXPECT_EQ(17, e.seq[47]);
    EXPECT_EQ(0x50 + 17, e.code[47]);

    f.s.opt.trace = true;
    read_loc_list(f.s, f.out, 0, e, 0);
    std::string t = f.text();
    size_t lines = 0;
    for (char c : t) lines += c == '\n';
    EXPECT_EQ(60u, lines);
    EXPECT_NE(std::string::npos, t.find("DW_OP_regn(0x6D)        R29\n/[0x0028]"));

    // A clear leaves every row zero, however many the list wrote.
    clear_loc_rows(e);
    for (int row = 0; row < kLocRows; ++row) {
        const int32_t fields[] = {e.seq[row], e.begin[row], e.end[row],
                                  e.code[row], e.op1[row],  e.op2[row]};
        for (int32_t v : fields) ASSERT_EQ(0, v) << "row " << row;
    }
    // A shorter list read afterwards leaves the rows behind it zero.
    ByteWriter one;
    entry(one, 4, 0x10, 0x20, {0x51});
    end_of_list(one, 4);
    Fixture g(loc_file(one), true);
    g.s.opt.trace = false;
    read_loc_list(g.s, g.out, 0, e, 0);
    EXPECT_EQ(0x51, e.code[0]);
    clear_loc_rows(e);
    EXPECT_EQ(0, e.code[0]);
    EXPECT_EQ(0, e.begin[0]);
}

TEST(LocList, NoLocalsReadsNothing) {
    ByteWriter w;
    entry(w, 4, 1, 2, {0x50});
    end_of_list(w, 4);
    Fixture f(loc_file(w), true);
    f.s.opt.no_locals = true;
    LocRows e;
    e.code[0] = 7;
    EXPECT_EQ(0u, read_loc_list(f.s, f.out, 0, e, 0));
    EXPECT_EQ(7, e.code[0]);
    EXPECT_EQ("", f.text());
}

TEST(LocList, LargeOffsetsPrintAllTheirDigits) {
    ByteWriter w;
    w.fill(0x11170, 0);
    entry(w, 4, 0xFFFFFFF0u, 0xFFFFFFFFu, {0x50});
    end_of_list(w, 4);
    Fixture f(loc_file(w), true);
    LocRows e;
    read_loc_list(f.s, f.out, 0x20, e, 0x11170);
    // begin and end wrap at 32 bits when the base is added
    EXPECT_EQ("/[0x11170] beginning[0x00000010] ending[0x0000001F] DW_OP_regn(0x50)        R0\n", f.text());
    EXPECT_EQ(0x10, e.begin[0]);
}

TEST(LocList, TwoByteAndEightByteAddresses) {
    ByteWriter w2(true);
    entry(w2, 2, 0x1234, 0x1240, {0x76, 0x7c});
    end_of_list(w2, 2);
    Fixture h8(loc_file(w2, 2, 46), true);
    h8.s.elf.header.e_machine = kMachineH8S;
    LocRows e;
    EXPECT_EQ(12u, read_loc_list(h8.s, h8.out, 0, e, 0));
    EXPECT_EQ("/[0x0000] beginning[0x00001234] ending[0x00001240] DW_OP_bregn(0x76)[-4]   @(.-4+ER6)\n",
              h8.text());

    ByteWriter w8;
    entry(w8, 8, 0x1122334455667788ull, 0x99AABBCC00000010ull, {0x50});
    end_of_list(w8, 8);
    Fixture f8(loc_file(w8, 8), true);
    EXPECT_EQ(35u, read_loc_list(f8.s, f8.out, 0, e, 0));
    EXPECT_EQ(0x55667788, e.begin[0]);
    EXPECT_EQ(0x10, e.end[0]);
}

TEST(LocList, CutListsStopWithOneWarning) {
    {  // no terminating pair
        ByteWriter w;
        entry(w, 4, 1, 2, {0x50});
        Fixture f(loc_file(w), true);
        LocRows e;
        EXPECT_EQ(11u, read_loc_list(f.s, f.out, 0, e, 0));
        EXPECT_EQ(0x50, e.code[0]);
        EXPECT_EQ(1u, f.warnings());
    }
    {  // begin and end cut
        ByteWriter w;
        w.u32(1).u16(0);
        Fixture f(loc_file(w), true);
        LocRows e;
        EXPECT_EQ(6u, read_loc_list(f.s, f.out, 0, e, 0));
        EXPECT_EQ(1u, f.warnings());
        EXPECT_EQ("", f.text());
    }
    {  // the expression's length runs past the section: decode what is there, then stop
        ByteWriter w;
        w.u32(1).u32(2).u16(10).u8(0x51).u8(0x91);
        Fixture f(loc_file(w), true);
        LocRows e;
        EXPECT_EQ(12u, read_loc_list(f.s, f.out, 0, e, 0));
        EXPECT_EQ(
            "/[0x0000] beginning[0x00000001] ending[0x00000002] DW_OP_regn(0x51)        R1\n"
            "/[------] beginning[----------] ending[----------] DW_OP_fbreg(0)       @(.0+FB)\n",
            f.text());
        EXPECT_EQ(1u, f.warnings());
        EXPECT_EQ(0x91, e.code[1]);
    }
}

TEST(LocList, OperationRunningPastItsEntryEndsTheEntryOnly) {
    for (bool big : {false, true}) {
        ByteWriter w(big);
        entry(w, 4, 1, 2, {0x0c, 0xAA, 0xBB});  // const4u with only two operand bytes in its entry
        entry(w, 4, 3, 4, {0x52});
        end_of_list(w, 4);
        Fixture f(loc_file(w), true);
        LocRows e;
        EXPECT_EQ(w.size(), read_loc_list(f.s, f.out, 0, e, 0));
        EXPECT_EQ(
            "/[0x0000] beginning[0x00000001] ending[0x00000002] DW_OP_const4u(0xC)[AABB] \n"
            "/[0x000D] beginning[0x00000003] ending[0x00000004] DW_OP_regn(0x52)        R2\n",
            f.text());
        EXPECT_EQ(1u, f.warnings());
        EXPECT_NE(std::string::npos, f.s.console.text.find("warning: "));
        EXPECT_EQ(0, e.seq[1]);
        EXPECT_EQ(0x52, e.code[1]);
    }
}

TEST(LocList, ReferencesOutsideTheSectionReadNothing) {
    ByteWriter w;
    end_of_list(w, 4);
    Fixture f(loc_file(w), true);
    LocRows e;
    EXPECT_EQ(8u, read_loc_list(f.s, f.out, 0, e, 8));
    EXPECT_EQ(0x10000u, read_loc_list(f.s, f.out, 0, e, 0x10000));
    EXPECT_EQ(2u, f.warnings());

    Fixture none(loc_file(w, 4, 40, false), true);
    EXPECT_EQ(0u, read_loc_list(none.s, none.out, 0, e, 0));
    dump_loc_section(none.s, none.out);
    EXPECT_EQ(0u, loc_section_start(none.s));
    EXPECT_EQ("", none.text());
    EXPECT_EQ(0u, none.warnings());
}

TEST(LocDump, EveryListIsTracedAndTheSectionStartRecorded) {
    ByteWriter w(true);
    entry(w, 4, 0x10, 0x20, {0x91, 0x70});
    end_of_list(w, 4);
    entry(w, 4, 0x30, 0x40, {0x90, 0x60, 0x93, 0x04});
    end_of_list(w, 4);
    Fixture f(loc_file(w, 4, 42), true);
    dump_loc_section(f.s, f.out);
    EXPECT_EQ(
        "/.debug_loc Section[0]\n"
        "/[0x0000] beginning[0x00000010] ending[0x00000020] DW_OP_fbreg(-16)       @(.-16+FB)\n"
        "/.debug_loc Section[1]\n"
        "/[0x0014] beginning[0x00000030] ending[0x00000040] DW_OP_regx(0x90)        PR\n"
        "/[------] beginning[----------] ending[----------] DW_OP_piece(0x93)[4]   \n",
        f.text());
    EXPECT_EQ(0u, f.warnings());
    size_t start = loc_section_start(f.s);
    EXPECT_NE(0u, start);
    EXPECT_EQ(0x91, f.s.image[start + 10]);

    // Without trace mode nothing is written, but the start is still recorded.
    Fixture quiet(loc_file(w, 4, 42), true);
    quiet.s.opt.trace = false;
    dump_loc_section(quiet.s, quiet.out);
    EXPECT_EQ("", quiet.text());
    EXPECT_EQ(start, loc_section_start(quiet.s));
}

TEST(LocDump, AddressSizeZeroStopsTheDump) {
    ByteWriter w;
    entry(w, 4, 0x10, 0x20, {0x50});
    end_of_list(w, 4);
    Fixture f(loc_file(w, 0), true);
    dump_loc_section(f.s, f.out);
    EXPECT_EQ("/.debug_loc Section[0]\n", f.text());
    EXPECT_EQ(1u, f.warnings());
}

TEST(LocDump, ListCutAtTheSectionEndEndsTheDump) {
    ByteWriter w;
    entry(w, 4, 0x10, 0x20, {0x50});
    end_of_list(w, 4);
    entry(w, 4, 0x10, 0x20, {0x50});
    w.u32(0);
    Fixture f(loc_file(w), true);
    dump_loc_section(f.s, f.out);
    EXPECT_NE(std::string::npos, f.text().find("/.debug_loc Section[1]\n/[0x0013]"));
    EXPECT_EQ(std::string::npos, f.text().find("Section[2]"));
    EXPECT_EQ(1u, f.warnings());
}

}  // namespace

namespace {

std::vector<uint8_t> file_with_one_list() {
    ElfBuilder b;
    ByteWriter info = b.writer();
    size_t len = begin_unit(info, 2, 0, 4);
    info.u8(0);
    info.patch_length32(len);
    b.add_section(".debug_info", info);
    ByteWriter loc = b.writer();
    entry(loc, 4, 0x10, 0x20, {0x55});
    end_of_list(loc, 4);
    b.add_section(".debug_loc", loc);
    return b.build();
}

TEST(LocDump, RunsInTraceModeUnlessNoLocals) {
    RunResult traced = run_in_memory({"-d", "t.elf"}, "t.elf", file_with_one_list());
    EXPECT_NE(std::string::npos,
              traced.console.find("/.debug_loc Section[0]\n"
                                  "/[0x0000] beginning[0x00000010] ending[0x00000020] DW_OP_regn(0x55)        R5\n"));
    RunResult no_locals = run_in_memory({"-d", "-l", "t.elf"}, "t.elf", file_with_one_list());
    EXPECT_EQ(std::string::npos, no_locals.console.find("/.debug_loc"));
    EXPECT_EQ(std::string::npos, no_locals.console.find("beginning["));
}

}  // namespace

namespace {

// Arbitrary bytes as .debug_loc with odd address sizes: the dump must end
// and stay inside the section (run under the sanitizers to see the latter).
TEST(LocDump, ArbitraryBytesEndTheDump) {
    uint32_t seed = 12345;
    for (uint8_t address_size : {0, 1, 2, 3, 4, 8, 255}) {
        for (int round = 0; round < 20; ++round) {
            ByteWriter w(round % 2 == 1);
            int n = 1 + round * 13;
            for (int i = 0; i < n; ++i) {
                seed = seed * 1103515245u + 12345u;
                w.u8((seed >> 16) & 0xFF);
            }
            Fixture f(loc_file(w, address_size), true);
            f.s.opt.trace = round % 3 == 0;
            dump_loc_section(f.s, f.out);
            LocRows e;
            read_loc_list(f.s, f.out, 0x100, e, static_cast<size_t>(round));
        }
    }
}

}  // namespace
