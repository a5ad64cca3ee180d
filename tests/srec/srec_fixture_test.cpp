// The mot files of the compiler-made fixtures, decoded back into memory and
// compared with what binutils extracts for the same sections: readelf gives
// the section and program header tables, objcopy the section bytes and its
// own S-record image.
#include <gtest/gtest.h>

#include <sstream>
#include <stdlib.h>
#include <unistd.h>

#include "srec/srec_decode.h"
#include "support/run_helpers.h"

namespace {

const char* const kFixtures[] = {"arm_le.elf", "arm_be.elf", "arm_o2.elf", "sh4.elf", "sh4_be.elf"};

struct ToolSection {
    std::string name, type;
    uint32_t addr = 0, offset = 0, size = 0;
    std::string flags;
};
struct ToolSegment {
    uint32_t offset = 0, vaddr = 0, paddr = 0;
};

uint32_t hex(const std::string& t) { return static_cast<uint32_t>(std::stoul(t, nullptr, 16)); }

std::string quote(const std::string& path) { return "'" + path + "'"; }

// "  [ 4] .data  PROGBITS  20000000 002000 00009c 00  WA  0   0  8"; the flag column may be empty.
std::vector<ToolSection> readelf_sections(const std::string& path) {
    std::vector<ToolSection> out;
    std::istringstream in(run_command("readelf -SW " + quote(path)));
    std::string line;
    while (std::getline(in, line)) {
        size_t close = line.find(']');
        if (line.find("  [") != 0 || close == std::string::npos || line.find("Nr]") != std::string::npos) continue;
        std::istringstream f(line.substr(close + 1));
        std::vector<std::string> tok;
        for (std::string t; f >> t;) tok.push_back(t);
        if (tok.size() < 9) {
            if (tok.size() == 8) tok.insert(tok.begin(), "");  // the null section has no name
            else continue;
        }
        ToolSection s;
        s.name = tok[0];
        s.type = tok[1];
        s.addr = hex(tok[2]);
        s.offset = hex(tok[3]);
        s.size = hex(tok[4]);
        if (tok.size() == 10) s.flags = tok[6];
        out.push_back(s);
    }
    return out;
}

std::vector<ToolSegment> readelf_segments(const std::string& path) {
    std::vector<ToolSegment> out;
    std::istringstream in(run_command("readelf -lW " + quote(path)));
    std::string line;
    bool inside = false;
    while (std::getline(in, line)) {
        if (line.find("Program Headers:") == 0) {
            inside = true;
            continue;
        }
        if (!inside) continue;
        if (line.empty()) break;
        std::istringstream f(line);
        std::string type, off, vaddr, paddr;
        f >> type >> off >> vaddr >> paddr;
        if (off.rfind("0x", 0) != 0) continue;  // the column titles, interpreter notes
        out.push_back({hex(off), hex(vaddr), hex(paddr)});
    }
    return out;
}

// PROGBITS with exactly A, WA or AX among the write/alloc/exec flags.
bool loadable(const ToolSection& s) {
    if (s.type != "PROGBITS") return false;
    std::string wax;
    for (char c : std::string("WAX"))
        if (s.flags.find(c) != std::string::npos) wax += c;
    return wax == "A" || wax == "WA" || wax == "AX";
}

uint32_t expected_load_address(const ToolSection& s, const std::vector<ToolSegment>& segments) {
    for (const ToolSegment& p : segments)
        if (p.offset == s.offset && p.vaddr != p.paddr && p.vaddr == s.addr && p.paddr != 0) return p.paddr;
    return s.addr;
}

struct TempDir {
    std::string path;
    TempDir() {
        char name[] = "/tmp/morvik_srec_XXXXXX";
        if (mkdtemp(name)) path = name;
    }
    ~TempDir() {
        if (!path.empty()) run_command("rm -rf " + quote(path));
    }
};

bool have_binutils() { return have_tool("readelf") && have_tool("objcopy"); }

std::string mot_of(const std::string& fixture, const std::vector<uint8_t>& image) {
    std::string base = fixture.substr(0, fixture.size() - 4);
    RunResult r = run_in_memory({"-a", fixture}, fixture, image);
    return r.has(base + ".mot") ? r.files.at(base + ".mot") : std::string();
}

TEST(SrecFixtures, MemoryImageEqualsSectionBytesAtTheirLoadAddresses) {
    if (!have_binutils()) GTEST_SKIP() << "readelf/objcopy not installed";
    TempDir tmp;
    ASSERT_FALSE(tmp.path.empty());
    int checked = 0;
    for (const char* fixture : kFixtures) {
        SCOPED_TRACE(fixture);
        std::string path = data_path(fixture);
        std::vector<uint8_t> image = read_file_bytes(path);
        if (image.empty()) continue;  // fixture not built here
        ++checked;

        DecodedSrec d = decode_srec(mot_of(fixture, image));
        ASSERT_EQ(d.error, "");
        EXPECT_EQ(d.header, std::string(fixture).substr(0, std::string(fixture).size() - 3) + "mot");

        std::vector<ToolSection> sections = readelf_sections(path);
        std::vector<ToolSegment> segments = readelf_segments(path);
        ASSERT_FALSE(sections.empty());
        std::map<uint32_t, uint8_t> expected;
        size_t expected_records = 0;
        for (const ToolSection& s : sections) {
            if (!loadable(s) || s.size == 0) continue;
            std::string out = tmp.path + "/section.bin";
            bool ok = false;
            run_command("objcopy -O binary --only-section=" + s.name + " " + quote(path) + " " + quote(out), &ok);
            ASSERT_TRUE(ok) << s.name;
            std::vector<uint8_t> bytes = read_file_bytes(out);
            ASSERT_EQ(bytes.size(), s.size) << s.name;
            uint32_t at = expected_load_address(s, segments);
            for (size_t i = 0; i < bytes.size(); ++i) expected[at + static_cast<uint32_t>(i)] = bytes[i];
            expected_records += (s.size + 15) / 16;
        }
        EXPECT_EQ(d.memory, expected);
        EXPECT_EQ(d.data_records, expected_records);

        std::string entry = run_command("readelf -hW " + quote(path) + " | sed -n 's/.*Entry point address: *//p'");
        EXPECT_EQ(d.entry, hex(entry));
        EXPECT_EQ(d.termination_type, d.entry < 0x10000 ? 9u : d.entry < 0x1000000 ? 8u : 7u);
    }
    EXPECT_GT(checked, 0);
}

// objcopy writes its own S-records from the load addresses of the sections;
// for these fixtures every loadable section either starts its segment or
// sits in one whose physical and virtual addresses agree, so both images
// must hold the same bytes at the same addresses.
TEST(SrecFixtures, MemoryImageEqualsObjcopySrecImage) {
    if (!have_binutils()) GTEST_SKIP() << "readelf/objcopy not installed";
    TempDir tmp;
    ASSERT_FALSE(tmp.path.empty());
    for (const char* fixture : kFixtures) {
        SCOPED_TRACE(fixture);
        std::string path = data_path(fixture);
        std::vector<uint8_t> image = read_file_bytes(path);
        if (image.empty()) continue;
        DecodedSrec ours = decode_srec(mot_of(fixture, image));
        ASSERT_EQ(ours.error, "");

        bool ok = false;
        std::string out = tmp.path + "/objcopy.srec";
        run_command("objcopy -O srec " + quote(path) + " " + quote(out), &ok);
        ASSERT_TRUE(ok);
        std::vector<uint8_t> srec = read_file_bytes(out);
        // objcopy ends its lines in CR LF too.
        DecodedSrec theirs = decode_srec(std::string(srec.begin(), srec.end()), false);
        ASSERT_EQ(theirs.error, "");
        EXPECT_EQ(ours.memory, theirs.memory);
    }
}

// The flash-loaded data section of the ARM fixtures: its bytes sit right
// after .rodata in flash, not at its RAM address.
TEST(SrecFixtures, InitialisedDataGoesToItsFlashCopy) {
    if (!have_binutils()) GTEST_SKIP() << "readelf/objcopy not installed";
    std::string path = data_path("arm_le.elf");
    std::vector<uint8_t> image = read_file_bytes(path);
    if (image.empty()) GTEST_SKIP() << "arm_le.elf not built";
    std::vector<ToolSegment> segments = readelf_segments(path);
    uint32_t data_paddr = 0;
    for (const ToolSection& s : readelf_sections(path))
        if (s.name == ".data") data_paddr = expected_load_address(s, segments);
    ASSERT_NE(data_paddr, 0u);
    ASSERT_LT(data_paddr, 0x20000000u);
    DecodedSrec d = decode_srec(mot_of("arm_le.elf", image));
    ASSERT_EQ(d.error, "");
    EXPECT_EQ(d.memory.count(data_paddr), 1u);
    EXPECT_EQ(d.memory.lower_bound(0x20000000), d.memory.end());
}

// The real program on disk: CR LF records, the S0 name with the directory part.
TEST(SrecFixtures, BinaryWritesTheMotFileNextToItsInput) {
    std::vector<uint8_t> image = read_file_bytes(data_path("sh4.elf"));
    if (image.empty()) GTEST_SKIP() << "sh4.elf not built";
    TempDir tmp;
    ASSERT_FALSE(tmp.path.empty());
    std::string dir = tmp.path + "/a_rather_long_directory_name";
    run_command("mkdir -p " + quote(dir) + " && cp " + quote(data_path("sh4.elf")) + " " + quote(dir));
    bool ok = false;
    run_command(std::string("cd ") + quote(tmp.path) + " && " + MORVIK_BINARY + " -a " +
                    quote(dir + "/sh4.elf") + " >/dev/null",
                &ok);
    std::vector<uint8_t> mot = read_file_bytes(dir + "/sh4.mot");
    ASSERT_FALSE(mot.empty());
    DecodedSrec d = decode_srec(std::string(mot.begin(), mot.end()));
    ASSERT_EQ(d.error, "");
    EXPECT_EQ(d.header, (dir + "/sh4.mot").substr(0, 40));
    EXPECT_EQ(d.termination_type, 8u);
    EXPECT_EQ(d.entry, 0x400094u);
    DecodedSrec in_memory = decode_srec(mot_of("sh4.elf", image));
    EXPECT_EQ(d.memory, in_memory.memory);
}

}  // namespace
