// The run sequence: options, names, messages, files left behind and exit codes.
#include <gtest/gtest.h>

#include "driver/driver.h"
#include "driver/messages.h"
#include "common/session.h"
#include "support/elf_builder.h"
#include "support/run_helpers.h"

namespace {

std::vector<uint8_t> minimal_elf(bool big = false) {
    ElfBuilder b;
    b.big_endian = big;
    b.add_section(".text", std::vector<uint8_t>(8, 0), 1, 6, 0x1000);
    return b.build();
}

TEST(Run, NoArgumentsPrintsUsageEvenInQuietMode) {
    RunResult r = run_in_memory({}, "", {});
    EXPECT_EQ(r.exit_code, -1);
    std::string expected = std::string(kBanner) + "/usage: morvik\n" + kMsgNoFileName + kMsgUsage2 + kMsgUsage3 +
                           kMsgUsage4 + kMsgUsage5 + kMsgUsage6 + kMsgUsage7 + kMsgUsage8 + kMsgUsage9 + kMsgUsage10;
    EXPECT_EQ(r.console, expected);
    // The first usage line in code page 932 bytes.
    EXPECT_EQ(std::string(kMsgNoFileName).substr(0, 4), "\x83t\x83@");

    RunResult q = run_in_memory({"-adef", "-o", "out"}, "", {});
    EXPECT_EQ(q.exit_code, -1);
    EXPECT_EQ(q.console.substr(0, sizeof kBanner - 1), kBanner);
    EXPECT_EQ(q.console.find("/usage"), std::string::npos);
    EXPECT_NE(q.console.find(kMsgUsage10), std::string::npos);
}

TEST(Run, MissingFileGetsDotXAndNothingIsCreated) {
    RunResult r = run_in_memory({"prog"}, "other", {1});
    EXPECT_EQ(r.exit_code, -1);
    EXPECT_NE(r.console.find(std::string("prog.x") + kMsgMissingFile), std::string::npos);
    EXPECT_EQ(r.files.size(), 1u);
    // An empty file counts as missing.
    RunResult e = run_in_memory({"empty.abs"}, "empty.abs", {});
    EXPECT_EQ(e.exit_code, -1);
}

TEST(Run, NotElfLeavesNothing) {
    RunResult r = run_in_memory({"x.abs"}, "x.abs", {'E', 'L', 'F'});
    EXPECT_EQ(r.exit_code, -2);
    EXPECT_NE(r.console.find(kMsgNotElf), std::string::npos);
    EXPECT_EQ(r.files.size(), 1u);
}

TEST(Run, ElfWithoutDebugInfoEndsWithNoSymbols) {
    RunResult r = run_in_memory({"prog.abs", "-a"}, "prog.abs", minimal_elf());
    EXPECT_EQ(r.exit_code, -3);
    EXPECT_FALSE(r.has("prog.SYM"));
    EXPECT_FALSE(r.has("prog.LIN"));
    EXPECT_FALSE(r.has("prog.LXX"));
    EXPECT_TRUE(r.has("prog.mot"));
    EXPECT_NE(r.console.find("complete symbols=0 lines=0\n"), std::string::npos);
}

TEST(Run, TraceKeepsTheLxxWithItsHeaderLines) {
    RunResult r = run_in_memory({"-d", "-i", "-m", "prog.abs"}, "prog.abs", minimal_elf());
    ASSERT_TRUE(r.has("prog.LXX"));
    EXPECT_EQ(r.files.at("prog.LXX"),
              "/Qelto(DORO-GNU-ELF)-Symbol-Converter\r\n/Ver2.00C\r\n/usage: morvik -d -i -m prog.abs\r\n");
    RunResult m = run_in_memory({"-d", "-m", "prog.abs"}, "prog.abs", minimal_elf());
    EXPECT_EQ(m.text("prog.LXX"),
              "/Qelto(DORO-GNU-ELF)-Symbol-Converter\n/Ver2.00C\n/usage: morvik -d -m prog.abs\n/InlineDel=OFF\n/ViewMerg=ON\n");
}

TEST(Run, OutputEqualToInputIsRefused) {
    RunResult r = run_in_memory({"prog.SYM"}, "prog.SYM", minimal_elf());
    EXPECT_EQ(r.exit_code, -1);
    EXPECT_NE(r.console.find(std::string("prog.SYM") + kMsgSameFile), std::string::npos);
    EXPECT_EQ(r.files.size(), 1u);
    std::vector<uint8_t> elf = minimal_elf();
    EXPECT_EQ(r.files.at("prog.SYM"), std::string(elf.begin(), elf.end()));
    RunResult o = run_in_memory({"-a", "-o", "in.mot", "in.mot"}, "in.mot", minimal_elf());
    EXPECT_EQ(o.exit_code, -1);
}

TEST(Options, CaseFoldingPendingOutputAndLaterNamesWin) {
    Session s;
    s.console.to_memory = true;
    const char* argv[] = {"morvik", "-o", "-D", "prog.abs", "out.abs", "-X"};
    ASSERT_TRUE(parse_options(s, 6, argv));
    EXPECT_TRUE(s.opt.trace);
    EXPECT_EQ(s.output_base, "prog.abs");
    EXPECT_EQ(s.input_name, "-X");  // an unknown option is a file name
    EXPECT_EQ(s.usage_line, "/usage: morvik -o -D prog.abs out.abs -X\n");

    Session t;
    t.console.to_memory = true;
    const char* argv2[] = {"morvik", "-i", "-m", "-s", "prog", "-o"};
    ASSERT_TRUE(parse_options(t, 6, argv2));
    EXPECT_FALSE(t.opt.view_merge);
    EXPECT_FALSE(t.opt.sort_lines);
    EXPECT_TRUE(t.output_base.empty());
}

TEST(Options, OverlongCommandLineAndProgramPath) {
    Session s;
    s.console.to_memory = true;
    std::string big(1020, 'a');
    const char* argv[] = {"morvik", big.c_str()};
    EXPECT_FALSE(parse_options(s, 2, argv));
    EXPECT_EQ(s.console.text, kMsgTooLong);

    Session t;
    t.console.to_memory = true;
    std::string path(3000, 'p');
    const char* argv2[] = {path.c_str()};
    EXPECT_TRUE(parse_options(t, 1, argv2));
    EXPECT_EQ(t.usage_line.size(), 1023u);  // 1022 characters and the line end
}

TEST(Names, ExtensionsAndDerivedNames) {
    // Both separators end the extension search. Names are plain bytes here, so
    // the 0x5C of a Shift-JIS character is a backslash (not so on Windows).
    struct Ext {
        const char* name;
        size_t dot;
    } exts[] = {{"prog.abs", 4}, {"dir.d\\prog", 10},       {".hidden", 0}, {"../out", 6},
                {"out.d/fw", 8}, {"build.v2/full/fw", 16}, {"a/b.c", 3},   {"x.\x95\x5C", 4}};
    for (const Ext& e : exts) EXPECT_EQ(find_extension(e.name), e.dot) << e.name;

    struct Case {
        const char* input;
        const char* base;
        const char* opened;
        const char* sym;
    } cases[] = {
        {"prog.abs", "", "prog.abs", "prog.SYM"},
        {"prog", "", "prog.x", "prog.SYM"},
        {"a.abs", "out.x", "a.abs", "out.SYM"},
        {"a.abs", "out", "a.abs", "out.SYM"},
        {"a.abs", "dir\\", "a.abs", "dir\\.SYM"},
        {"a.abs", "out.d/fw", "a.abs", "out.d/fw.SYM"},
        {"a.abs", "../out", "a.abs", "../out.SYM"},
        {"d.v2/prog", "", "d.v2/prog.x", "d.v2/prog.SYM"},
    };
    for (const Case& c : cases) {
        Session s;
        s.input_name = c.input;
        s.output_base = c.base;
        s.opt.write_srec = true;
        derive_output_names(s);
        EXPECT_EQ(s.input_name, c.opened);
        EXPECT_EQ(s.sym_name, c.sym);
        EXPECT_EQ(s.lxx_name.substr(s.lxx_name.size() - 3), "LXX");
        EXPECT_EQ(s.mot_name.substr(s.mot_name.size() - 3), "mot");
    }
    Session n;
    n.input_name = "p.abs";
    derive_output_names(n);
    EXPECT_TRUE(n.mot_name.empty());
}

TEST(Run, ConversionsRepeatInOneProcess) {
    std::vector<uint8_t> elf = minimal_elf(true);
    RunResult a = run_in_memory({"-d", "p.abs"}, "p.abs", elf);
    RunResult b = run_in_memory({"-d", "p.abs"}, "p.abs", elf);
    EXPECT_EQ(a.console, b.console);
    EXPECT_EQ(a.files, b.files);
}

}  // namespace
