// The built program run in a temporary folder: console bytes, files left
// behind and exit statuses as the shell sees them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "driver/messages.h"
#include "support/elf_builder.h"
#include "support/run_helpers.h"

namespace fs = std::filesystem;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

struct Exec {
    int status;
    std::string console;
};

// Runs the program with `args` inside `dir` (or its subfolder `sub`); the status is the shell's (0..255).
Exec exec(const TempDir& dir, const std::string& args, const std::string& sub = ".") {
    std::string cmd = "cd '" + (dir.path / sub).string() + "' && '" MORVIK_BINARY "' " + args + " 2>&1";
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

// The regular files a run left in `dir` (links, folders and pipes are the
// test's own), without the inputs (*.abs) and the planted file "victim".
std::vector<std::string> outputs_left(const TempDir& dir) {
    std::vector<std::string> names;
    for (const std::string& f : dir.files()) {
        fs::path p = dir.path / f;
        bool planted = p.extension() == ".abs" || f == "victim";
        if (!planted && !fs::is_symlink(p) && fs::is_regular_file(p)) names.push_back(f);
    }
    return names;
}

// One row of the failure table: what stands in the folder before the run (the
// step returns false when this machine cannot set it up), the command line,
// and the status, console line and outputs the run must end with. The input
// fw.abs has symbols and line records.
struct FailureRow {
    const char* what;
    bool (*plant)(const TempDir&);
    const char* args;
    int status;
    std::string line;
    std::vector<std::string> outputs;
};

bool nothing(const TempDir&) { return true; }
bool dir_at(const TempDir& d, const char* name) { return fs::create_directory(d.path / name); }
bool link_at(const TempDir& d, const char* name, const char* target) {
    std::error_code ec;
    fs::create_symlink(target, d.path / name, ec);
    return !ec;
}

const FailureRow kFailureRows[] = {
    {"missing output folder", nothing, "fw.abs -o missing/out", 253,
     "error: missing/out.SYM could not be written: No such file or directory\n", {}},
    {"missing output folder, LXX kept", nothing, "-d fw.abs -o missing/out", 253,
     "error: missing/out.LXX could not be written: No such file or directory\n", {}},
    {"SYM name taken by a folder", [](const TempDir& d) { return dir_at(d, "fw.SYM"); }, "fw.abs", 253,
     "error: fw.SYM could not be written: Is a directory\n", {"fw.LIN"}},
    {"LIN name taken by a folder", [](const TempDir& d) { return dir_at(d, "fw.LIN"); }, "fw.abs", 252,
     "error: fw.LIN could not be written: Is a directory\n", {"fw.SYM"}},
    {"kept LXX name taken by a folder", [](const TempDir& d) { return dir_at(d, "fw.LXX"); }, "-adef -d fw.abs", 252,
     "", {"fw.LIN", "fw.SYM"}},
    {"only the mot fails", [](const TempDir& d) { return dir_at(d, "fw.mot"); }, "-a fw.abs", 251,
     "error: fw.mot could not be written: Is a directory\n", {"fw.LIN", "fw.SYM"}},
    {"lock name planted as a link", [](const TempDir& d) { return link_at(d, "fw.SYM.morvik-lock", "victim"); },
     "fw.abs", 253, "error: fw.SYM.morvik-lock could not be created: Too many levels of symbolic links\n", {}},
    {"read-only folder",
     [](const TempDir& d) {
         fs::permissions(d.path, fs::perms::owner_read | fs::perms::owner_exec);
         return geteuid() != 0;  // root writes there anyway
     },
     "fw.abs", 253, "error: fw.SYM could not be written: Permission denied\n", {}},
    {"unreadable input",
     [](const TempDir& d) {
         fs::permissions(d.path / "fw.abs", fs::perms::none);
         return geteuid() != 0;
     },
     "fw.abs", 255, std::string("fw.abs") + kMsgMissingFile + "error: fw.abs could not be read: Permission denied\n", {}},
    {"named pipe", [](const TempDir& d) { return mkfifo((d.path / "in.abs").c_str(), 0600) == 0; }, "in.abs", 255,
     std::string("in.abs") + kMsgMissingFile + "error: in.abs is not a regular file\n", {}},
    {"link to a device", [](const TempDir& d) { return link_at(d, "in.abs", "/dev/zero"); }, "in.abs", 255,
     std::string("in.abs") + kMsgMissingFile + "error: in.abs is not a regular file\n", {}},
    {"folder as input", [](const TempDir& d) { return dir_at(d, "in.abs"); }, "in.abs", 255,
     std::string("in.abs") + kMsgMissingFile + "error: in.abs is not a regular file\n", {}},
    {"sparse file over 4 GiB",
     [](const TempDir& d) {
         std::ofstream(d.path / "in.abs").put('\x7f');
         std::error_code ec;
         fs::resize_file(d.path / "in.abs", (uintmax_t{5} << 30), ec);
         return !ec;
     },
     "in.abs", 255,
     std::string("in.abs") + kMsgMissingFile + "error: in.abs is larger than the 4 GiB an ELF32 file can address\n", {}},
};

TEST(EndToEnd, EveryFailureEndsWithItsStatusAndNoPartialOutput) {
    std::vector<uint8_t> img = read_file_bytes(data_path("arm_le.elf"));
    ASSERT_FALSE(img.empty());
    for (const FailureRow& row : kFailureRows) {
        TempDir d;
        d.write("fw.abs", img);
        d.write("victim", {'v'});
        if (!row.plant(d)) {
            std::cout << "[ skipped  ] " << row.what << ": cannot be set up here\n";
            continue;
        }
        Exec e = exec(d, row.args);
        fs::permissions(d.path, fs::perms::owner_all);
        EXPECT_EQ(e.status, row.status) << row.what << "\n" << e.console;
        EXPECT_NE(e.console.find(row.line), std::string::npos) << row.what << "\n" << e.console;
        EXPECT_EQ(outputs_left(d), row.outputs) << row.what;
        for (const std::string& f : d.files()) EXPECT_EQ(f.find(".morvik-part"), std::string::npos) << row.what << ": " << f;
        EXPECT_EQ(read_file_bytes((d.path / "victim").string()), std::vector<uint8_t>{'v'}) << row.what;
    }
}

TEST(EndToEnd, SlashSeparatesFoldersInOutputNames) {
    TempDir d;
    fs::create_directories(d.path / "out.d" / "sub");
    d.write("out.d/sub/fw.abs", read_file_bytes(data_path("arm_le.elf")));
    EXPECT_EQ(exec(d, "out.d/sub/fw.abs -o out.d/fw").status, 0);
    EXPECT_EQ(exec(d, "-o ../up sub/fw.abs", "out.d").status, 0);
    EXPECT_EQ(exec(d, "sub/fw.abs", "out.d").status, 0);
    std::vector<std::string> made;
    for (const auto& e : fs::recursive_directory_iterator(d.path)) {
        if (e.is_regular_file()) made.push_back(fs::relative(e.path(), d.path).string());
    }
    std::sort(made.begin(), made.end());
    EXPECT_EQ(made, (std::vector<std::string>{"out.d/fw.LIN", "out.d/fw.SYM", "out.d/sub/fw.LIN", "out.d/sub/fw.SYM",
                                              "out.d/sub/fw.abs", "up.LIN", "up.SYM"}));
}

TEST(EndToEnd, MemoryRunningOutEndsWithAMessage) {
    if (kAddressSanitizer) GTEST_SKIP() << "AddressSanitizer needs more address space than the limit leaves";
    TempDir d;
    std::error_code ec;
    std::ofstream(d.path / "big.abs").put('\x7f');
    fs::resize_file(d.path / "big.abs", uintmax_t{3} << 30, ec);  // sparse: takes no room on disk
    if (ec) GTEST_SKIP() << "no sparse files here";
    bool ok = false;
    std::string out = run_command("cd '" + d.path.string() + "' && ulimit -v 400000 && '" MORVIK_BINARY "' big.abs; echo \"status $?\"", &ok);
    EXPECT_NE(out.find("error: not enough memory\nstatus 255\n"), std::string::npos) << out;
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
