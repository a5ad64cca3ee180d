// Whole conversions of inputs crafted after the known traps of DWARF
// readers: each must end with a defined exit code, quickly, reading nothing
// outside the input, and say what it stepped over.
#include <gtest/gtest.h>

#include <chrono>

#include "support/elf_builder.h"
#include "support/run_helpers.h"

namespace {

enum : uint8_t {
    kTagCompileUnit = 0x11, kTagTypedef = 0x16, kTagVariable = 0x34,
    kAtName = 0x03, kAtType = 0x49, kAtExternal = 0x3f, kAtLocation = 0x02, kAtStmtList = 0x10,
    kFormString = 0x08, kFormRef4 = 0x13, kFormFlag = 0x0c, kFormBlock1 = 0x0a, kFormData4 = 0x06,
};

// Abbreviations: 1 unit (children), 2 typedef, 3 external variable at an address.
ByteWriter abbreviations(bool terminated = true) {
    ByteWriter a;
    a.uleb(1).uleb(kTagCompileUnit).u8(1).uleb(kAtName).uleb(kFormString).uleb(kAtStmtList).uleb(kFormData4).u8(0).u8(0);
    a.uleb(2).uleb(kTagTypedef).u8(0).uleb(kAtName).uleb(kFormString).uleb(kAtType).uleb(kFormRef4).u8(0).u8(0);
    a.uleb(3).uleb(kTagVariable).u8(0).uleb(kAtName).uleb(kFormString).uleb(kAtType).uleb(kFormRef4);
    a.uleb(kAtExternal).uleb(kFormFlag).uleb(kAtLocation).uleb(kFormBlock1);
    if (terminated) a.u8(0).u8(0).u8(0);
    return a;
}

struct Result {
    RunResult run;
    double seconds;
};

Result convert(const std::vector<uint8_t>& image, std::vector<std::string> options = {"-d", "-a", "-g"}) {
    options.push_back("trap.abs");
    auto start = std::chrono::steady_clock::now();
    Result r{run_in_memory(options, "trap.abs", image), 0};
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return r;
}

void expect_clean(const Result& r, bool warned) {
    EXPECT_TRUE(r.run.exit_code == 0 || r.run.exit_code == -3 || r.run.exit_code == -4) << r.run.exit_code;
    EXPECT_LT(r.seconds, 10.0);
    EXPECT_NE(r.run.console.find("complete symbols="), std::string::npos);
    if (warned) {
        EXPECT_NE(r.run.console.find("warning: "), std::string::npos) << r.run.console.substr(0, 2000);
    }
}

std::vector<uint8_t> elf_with(const ByteWriter& info, const ByteWriter& abbrev, const ByteWriter* line = nullptr,
                              const ByteWriter* loc = nullptr) {
    ElfBuilder b;
    b.add_section(".debug_info", info);
    b.add_section(".debug_abbrev", abbrev);
    if (line) b.add_section(".debug_line", *line);
    if (loc) b.add_section(".debug_loc", *loc);
    return b.build();
}

TEST(Traps, CyclicTypedefChainEnds) {
    ByteWriter info;
    size_t len = begin_unit(info);
    info.uleb(1).cstr("c.c").u32(0);
    uint32_t a = static_cast<uint32_t>(info.size());
    info.uleb(2).cstr("A").u32(a + 7);  // A -> B
    info.uleb(2).cstr("B").u32(a);      // B -> A
    info.uleb(3).cstr("v").u32(a).u8(1).u8(5).u8(0x03).u32(0x2000);
    info.u8(0);
    info.patch_length32(len);
    Result r = convert(elf_with(info, abbreviations()));
    expect_clean(r, true);
    EXPECT_NE(r.run.text("trap.SYM").find("+ name[v]"), std::string::npos);
}

TEST(Traps, UnitLengthsOfZeroAndPastTheEnd) {
    ByteWriter info;
    info.u32(0);  // an empty unit
    size_t len = begin_unit(info);
    info.uleb(1).cstr("ok.c").u32(0).u8(0);
    info.patch_length32(len);
    begin_unit(info);
    info.patch32(info.size() - 11, 0xFFFF0000u);  // a unit reaching far past the section
    info.uleb(3).cstr("late").u32(0).u8(1).u8(0);
    expect_clean(convert(elf_with(info, abbreviations())), true);
}

TEST(Traps, AbbreviationListWithoutItsTerminator) {
    ByteWriter info;
    size_t len = begin_unit(info);
    info.uleb(1).cstr("a.c").u32(0).uleb(3).cstr("v").u32(0).u8(1).u8(0).u8(0);
    info.patch_length32(len);
    expect_clean(convert(elf_with(info, abbreviations(false))), true);
}

TEST(Traps, RunawayLeb128) {
    ByteWriter info;
    size_t len = begin_unit(info);
    info.fill(500, 0x80);  // an abbreviation code that never ends
    info.patch_length32(len);
    expect_clean(convert(elf_with(info, abbreviations())), true);
}

TEST(Traps, LocationListsWithAddressSizeZero) {
    ByteWriter info;
    size_t len = begin_unit(info, 2, 0, 0);
    info.uleb(1).cstr("z.c").u32(0).u8(0);
    info.patch_length32(len);
    ByteWriter loc;
    loc.u16(3).u8(0x50).u16(1).u8(0x51).u32(0).u32(0);
    expect_clean(convert(elf_with(info, abbreviations(), nullptr, &loc)), true);
}

// A line program with the given header values and tables.
ByteWriter line_program(uint8_t line_range, int64_t header_length_delta, int dirs, int files, size_t name_length) {
    ByteWriter w;
    size_t len = w.placeholder32();
    w.u16(2);
    size_t hl = w.placeholder32();
    w.u8(1).u8(1).u8(static_cast<uint8_t>(-5)).u8(line_range).u8(10);
    for (int i = 0; i < 9; ++i) w.u8(i == 1 || i == 2 || i == 3 || i == 4 || i == 8 ? 1 : 0);
    for (int i = 0; i < dirs; ++i) w.cstr("dir" + std::to_string(i));
    w.u8(0);
    for (int i = 0; i < files; ++i) w.cstr(std::string(name_length, 'f') + std::to_string(i)).uleb(i % (dirs + 1)).uleb(0).uleb(0);
    w.u8(0);
    w.patch32(hl, static_cast<uint32_t>(static_cast<int64_t>(w.size() - hl - 4) + header_length_delta));
    w.u8(0).uleb(5).u8(2).u32(0x1000).u8(1).u8(40).u8(0x21).u8(0).uleb(1).u8(1);
    w.patch_length32(len);
    return w;
}

TEST(Traps, LinePrograms) {
    ByteWriter info;
    size_t len = begin_unit(info);
    info.uleb(1).cstr("l.c").u32(0).uleb(3).cstr("g").u32(0).u8(1).u8(5).u8(0x03).u32(0x2000).u8(0);
    info.patch_length32(len);
    struct Case {
        const char* what;
        ByteWriter line;
        bool warned;
    } cases[] = {
        {"line_range 0", line_program(0, 0, 1, 1, 4), true},
        {"header_length before its start", line_program(14, -1000000, 1, 1, 4), true},
        {"header_length past the end", line_program(14, 1000000, 1, 1, 4), true},
        {"300 directories and files", line_program(14, 0, 300, 300, 4), false},
        {"2000-character file name", line_program(14, 0, 1, 1, 2000), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Result r = convert(elf_with(info, abbreviations(), &c.line));
        expect_clean(r, c.warned);
    }
}

TEST(Traps, BrokenElfContainers) {
    ElfBuilder b;
    b.add_section(".debug_info", std::vector<uint8_t>(16, 0));
    std::vector<uint8_t> img = b.build();
    std::vector<uint8_t> bad = img;
    bad[50] = 0xFF;  // e_shstrndx out of range
    expect_clean(convert(bad), true);
    bad = img;
    bad[32] = bad[33] = bad[34] = 0xFF;  // section headers past the image
    expect_clean(convert(bad), true);
    EXPECT_EQ(convert(std::vector<uint8_t>{0x7F, 'E', 'L'}).run.exit_code, -2);
    EXPECT_EQ(convert(std::vector<uint8_t>{}).run.exit_code, -1);
}

}  // namespace
