// Keeps the benchmark scripts in bench/ working: the measuring script runs
// once over a committed fixture, the generator writes a tiny tree, and when
// the ARM cross compiler is there that tree is built and measured too.
// Nothing here is timed or compared with a time, so a slow machine passes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/run_helpers.h"

namespace fs = std::filesystem;

namespace {

const std::string kBench = MORVIK_BENCH;

struct Shell {
    int status;
    std::string out;
};

Shell shell(const std::string& cmd) {
    Shell s;
    std::FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (p == nullptr) return {-1, ""};
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) s.out.append(buf, n);
    int rc = pclose(p);
    s.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return s;
}

bool have(const std::string& tool) {
    return shell("command -v " + tool + " >/dev/null").status == 0;
}

std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string measure(const TempDir& d, const std::string& files) {
    return "python3 '" + kBench + "/measure.py' --quiet --runs 1 --morvik '" MORVIK_BINARY
           "' --work '" + (d.path / "work").string() + "' " + files;
}

// The report names every command, carries the totals of morvik's run and
// output checksums for a later comparison.
void expect_report(const std::string& report, const std::string& label) {
    EXPECT_NE(report.find("== " + label), std::string::npos) << report;
    for (const char* cmd : {"\nmorvik ", "\nmorvik 1cpu ", "\nmorvik -a ", "\nmorvik -d ", "\nreadelf ", "\n== goals\n"})
        EXPECT_NE(report.find(cmd), std::string::npos) << cmd << "\n" << report;
    EXPECT_EQ(report.find("symbols None"), std::string::npos) << report;
    EXPECT_EQ(report.find("symbols 0,"), std::string::npos) << report;
    EXPECT_EQ(report.find("line rows 0\n"), std::string::npos) << report;
    EXPECT_NE(report.find("morvik -a mot"), std::string::npos) << report;
    EXPECT_NE(report.find("morvik -d LXX"), std::string::npos) << report;
    EXPECT_EQ(report.find("FAILED"), std::string::npos) << report;
}

TEST(BenchSmoke, MeasuresCommittedFixture) {
    if (!have("python3") || !have("readelf")) GTEST_SKIP() << "python3 or readelf missing";
    TempDir d;
    Shell s = shell(measure(d, "fixture='" MORVIK_TEST_DATA "/arm_o2.elf'"));
    ASSERT_EQ(s.status, 0) << s.out;
    expect_report(s.out, "fixture");
    // The runs leave nothing but the cached DIE count behind the copy.
    for (const auto& e : fs::recursive_directory_iterator(d.path / "work")) {
        std::string ext = e.path().extension().string();
        EXPECT_TRUE(ext != ".SYM" && ext != ".LIN" && ext != ".LXX" && ext != ".mot") << e.path();
    }
}

TEST(BenchSmoke, GeneratorIsDeterministicAndPrefixStable) {
    if (!have("python3")) GTEST_SKIP() << "python3 missing";
    TempDir d;
    const std::string gen = "python3 '" + kBench + "/gen_firmware.py'";
    Shell a = shell(gen + " --units 2 --links 1,2 --out '" + (d.path / "a").string() + "'");
    ASSERT_EQ(a.status, 0) << a.out;
    Shell b = shell(gen + " --units 1 --out '" + (d.path / "b").string() + "'");
    ASSERT_EQ(b.status, 0) << b.out;
    Shell c = shell(gen + " --units 1 --seed 7 --out '" + (d.path / "c").string() + "'");
    ASSERT_EQ(c.status, 0) << c.out;

    for (const char* f : {"Makefile", "firmware.ld", "src/startup.c", "src/main_1.c", "src/main_2.c",
                          "src/mod_0000.c", "src/mod_0001.c", "src/include/device.h"})
        EXPECT_TRUE(fs::exists(d.path / "a" / f)) << f;
    // Unit 0 does not depend on how many units follow it, only on the seed.
    std::string unit0 = slurp(d.path / "a/src/mod_0000.c");
    EXPECT_EQ(unit0, slurp(d.path / "b/src/mod_0000.c"));
    EXPECT_NE(unit0, slurp(d.path / "c/src/mod_0000.c"));
    EXPECT_NE(unit0.find("struct m0000_rec0"), std::string::npos);
    // No division and no floating point: nothing from libgcc is linked.
    for (const char* bad : {" / ", " % ", "float", "double"})
        EXPECT_EQ(unit0.find(bad), std::string::npos) << bad;

    Shell bad = shell(gen + " --units 2 --links 3 --out '" + (d.path / "x").string() + "'");
    EXPECT_NE(bad.status, 0);
}

TEST(BenchSmoke, BuildsAndMeasuresTinyFirmware) {
    if (!have("python3") || !have("readelf") || !have("make") || !have("arm-none-eabi-gcc"))
        GTEST_SKIP() << "python3, readelf, make or arm-none-eabi-gcc missing";
    TempDir d;
    const fs::path tree = d.path / "fw";
    Shell g = shell("python3 '" + kBench + "/gen_firmware.py' --units 2 --links 1,2 --out '" + tree.string() + "'");
    ASSERT_EQ(g.status, 0) << g.out;
    Shell m = shell("make -C '" + tree.string() + "' -j2 --no-print-directory");
    ASSERT_EQ(m.status, 0) << m.out;
    Shell s = shell(measure(d, "N=1='" + (tree / "firmware_1.elf").string() + "' 2N=2='" +
                                   (tree / "firmware_2.elf").string() + "'"));
    ASSERT_EQ(s.status, 0) << s.out;
    expect_report(s.out, "N=1");
    expect_report(s.out, "2N=2");
    EXPECT_NE(s.out.find("== growth N=1 -> 2N=2"), std::string::npos) << s.out;
}

}  // namespace
