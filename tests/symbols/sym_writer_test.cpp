// SYM records written from hand-filled symbol tables.
#include <gtest/gtest.h>

#include "support/fixture.h"
#include "symbols/sym_test_util.h"
#include "symbols/sym_writer.h"
#include "symbols/symbol_table.h"

namespace {

// Entry i of the table, marked as written.
SymbolEntry& entry(Fixture& f, int i) {
    touch_entry(*f.s.sym, i);
    return f.s.sym->entries[static_cast<size_t>(i)];
}

// The records of the table as it stands.
std::string write(Fixture& f) {
    f.out.data.clear();
    write_sym_records(f.s, f.out);
    return f.text();
}

SymbolEntry& bit_member(Fixture& w, int i, int32_t location, int32_t bit_off, int32_t one_byte) {
    SymbolEntry& e = entry(w, i);
    e.name = "b" + std::to_string(i);
    e.nest = 1;
    e.ident = kIdentMember;
    e.kind = kKindBit;
    e.location = location;
    e.bit_off = bit_off;
    e.bit_size = 4;
    e.one_byte = one_byte;
    return e;
}

TEST(SymWriter, RecordLinesInOrderWithTheirConditions) {
    Fixture w;
    SymbolEntry& e = entry(w, 0);
    e.name = "table";
    e.location = -16;
    e.typen = "short unsigned int";
    e.ident = kIdentLocalF;
    e.kind = kKindArray | kKindPointer | kKindStruct;
    e.ele[0] = 2;
    e.ele[1] = 3;
    e.ele[2] = 4;
    e.fstart = 0x1000;
    e.fend = 0x1080;
    e.one_byte = 4;
    e.total_byte = 48;
    e.struct_len = 12;
    e.regn = "@(.-16+R14)";
    e.regcode = 0x7E;
    e.regop1 = -16;
    e.floc->begin[0] = 0x1000;
    e.floc->end[0] = 0x1010;
    e.floc->code[0] = 0x7D;
    e.floc->op1[0] = -4;
    e.floc->begin[1] = 0x1010;
    e.floc->end[1] = 0x1080;
    e.floc->code[1] = 0x7E;
    e.floc->op1[1] = 8;
    // A later row after the end row is not printed.
    e.floc->begin[3] = 5;
    e.floc->count = 4;  // a writer of rows says how far they reach
    EXPECT_EQ(write(w),
              ": index[0]\n+ nest[0]\n+ name[table]\n+ location[0xFFFFFFF0]\n+ typen[Ushort]\n"
              "+ ident[LOCAL_F]\n+ kind[ARRAY POINTER STRUCT ]\n+ ele[2 3 4 0 0 0 0]\n+ fstart[0x1000]\n"
              "+ fend[0x1080]\n+ one_byte[4]\n+ total_byte[48]\n+ struct_len[12]\n+ regn[@(.-16+R14)]\n"
              "+ regcode[0x7E]\n+ regop1[-16]\n+ regop2[0]\n+ floc[0 0x1000 0x1010 0x7D -4 0]\n"
              "+ floc[1 0x1010 0x1080 0x7E 8 0]\n=\n");
}

TEST(SymWriter, SimpleEntryVoidTypeUnknownIdentAndPrintedRange) {
    Fixture w;
    SymbolEntry& e = entry(w, 0);
    e.name = "p";
    e.ident = 3;  // not one of the codes
    e.regn = "R4";
    e.regcode = 0x54;
    // fstart and fend 0: taken from the rows (first begin, last non-zero end).
    e.floc->begin[0] = 0x200;
    e.floc->end[0] = 0x210;
    e.floc->begin[1] = 0x210;
    e.floc->end[1] = 0x260;
    e.floc->end[5] = 0x300;  // not printed as a row, but counts for the end
    e.floc->count = 6;
    auto recs = symtest::parse_records(write(w));
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0]["typen"], "void");
    EXPECT_EQ(recs[0]["ident"], "");
    EXPECT_EQ(recs[0]["kind"], "SIMPLE ");
    EXPECT_FALSE(recs[0].has("ele"));
    EXPECT_FALSE(recs[0].has("struct_len"));
    EXPECT_EQ(recs[0]["fstart"], "0x200");
    EXPECT_EQ(recs[0]["fend"], "0x300");
    EXPECT_EQ(recs[0].floc.size(), 2u);
}

TEST(SymWriter, RegisterEntryWithoutRowsAndUnnamedEntriesSkipped) {
    Fixture w;
    entry(w, 0).name = "r";
    entry(w, 0).regn = "R3";
    entry(w, 1).typen = "int";  // no name: nothing written
    entry(w, 2).name = "m";
    std::string text = write(w);
    EXPECT_NE(text.find("+ regn[R3]\n+ regcode[0x0]\n+ regop1[0]\n+ regop2[0]\n=\n"), std::string::npos);
    EXPECT_EQ(text.find("floc"), std::string::npos);
    auto recs = symtest::parse_records(text);
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[1].index, 2);
}

TEST(SymWriter, TypeNameNormalisation) {
    const std::pair<const char*, const char*> cases[] = {
        {"unsigned char", "Uchar"},
        {"UNSIGNED CHAR", "Uchar"},
        {"unsigned character", "unsigned character"},
        {"signed char", "char"},
        {"short int", "short"},
        {"short unsigned int", "Ushort"},
        {"long unsigned int", "Ulong"},
        {"long int", "long"},
        {"long long int", "int64"},
        {"long long unsigned int", "int64"},
        {"unsigned int extra", "Uint"},  // the words after a match are dropped
        {"unsigned int\x85", "Uint"},    // a byte above 0x7F counts as a blank
        {"unsigned", "unsigned"},
        {"unsigned in", "unsigned in"},
        {"char", "char"},
        {"Ldouble", "Ldouble"},
        {"point", "point"},
    };
    for (const auto& c : cases) {
        std::string t = c.first;
        normalise_type_name(t);
        EXPECT_EQ(t, c.second) << c.first;
    }
    // A NUL ends the name as far as the rows are concerned.
    std::string with_nul("short int\0zz", 12);
    normalise_type_name(with_nul);
    EXPECT_EQ("short", with_nul);
    std::string cut_by_nul("short in\0t", 10);
    normalise_type_name(cut_by_nul);
    EXPECT_EQ(10u, cut_by_nul.size());
}

TEST(SymWriter, KindAndIdentTexts) {
    EXPECT_EQ(kind_text(0), "SIMPLE ");
    EXPECT_EQ(kind_text(kKindBit), "BIT ");
    EXPECT_EQ(kind_text(kKindArray | kKindPointer), "ARRAY POINTER ");
    EXPECT_EQ(kind_text(16), "SIMPLE ");
    EXPECT_STREQ(ident_text(kIdentSProgram), "S_PROGRAM");
    EXPECT_STREQ(ident_text(kIdentNon), "NON");
    EXPECT_STREQ(ident_text(kIdentLocalS | kIdentLocalR), "");
}

TEST(SymWriter, BitFieldLinesReplaceByteSizes) {
    Fixture w;
    entry(w, 0).name = "flags";
    bit_member(w, 1, 0, 3, 4);
    auto recs = symtest::parse_records(write(w));
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[1]["kind"], "BIT ");
    EXPECT_EQ(recs[1]["bit_off"], "0x3");
    EXPECT_EQ(recs[1]["bit_size"], "0x4");
    EXPECT_FALSE(recs[1].has("one_byte"));
    EXPECT_FALSE(recs[1].has("total_byte"));
}

TEST(SymWriter, BitFieldFixUpSixteenBit) {
    Fixture w;
    entry(w, 0).name = "s";
    bit_member(w, 1, 0, 20, 4);  // earlier member, upper half of a 4-byte unit
    bit_member(w, 2, 4, 18, 4);  // later member, other location, offset >= 16
    bit_member(w, 3, 4, 2, 4);   // lower half: untouched
    auto recs = symtest::parse_records(write(w));
    ASSERT_EQ(recs.size(), 4u);
    EXPECT_EQ(recs[1]["bit_off"], "0x4");
    EXPECT_EQ(recs[1]["location"], "0x2");
    // Marked, and not moved: its location 4 is not below the new location 2.
    EXPECT_EQ(recs[2]["bit_off"], "0x12");
    EXPECT_EQ(recs[2]["location"], "0x4");
    EXPECT_EQ((*w.s.sym).entries[2].bit_fixed, 255);
    EXPECT_EQ(recs[3]["bit_off"], "0x2");
    EXPECT_EQ((*w.s.sym).entries[3].bit_fixed, 0);
}

TEST(SymWriter, BitFieldFixUpMovesLaterEntriesBelowTheNewLocation) {
    Fixture w;
    entry(w, 0).name = "s";
    bit_member(w, 1, 4, 20, 4);
    bit_member(w, 2, 0, 16, 4);  // the scan finds it (location differs from 4)
    bit_member(w, 3, 4, 30, 4);  // already below 6: moved too
    auto recs = symtest::parse_records(write(w));
    EXPECT_EQ(recs[1]["location"], "0x6");
    EXPECT_EQ(recs[1]["bit_off"], "0x4");
    EXPECT_EQ(recs[2]["location"], "0x2");
    EXPECT_EQ(recs[2]["bit_off"], "0x0");
    EXPECT_EQ(recs[3]["location"], "0x6");
    EXPECT_EQ(recs[3]["bit_off"], "0xE");
}

TEST(SymWriter, BitFieldFixUpThirtyTwoBitCasesAndNegativeOffsets) {
    {
        Fixture w;  // upper: 8-byte units, offset >= 32
        entry(w, 0).name = "s";
        bit_member(w, 1, 0, 10, 8);
        bit_member(w, 2, 8, 40, 8);
        auto recs = symtest::parse_records(write(w));
        EXPECT_EQ(recs[1]["bit_off"], "0xFFFFFFEA");  // 10 - 32, printed as its 32-bit pattern
        EXPECT_EQ(recs[1]["location"], "0x4");
        EXPECT_EQ(recs[2]["bit_off"], "0x28");
        EXPECT_EQ(recs[2]["location"], "0x8");
    }
    {
        Fixture w;  // lower: 8-byte units, offset < 32
        entry(w, 0).name = "s";
        bit_member(w, 1, 0, 10, 8);
        bit_member(w, 2, 8, 5, 8);   // location above entry 1's: 4 bytes lower
        bit_member(w, 3, 0, 7, 8);   // not above: 32 more bits
        bit_member(w, 4, 0, 33, 8);  // offset >= 32: only marked
        auto recs = symtest::parse_records(write(w));
        EXPECT_EQ(recs[1]["bit_off"], "0x2A");
        EXPECT_EQ(recs[1]["location"], "0x0");
        EXPECT_EQ(recs[2]["location"], "0x4");
        EXPECT_EQ(recs[2]["bit_off"], "0x5");
        EXPECT_EQ(recs[3]["location"], "0x0");
        EXPECT_EQ(recs[3]["bit_off"], "0x27");
        EXPECT_EQ(recs[4]["bit_off"], "0x21");
        EXPECT_EQ((*w.s.sym).entries[4].bit_fixed, 255);
    }
    {
        Fixture w;  // the scan stops at the first entry without BIT
        entry(w, 0).name = "s";
        bit_member(w, 1, 0, 20, 4);
        entry(w, 2).name = "plain";
        bit_member(w, 3, 4, 18, 4);
        auto recs = symtest::parse_records(write(w));
        EXPECT_EQ(recs[1]["bit_off"], "0x14");
        EXPECT_EQ(recs[1]["location"], "0x0");
    }
}

TEST(SymWriter, GlobalCopyWritesTheTreeAgainFromTheGlobalBank) {
    Fixture w;
    w.s.opt.globalize_statics = true;
    SymbolEntry& root = entry(w, 0);
    root.name = "cfg";
    root.ident = kIdentLocalS;
    root.kind = kKindStruct;
    root.location = 0x2000;
    root.struct_len = 8;
    entry(w, 1).name = "a";
    entry(w, 1).nest = 1;
    entry(w, 1).ident = kIdentMember;
    entry(w, 2).name = "b";
    entry(w, 2).nest = 1;
    entry(w, 2).ident = kIdentMember;
    entry(w, 2).typen = "unsigned char";
    // Stale global-bank entries behind the copy are never printed.
    (*w.s.sym).entries[1024 + 3].name = "stale";
    SymbolEntry& copy = entry(w, 1024);
    copy.name = "cfg@main.c";
    copy.ident = kIdentVariable;
    copy.location = 0;  // replaced by entry 0's values
    auto recs = symtest::parse_records(write(w));
    ASSERT_EQ(recs.size(), 6u);
    const int indexes[] = {0, 1, 2, 0, 1, 2};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(recs[static_cast<size_t>(i)].index, indexes[i]);
    EXPECT_EQ(recs[3]["name"], "cfg@main.c");
    EXPECT_EQ(recs[3]["ident"], "VARIABLE");
    EXPECT_EQ(recs[3]["location"], "0x2000");
    EXPECT_EQ(recs[3]["struct_len"], "8");
    EXPECT_EQ(recs[5]["name"], "b");
    EXPECT_EQ(recs[5]["typen"], "Uchar");

    // Without -g the prepared copy is not written.
    Fixture plain;
    entry(plain, 0).name = "cfg";
    entry(plain, 1024).name = "cfg@main.c";
    EXPECT_EQ(symtest::parse_records(write(plain)).size(), 1u);
}

TEST(SymWriter, GlobalCopiesOfBitFieldsKeepTheirUnfixedValues) {
    Fixture w;
    w.s.opt.globalize_statics = true;
    entry(w, 0).name = "s";
    entry(w, 0).location = 0x100;
    bit_member(w, 1, 0, 20, 4);
    bit_member(w, 2, 4, 18, 4);
    entry(w, 1024).name = "s@f";
    auto recs = symtest::parse_records(write(w));
    ASSERT_EQ(recs.size(), 6u);
    EXPECT_EQ(recs[1]["bit_off"], "0x4");
    EXPECT_EQ(recs[4]["bit_off"], "0x14");  // copied before the fix-up
}

TEST(SymWriter, UsedExtentFollowsTheMarkedEntries) {
    Fixture w;
    EXPECT_EQ(used_main_extent((*w.s.sym)), 1);
    entry(w, 5).name = "x";
    EXPECT_EQ(used_main_extent((*w.s.sym)), 6);
    entry(w, 1023).name = "y";
    EXPECT_EQ(used_main_extent((*w.s.sym)), 1024);
}

}  // namespace

TEST(SymWriter, LongestRecordIsWrittenWhole) {
    // Every field at its widest: negative decimals, eight hex digits, all
    // kind flags (no BIT, so the byte sizes print), every ele and floc row.
    Fixture w;
    for (int i : {0, 1}) {
        SymbolEntry& e = entry(w, i);
        e.name = "n";
        e.regn = "r";
        e.nest = e.location = e.one_byte = e.total_byte = e.struct_len = INT32_MIN;
        e.regcode = e.regop1 = e.regop2 = e.fstart = e.fend = INT32_MIN;
        e.ident = kIdentSProgram;
        e.kind = kKindArray | kKindPointer | kKindStruct;
        for (int32_t& v : e.ele) v = INT32_MIN;
        for (int k = 0; k < kLocRows; ++k) {
            e.floc->begin[k] = e.floc->end[k] = e.floc->code[k] = e.floc->op1[k] = e.floc->op2[k] = INT32_MIN;
        }
        e.floc->count = kLocRows;
    }
    const std::string text = write(w);
    EXPECT_EQ(text.find('\0'), std::string::npos);
    auto recs = symtest::parse_records(text);
    ASSERT_EQ(recs.size(), 2u);
    for (auto& r : recs) {
        EXPECT_EQ(r.floc.size(), static_cast<size_t>(kLocRows));
        EXPECT_EQ(r["ele"], "-2147483648 -2147483648 -2147483648 -2147483648 -2147483648 -2147483648 -2147483648");
        EXPECT_EQ(r["regop2"], "-2147483648");
    }
    EXPECT_EQ(text.substr(text.size() - 2), "=\n");
}

TEST(SymWriter, LineBreaksInsideNamesBecomeCrLf) {
    Fixture w;
    entry(w, 0).name = "s";
    entry(w, 1).name = "a\nb";
    entry(w, 1).typen = "t\r\nu";
    entry(w, 2).name = "m";
    w.out.data.clear();
    write_sym_records(w.s, w.out);
    const std::string& raw = w.out.data;
    EXPECT_NE(raw.find(": index[0]\r\n+ nest[0]\r\n+ name[s]\r\n"), std::string::npos);
    EXPECT_NE(raw.find("+ name[a\r\nb]\r\n"), std::string::npos);
    EXPECT_NE(raw.find("+ typen[t\r\nu]\r\n"), std::string::npos);
    EXPECT_NE(raw.find("=\r\n: index[2]\r\n+ nest[0]\r\n+ name[m]\r\n"), std::string::npos);
    EXPECT_EQ(raw.substr(raw.size() - 3), "=\r\n");
    EXPECT_EQ(raw.find('\0'), std::string::npos);
}
