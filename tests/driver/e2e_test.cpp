// The built program run in a temporary folder: console bytes, files left
// behind and exit statuses as the shell sees them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "driver/messages.h"
#include "support/elf_builder.h"
#include "support/run_helpers.h"

namespace fs = std::filesystem;

namespace {

struct Exec {
    int status;
    std::string console;
};

// Runs the program with `args` inside `dir`; the status is the shell's (0..255).
Exec exec(const TempDir& dir, const std::string& args) {
    std::string cmd = "cd '" + dir.path.string() + "' && '" MORVIK_BINARY "' " + args + " 2>&1";
    Exec e;
    std::FILE* p = popen(cmd.c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) e.console.append(buf, n);
    int rc = pclose(p);
    e.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return e;
}

std::vector<uint8_t> plain_elf() {
    ElfBuilder b;
    b.add_section(".text", std::vector<uint8_t>(8, 0), 1, 6, 0x1000);
    return b.build();
}

TEST(EndToEnd, FailureStatuses) {
    TempDir d;
    Exec none = exec(d, "");
    EXPECT_EQ(none.status, 255);
    EXPECT_NE(none.console.find(kMsgUsage2), std::string::npos);
    EXPECT_EQ(d.files().size(), 0u);

    Exec missing = exec(d, "prog");
    EXPECT_EQ(missing.status, 255);
    EXPECT_NE(missing.console.find(std::string("prog.x") + kMsgMissingFile), std::string::npos);

    d.write("text.abs", {'h', 'e', 'l', 'l', 'o'});
    Exec not_elf = exec(d, "text.abs");
    EXPECT_EQ(not_elf.status, 254);
    EXPECT_NE(not_elf.console.find(kMsgNotElf), std::string::npos);
    EXPECT_EQ(d.files(), std::vector<std::string>{"text.abs"});

    d.write("plain.abs", plain_elf());
    Exec plain = exec(d, "plain.abs");
    EXPECT_EQ(plain.status, 253);
    EXPECT_NE(plain.console.find("complete symbols=0 lines=0\n"), std::string::npos);
    EXPECT_EQ(d.files(), (std::vector<std::string>{"plain.abs", "text.abs"}));

    d.write("fw.SYM", plain_elf());
    Exec same = exec(d, "fw.SYM");
    EXPECT_EQ(same.status, 255);
    EXPECT_NE(same.console.find(std::string("fw.SYM") + kMsgSameFile), std::string::npos);
    EXPECT_EQ(fs::file_size(d.path / "fw.SYM"), plain_elf().size());
    // The same file reached through another name (-o with a link to the input) is refused too.
    fs::create_symlink(d.path / "fw.SYM", d.path / "link.SYM");
    Exec linked = exec(d, "-o link.SYM fw.SYM");
    EXPECT_EQ(linked.status, 255);
    fs::remove(d.path / "link.SYM");
    fs::remove(d.path / "fw.SYM");

    Exec quiet = exec(d, "-adef plain.abs");
    EXPECT_EQ(quiet.console, kBanner);
}

TEST(EndToEnd, UncreatableOutputsGiveTotalsAndNoFiles) {
    TempDir d;
    d.write("plain.abs", plain_elf());
    // The output folder does not exist, so neither LXX nor SYM can be created.
    Exec e = exec(d, "plain.abs -o missing/out");
    EXPECT_EQ(e.status, 253);
    EXPECT_NE(e.console.find("complete symbols=0 lines=0\n"), std::string::npos);
    EXPECT_EQ(d.files(), std::vector<std::string>{"plain.abs"});
    if (geteuid() != 0) {
        // A read-only folder (root writes into those anyway).
        fs::permissions(d.path, fs::perms::owner_read | fs::perms::owner_exec);
        Exec ro = exec(d, "plain.abs");
        EXPECT_EQ(ro.status, 253);
        fs::permissions(d.path, fs::perms::owner_all);
    }
}

TEST(EndToEnd, OutputsAppearOnlyUnderTheirFinalNames) {
    std::vector<uint8_t> img = read_file_bytes(data_path("arm_le.elf"));
    if (img.empty()) GTEST_SKIP() << "fixture missing";
    TempDir d;
    d.write("fw.abs", img);
    // A stale SYM from an earlier run is not left behind when this run writes none.
    d.write("plain.SYM", {'o', 'l', 'd'});
    d.write("plain.abs", plain_elf());
    exec(d, "plain.abs");
    exec(d, "-d -a fw.abs");
    for (const std::string& f : d.files()) EXPECT_EQ(f.find(".morvik-part"), std::string::npos) << f;
    EXPECT_FALSE(fs::exists(d.path / "plain.SYM"));
    EXPECT_TRUE(fs::exists(d.path / "fw.LXX"));
    EXPECT_TRUE(fs::exists(d.path / "fw.mot"));
}

TEST(EndToEnd, TraceDumpOfRealFixtures) {
    for (const char* name : {"arm_le.elf", "arm_be.elf"}) {
        std::vector<uint8_t> img = read_file_bytes(data_path(name));
        if (img.empty()) GTEST_SKIP() << "fixture missing";
        TempDir d;
        d.write("fw.abs", img);
        Exec e = exec(d, "-d fw.abs");
        EXPECT_NE(e.console.find("/e_type             0x0002 \n"), std::string::npos) << name;
        EXPECT_NE(e.console.find("/e_machine          0x0028 \n"), std::string::npos) << name;
        EXPECT_NE(e.console.find("/Section Name [  1]"), std::string::npos) << name;
        std::vector<uint8_t> lxx = read_file_bytes((d.path / "fw.LXX").string());
        ASSERT_FALSE(lxx.empty()) << name;
        std::string text(lxx.begin(), lxx.end());
        EXPECT_EQ(text.rfind("/Qelto(DORO-GNU-ELF)-Symbol-Converter\r\n", 0), 0u);
        EXPECT_EQ(e.status, 0) << name;
        std::vector<uint8_t> sym = read_file_bytes((d.path / "fw.SYM").string());
        ASSERT_FALSE(sym.empty()) << name;
        std::string s(sym.begin(), sym.end());
        EXPECT_NE(s.find("/e_sh0ff            0x"), std::string::npos);
        EXPECT_NE(s.find("/Dwarf-Version[2]\r\n"), std::string::npos);
    }
}

}  // namespace
