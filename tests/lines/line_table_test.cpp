// The row table and the LXX lines it writes.
#include <gtest/gtest.h>

#include "lines/line_state.h"
#include "lines/line_table.h"
#include "support/fixture.h"

namespace {

// The file and directory tables of the program being read, as given.
void set_tables(Fixture& f, std::vector<FileEntry> files, std::vector<std::string> dirs = {}) {
    ProgramTables& pt = f.s.lines->tables;
    pt.files = std::move(files);
    pt.file_count = static_cast<uint32_t>(pt.files.size());
    pt.directories = std::move(dirs);
    pt.directory_count = static_cast<uint32_t>(pt.directories.size());
}

FileEntry file(const std::string& name, uint32_t dir = 0, const std::string& dir_name = "") {
    FileEntry e;
    e.name = name;
    e.directory_index = dir;
    e.directory = dir_name;
    return e;
}

TEST(LineTable, SpecialRowsComeOutByLineAndFirstAddressWins) {
    Fixture w;
    record_special_row((*w.s.lines), 5, 0x100);
    record_special_row((*w.s.lines), 3, 0x104);
    record_special_row((*w.s.lines), 5, 0x108);
    EXPECT_TRUE(rows_pending((*w.s.lines)));
    end_sequence(w.s, w.out, 0x10C);
    EXPECT_EQ(w.text(), "+0x00000104     3\n+0x00000100     5\n+0x0000010C     6\n");
    EXPECT_EQ(w.s.line_count, 3u);
    EXPECT_FALSE(rows_pending((*w.s.lines)));

    // The table is empty again: the same lines take new addresses.
    record_special_row((*w.s.lines), 5, 0x200);
    flush_rows(w.s, w.out);
    EXPECT_EQ(w.text().substr(54), "+0x00000200     5\n");
}

TEST(LineTable, CopyRowsKeepFurtherAddressesUnlessInlineDeletion) {
    for (bool inline_del : {false, true}) {
        Fixture w;
        w.s.opt.delete_inline_duplicates = inline_del;
        record_copy_row(w.s, 7, 0x200);
        record_copy_row(w.s, 7, 0x200);  // same address as the slot: nothing
        record_copy_row(w.s, 7, 0x210);
        record_copy_row(w.s, 4, 0x300);
        flush_rows(w.s, w.out);
        if (inline_del) {
            EXPECT_EQ(w.text(), "+0x00000300     4\n+0x00000200     7\n");
            EXPECT_EQ(w.s.line_count, 2u);
        } else {
            EXPECT_EQ(w.text(), "+0x00000300     4\n+0x00000200     7\n+0x00000210     7\n");
            EXPECT_EQ(w.s.line_count, 3u);
        }
        // The repeated address was not kept for a later row of the same line.
        w.out.data.clear();
        record_copy_row(w.s, 7, 0x400);
        flush_rows(w.s, w.out);
        EXPECT_EQ(w.text(), "+0x00000400     7\n");
    }
}

TEST(LineTable, ExtraRowsStopAtTenThousandPerProgram) {
    Fixture w;
    for (uint32_t i = 0; i <= kMaxExtraRows + 5; ++i) record_copy_row(w.s, 9, 0x1000 + i);
    flush_rows(w.s, w.out);
    EXPECT_EQ(w.s.line_count, kMaxExtraRows + 1);
    // The limit counts rows since the program began, not pending ones.
    record_copy_row(w.s, 9, 1);
    record_copy_row(w.s, 9, 2);
    flush_rows(w.s, w.out);
    EXPECT_EQ(w.s.line_count, kMaxExtraRows + 2);
    reset_rows((*w.s.lines));
    record_copy_row(w.s, 9, 1);
    record_copy_row(w.s, 9, 2);
    flush_rows(w.s, w.out);
    EXPECT_EQ(w.s.line_count, kMaxExtraRows + 4);
}

TEST(LineTable, EndRowOnlyWhenNeeded) {
    Fixture w;
    end_sequence(w.s, w.out, 0x50);  // nothing pending: nothing written
    EXPECT_EQ(w.text(), "");

    record_special_row((*w.s.lines), 10, 0x40);
    record_special_row((*w.s.lines), 12, 0x50);
    end_sequence(w.s, w.out, 0x40);  // a pending row already has the end address
    EXPECT_EQ(w.text(), "+0x00000040    10\n+0x00000050    12\n");
}

TEST(LineTable, LineNumbersOutsideTheTableAreDropped) {
    Fixture w;
    record_special_row((*w.s.lines), 100000, 0x10);
    record_copy_row(w.s, 100000, 0x10);
    record_special_row((*w.s.lines), 0, 0x14);
    record_copy_row(w.s, 0, 0x14);
    record_special_row((*w.s.lines), 0xFFFFFFFFu, 0x18);  // a negative line register
    EXPECT_FALSE(rows_pending((*w.s.lines)));
    record_special_row((*w.s.lines), 99999, 0x20);
    end_sequence(w.s, w.out, 0x30);  // no end row: line 100000 has no slot
    EXPECT_EQ(w.text(), "+0x00000020 99999\n");
}

TEST(LineTable, HeadingsAndOverIndexComments) {
    Fixture w;
    set_tables(w, {file("main.c", 1, "src"), file("io.h", 3), file("x.c", 0)}, {"src", "inc"});
    select_file(w.s, w.out, 1);
    select_file(w.s, w.out, 2);
    select_file(w.s, w.out, 3);
    select_file(w.s, w.out, 4);
    select_file(w.s, w.out, 0);
    EXPECT_EQ(w.text(),
              "-****  src\n+****  main.c\n"
              "/****  DirNameOverIndex(3) Regs(2)\n+****  io.h\n"
              "+****  x.c\n"
              "/****  SrcNameOverIndex(4) Regs(3)\n"
              "/****  SrcNameOverIndex(0) Regs(3)\n");
    EXPECT_EQ((*w.s.lines).tables.files[0].used, 0xFF);

    Fixture r;
    r.s.opt.directory_info = false;  // -r
    set_tables(r, {file("main.c", 1)}, {"src"});
    select_file(r.s, r.out, 1);
    EXPECT_EQ(r.text(), "/****  src\n+****  main.c\n");
}

TEST(LineTable, UsedFileListComparesNamesLikeTheDebugger) {
    Fixture w;
    w.s.opt.register_all_includes = true;
    set_tables(w, {file("Io.h", 1, "inc"), file("io.H", 0), file("io.h x", 0), file("main.c", 0)}, {"inc"});
    register_file_entry(w.s, 1);
    register_file_entry(w.s, 2);  // same name, case folded
    register_file_entry(w.s, 4);
    register_file_entry(w.s, 3);  // "io.h x" is a new name ...
    ASSERT_EQ((*w.s.lines).used_files.entries.size(), 3u);
    select_file(w.s, w.out, 2);  // ... and "io.H" matches "Io.h" (listed first)
    EXPECT_EQ((*w.s.lines).used_files.entries[0].used, 0xFF);
    EXPECT_EQ((*w.s.lines).used_files.entries[2].used, 0);

    OutText inc;
    out_open_memory(inc);
    write_include_files(w.s, inc);
    EXPECT_EQ(lf_text(inc.data),
              "#LNE_start_sequence#\n+****  main.c\n$LNE_end_sequence=\n"
              "#LNE_start_sequence#\n+****  io.h x\n$LNE_end_sequence=\n");
}

TEST(LineTable, UsedFileListWordMatchAndLimit) {
    Fixture w;
    w.s.opt.register_all_includes = true;
    // A listed name that continues with a blank after the new name matches it.
    set_tables(w, {file("a.h x", 0), file("A.H", 0)});
    register_file_entry(w.s, 1);
    register_file_entry(w.s, 2);
    EXPECT_EQ((*w.s.lines).used_files.entries.size(), 1u);

    std::vector<FileEntry> many;
    for (int i = 0; i < 2100; ++i) many.push_back(file("f" + std::to_string(i) + ".h"));
    set_tables(w, many);
    for (uint32_t i = 1; i <= 256; ++i) register_file_entry(w.s, i);
    EXPECT_EQ((*w.s.lines).used_files.entries.size(), 257u);
    for (int round = 0; round < 9; ++round) {
        std::vector<FileEntry> next;
        for (int i = 0; i < 256; ++i) next.push_back(file("r" + std::to_string(round) + "_" + std::to_string(i)));
        set_tables(w, next);
        for (uint32_t i = 1; i <= 256; ++i) register_file_entry(w.s, i);
    }
    EXPECT_EQ((*w.s.lines).used_files.entries.size(), kMaxUsedFiles);

    Fixture off;  // without -f nothing is listed
    set_tables(off, {file("a.h")});
    register_file_entry(off.s, 1);
    select_file(off.s, off.out, 1);
    EXPECT_TRUE((*off.s.lines).used_files.entries.empty());
}

}  // namespace
