// ELF header, tables, section names and DWARF section lookup.
#include <gtest/gtest.h>

#include "elf/elf_reader.h"
#include "support/fixture.h"

namespace {

// A bare fixture that the ELF pass reads `image` into, its lines kept in `out`.
struct Loaded : Fixture {
    bool accepted = false;
};

void load(Loaded& l, const std::vector<uint8_t>& image, bool trace = false) {
    l.s.opt.trace = trace;
    l.s.image.assign(image.begin(), image.end());
    l.accepted = read_elf(l.s, l.out);
}

std::vector<uint8_t> debug_info(bool big, uint16_t version = 2, uint8_t address_size = 4) {
    ByteWriter w(big);
    size_t len = begin_unit(w, version, 0, address_size);
    w.u8(0);
    w.patch_length32(len);
    return w.bytes;
}

TEST(ElfReader, BigEndianHeaderDumpShowsTargetOrder) {
    ElfBuilder b;
    b.big_endian = true;
    b.machine = 42;
    b.flags = 0;
    b.entry = 0x1000;
    b.add_section(".text", std::vector<uint8_t>(4, 0x09), 1, 6, 0x1000);
    b.add_section(".debug_info", debug_info(true));
    b.segments.push_back({});
    b.segments[0].section = 1;
    Loaded l;
    load(l, b.build(), true);
    ASSERT_TRUE(l.accepted);
    const std::string& t = l.out.data;
    EXPECT_NE(t.find("/<<<<<<<<<< ELF Header >>>>>>>>>>\r\n/e_ident            0x7F 0x45 0x4C 0x46 0x01 0x02 "),
              std::string::npos);
    EXPECT_NE(t.find("/e_type             0x0002 \r\n/e_machine          0x002A \r\n"), std::string::npos);
    EXPECT_NE(t.find("/e_sh0ff            0x"), std::string::npos);
    EXPECT_NE(t.find("/e_shnum            0x0004 \r\n"), std::string::npos);
    EXPECT_NE(t.find("/========== Program Header [  0] ==========\r\n/p_type             0x00000001 \r\n"),
              std::string::npos);
    EXPECT_NE(t.find("/---------- Section Header [  1] ----------\r\n"), std::string::npos);
    EXPECT_NE(t.find("/Section Name [  2].debug_info\r\n"), std::string::npos);
    EXPECT_NE(t.find("/Dwarf-Version[2]\r\n"), std::string::npos);
    EXPECT_EQ(l.s.elf.header.e_shnum, 4u);
    EXPECT_EQ(l.s.elf.header.e_entry, 0x1000u);
    EXPECT_EQ(l.s.elf.info_index, 2);
    EXPECT_EQ(l.s.elf.dwarf_version, 2u);
    EXPECT_EQ(l.s.elf.address_size, 4);
    // The same lines go to the console.
    EXPECT_NE(l.s.console.text.find("/e_type             0x0002 \n"), std::string::npos);
}

TEST(ElfReader, TargetMachineCode) {
    struct Case {
        uint16_t machine;
        uint32_t flags;
        uint32_t expected;
    } cases[] = {
        {173, 0x00820000, 173}, {42, 0x00800000, 46}, {0, 0x00810000, 47}, {7, 0x00820000, 48},
        {42, 0x00830000, 47},   {42, 0x00840000, 48}, {42, 0x00850000, 48}, {42, 0x00860000, 48},
        {40, 0x05000402, 80},   {3, 0x05000002, 80},  {40, 0x05000200, 80}, {40, 0x05000400, 80},
        {42, 0, 42},            {3, 0x05000200, 42},
    };
    for (const Case& c : cases) {
        ElfBuilder b;
        b.machine = c.machine;
        b.flags = c.flags;
        Loaded l;
        load(l, b.build());
        EXPECT_EQ(l.s.elf.header.e_machine, c.expected) << c.machine << " " << std::hex << c.flags;
    }
}

TEST(ElfReader, RejectsClass64AndDataZeroAfterTheDump) {
    ElfBuilder b;
    b.ei_class = 2;
    b.add_section(".debug_info", debug_info(false));
    Loaded l;
    load(l, b.build(), true);
    EXPECT_FALSE(l.accepted);
    EXPECT_NE(l.out.data.find("/e_shstrndx"), std::string::npos);
    EXPECT_EQ(l.out.data.find("Section Header"), std::string::npos);
    EXPECT_EQ(l.s.elf.info_index, 0);

    ElfBuilder z;
    z.ei_data = 0;
    z.big_endian = false;
    std::vector<uint8_t> img = z.build();
    img[5] = 0;
    Loaded l2;
    load(l2, img);
    EXPECT_FALSE(l2.accepted);
}

TEST(ElfReader, LaterMatchingSectionWinsAndWritesSecondVersionLine) {
    ElfBuilder b;
    b.add_section(".debug_info", debug_info(false, 2));
    b.add_section(".debug_info.extra", debug_info(false, 3, 2));
    b.add_section(".debug_str", std::vector<uint8_t>{'a', 0});
    Loaded l;
    load(l, b.build());
    EXPECT_EQ(l.out.data, "/Dwarf-Version[2]\r\n/Dwarf-Version[3]\r\n");
    EXPECT_EQ(l.s.elf.info_index, 2);
    EXPECT_EQ(l.s.elf.address_size, 2);
    EXPECT_EQ(l.s.elf.str_index, 3);
    EXPECT_EQ(l.s.elf.abbrev_index, 0);
}

TEST(ElfReader, Dwarf5CompanionSectionsAreNotTakenForTheirNamesakes) {
    ElfBuilder b;
    b.add_section(".debug_line", std::vector<uint8_t>{1});
    b.add_section(".debug_loc", std::vector<uint8_t>{2});
    b.add_section(".debug_str", std::vector<uint8_t>{3});
    b.add_section(".debug_loclists", std::vector<uint8_t>{4});
    b.add_section(".debug_str_offsets", std::vector<uint8_t>{5});
    b.add_section(".debug_line_str", std::vector<uint8_t>{6});
    Loaded l;
    load(l, b.build());
    EXPECT_EQ(l.s.elf.line_index, 1);
    EXPECT_EQ(l.s.elf.loc_index, 2);
    EXPECT_EQ(l.s.elf.str_index, 3);
}

TEST(ElfReader, TooManyHeadersStopsTheReader) {
    ElfBuilder b;
    b.add_section(".debug_info", debug_info(false));
    std::vector<uint8_t> img = b.build();
    img[44] = 0x01;  // e_phnum = 4097
    img[45] = 0x10;
    Loaded l;
    load(l, img);
    EXPECT_TRUE(l.accepted);
    EXPECT_TRUE(l.s.elf.program_headers.empty());
    EXPECT_TRUE(l.s.elf.sections.empty());
}

TEST(ElfReader, OffsetsOutsideTheImageReadAsZeroWithWarnings) {
    ElfBuilder b;
    b.add_section(".debug_info", debug_info(false));
    std::vector<uint8_t> img = b.build();
    // e_shstrndx out of range
    std::vector<uint8_t> bad = img;
    bad[50] = 0x40;
    Loaded l;
    load(l, bad, true);
    EXPECT_NE(l.s.console.text.find("warning: e_shstrndx"), std::string::npos);
    EXPECT_EQ(l.s.elf.info_index, 0);
    EXPECT_NE(l.out.data.find("/Section Name [  1]\r\n"), std::string::npos);
    // e_shoff past the end: fields read as 0, one warning.
    bad = img;
    bad[32] = 0xF0;
    bad[35] = 0x7F;
    Loaded m;
    load(m, bad);
    EXPECT_EQ(m.s.elf.sections.size(), 3u);
    EXPECT_EQ(m.s.elf.sections[1].sh_offset, 0u);
    EXPECT_NE(m.s.console.text.find("warning: section header table"), std::string::npos);
    // An image of a few bytes past the magic.
    Loaded n;
    load(n, std::vector<uint8_t>{0x7F, 'E', 'L', 'F', 1, 1}, true);
    EXPECT_TRUE(n.accepted);
    EXPECT_NE(n.s.console.text.find("warning: the ELF header is cut off"), std::string::npos);
}

TEST(ElfReader, LongSectionNameIsKeptTo1024CharactersAndCutInTheTrace) {
    ElfBuilder b;
    b.add_section(std::string(3000, 'n'), std::vector<uint8_t>{1});
    Loaded l;
    load(l, b.build(), true);
    EXPECT_EQ(l.s.elf.section_names[1].size(), 1024u);
    size_t at = l.out.data.find("/Section Name [  1]");
    ASSERT_NE(at, std::string::npos);
    size_t end = l.out.data.find("\r\n", at);
    EXPECT_LT(end - at, 1024u);
}

TEST(ElfReader, RealFixturesAgreeWithReadelf) {
    for (const char* name : {"arm_le.elf", "arm_be.elf", "sh4.elf"}) {
        std::vector<uint8_t> img = read_file_bytes(data_path(name));
        if (img.empty()) GTEST_SKIP() << "fixture missing";
        Loaded l;
        load(l, img);
        ASSERT_TRUE(l.accepted) << name;
        EXPECT_EQ(l.s.elf.dwarf_version, 2u) << name;
        EXPECT_NE(l.s.elf.info_index, 0) << name;
        EXPECT_NE(l.s.elf.line_index, 0) << name;
        if (!have_tool("readelf")) continue;
        std::string out = run_command("readelf -S -W " + data_path(name));
        for (size_t i = 1; i < l.s.elf.section_names.size(); ++i) {
            const std::string& sec = l.s.elf.section_names[i];
            EXPECT_NE(out.find("] " + sec + " "), std::string::npos) << name << " " << sec;
        }
    }
}

}  // namespace
