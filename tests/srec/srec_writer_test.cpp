// S-record formatting, loadable-section selection, load addresses and the
// termination record, from sessions filled by hand and from built ELF files.
#include <gtest/gtest.h>

#include <numeric>

#include "srec/srec_writer.h"
#include "srec/srec_decode.h"
#include "support/fixture.h"

namespace {

constexpr uint32_t kNobits = 8;  // SHT_NOBITS

std::string record(unsigned n, uint32_t address, unsigned type, const uint8_t* data) {
    OutText out;
    out_open_memory(out);
    write_srec_record(out, n, address, type, data);
    return out.data;
}

// A fixture with an accepted header and an image of `image_size` bytes
// counting up from 0, so a byte's value tells its file offset; the section
// and program header tables are filled by hand.
struct Hand : Fixture {
    explicit Hand(size_t image_size = 0x200, uint32_t entry = 0) {
        s.image.resize(image_size);
        std::iota(s.image.own().begin(), s.image.own().end(), static_cast<uint8_t>(0));
        s.elf.header_accepted = true;
        s.elf.header.e_entry = entry;
        add(0, 0, 0, 0, 0, "");  // the null section
    }
    void add(uint32_t type, uint32_t flags, uint32_t addr, uint32_t offset, uint32_t size, const std::string& name = ".sec") {
        SectionHeader sh{};
        sh.sh_type = type;
        sh.sh_flags = flags;
        sh.sh_addr = addr;
        sh.sh_offset = offset;
        sh.sh_size = size;
        s.elf.sections.push_back(sh);
        s.elf.section_names.push_back(name);
        s.elf.header.e_shnum = static_cast<uint32_t>(s.elf.sections.size());
    }
    void segment(uint32_t offset, uint32_t vaddr, uint32_t paddr) {
        ProgramHeader p{};
        p.p_type = 1;
        p.p_offset = offset;
        p.p_vaddr = vaddr;
        p.p_paddr = paddr;
        s.elf.program_headers.push_back(p);
    }
    std::string run(const std::string& name = "prog.mot") {
        out.data.clear();
        write_srec_file(s, out, name);
        return out.data;
    }
};

SectionHeader section_at(uint32_t addr, uint32_t offset) {
    SectionHeader sh{};
    sh.sh_type = SHT_PROGBITS;
    sh.sh_flags = SHF_ALLOC;
    sh.sh_addr = addr;
    sh.sh_offset = offset;
    return sh;
}

TEST(SrecRecord, HeaderRecordCarriesTheNameCutTo40Characters) {
    Hand h;
    std::string text = h.run("prog.mot");
    EXPECT_EQ(text, "S00B000070726F672E6D6F74BE\r\nS9030000FC\r\n");

    std::string long_name = "dir\\sub\\" + std::string(33, 'a') + ".mot";  // 45 characters
    ASSERT_EQ(long_name.size(), 45u);
    DecodedSrec d = decode_srec(Hand().run(long_name));
    ASSERT_EQ(d.error, "");
    EXPECT_EQ(d.records[0].substr(0, 4), "S02B");
    EXPECT_EQ(d.header, long_name.substr(0, 40));

    DecodedSrec empty = decode_srec(Hand().run(""));
    ASSERT_EQ(empty.error, "");
    EXPECT_EQ(empty.records[0], "S0030000FC");
}

TEST(SrecRecord, AddressWidthCountAndChecksumByType) {
    const uint8_t data[] = {0x01, 0x02, 0xAB};
    EXPECT_EQ(record(3, 0x1234, 1, data), "S10612340102AB05\r\n");
    EXPECT_EQ(record(3, 0x123456, 2, data), "S2071234560102ABAE\r\n");
    EXPECT_EQ(record(3, 0x12345678, 3, data), "S308123456780102AB35\r\n");
    EXPECT_EQ(record(0, 0x1000, 9, nullptr), "S9031000EC\r\n");
    EXPECT_EQ(record(0, 0x00FFFF00, 8, nullptr), "S804FFFF00FD\r\n");
    EXPECT_EQ(record(0, 0x80000000, 7, nullptr), "S705800000007A\r\n");
    // A sum whose low byte is 0xFF gives checksum 00; one of 0 gives FF.
    const uint8_t ff = 0xFB;
    EXPECT_EQ(record(1, 0, 1, &ff), "S1040000FB00\r\n");
    // An address wider than the type keeps only its low bytes, so the record stays well formed.
    EXPECT_EQ(record(0, 0x12345678, 9, nullptr), "S90356782E\r\n");
    EXPECT_EQ(decode_srec("S00300" "00FC\r\n" + record(0, 0x12345678, 9, nullptr)).error, "");
}

TEST(SrecFile, SectionIsSplitIntoRecordsOfSixteenBytes) {
    Hand h(0x200, 0x1000);
    h.add(SHT_PROGBITS, SHF_ALLOC | SHF_EXECINSTR, 0x1000, 0x40, 40, ".text");
    DecodedSrec d = decode_srec(h.run());
    ASSERT_EQ(d.error, "");
    ASSERT_EQ(d.records.size(), 5u);
    EXPECT_EQ(d.records[1].substr(0, 8), "S1131000");
    EXPECT_EQ(d.records[1].substr(8, 32), "404142434445464748494A4B4C4D4E4F");
    EXPECT_EQ(d.records[2].substr(0, 8), "S1131010");
    EXPECT_EQ(d.records[3], "S10B10206061626364656667A8");
    EXPECT_EQ(d.records[4], "S9031000EC");
    ASSERT_EQ(d.memory.size(), 40u);
    for (uint32_t i = 0; i < 40; ++i) EXPECT_EQ(d.memory[0x1000 + i], 0x40 + i);
}

TEST(SrecFile, RecordTypeFollowsEachRecordsOwnAddress) {
    Hand h;
    h.add(SHT_PROGBITS, SHF_ALLOC, 0xFFF8, 0x10, 24);
    h.add(SHT_PROGBITS, SHF_ALLOC, 0xFFFFF8, 0x30, 24);
    std::string text = h.run();
    DecodedSrec d = decode_srec(text);
    ASSERT_EQ(d.error, "");
    ASSERT_EQ(d.records.size(), 6u);
    EXPECT_EQ(d.records[1].substr(0, 8), "S113FFF8");
    EXPECT_EQ(d.records[2], "S20C010008" "2021222324252627" "CE");
    EXPECT_EQ(d.records[3].substr(0, 10), "S214FFFFF8");
    EXPECT_EQ(d.records[4].substr(0, 12), "S30D01000008");
    EXPECT_EQ(d.records[5], "S9030000FC");
}

TEST(SrecFile, OnlyProgbitsWithAllocWriteOrAllocExecAreLoaded) {
    Hand h;
    h.add(SHT_PROGBITS, SHF_ALLOC, 0x100, 0x00, 1, ".ro");                    // A
    h.add(SHT_PROGBITS, SHF_ALLOC | SHF_WRITE, 0x200, 0x01, 1, ".data");         // WA
    h.add(SHT_PROGBITS, SHF_ALLOC | SHF_EXECINSTR, 0x300, 0x02, 1, ".text");          // AX
    h.add(SHT_PROGBITS, SHF_ALLOC | SHF_WRITE | SHF_EXECINSTR, 0x400, 0x03, 1, ".rwx");  // WAX: not written
    h.add(kNobits, SHF_ALLOC | SHF_WRITE, 0x500, 0x04, 1, ".bss");
    h.add(SHT_PROGBITS, 0, 0x600, 0x05, 1, ".comment");
    h.add(SHT_PROGBITS, SHF_WRITE, 0x700, 0x06, 1, ".w");
    h.add(SHT_PROGBITS, SHF_EXECINSTR, 0x800, 0x07, 1, ".x");
    h.add(SHT_PROGBITS, 0x30 | SHF_ALLOC, 0x900, 0x08, 1, ".str");  // MERGE|STRINGS do not matter
    h.add(SHT_PROGBITS, 0x80000000u | SHF_ALLOC | SHF_EXECINSTR, 0xA00, 0x09, 1, ".hi");
    h.add(SHT_PROGBITS, 0x08 | SHF_ALLOC, 0xB00, 0x0A, 1, ".bit3");  // bit 3 is inside the low four
    h.add(SHT_PROGBITS, SHF_ALLOC, 0xC00, 0x0B, 0, ".empty");
    h.add(0x70000001, SHF_ALLOC, 0xD00, 0x0C, 1, ".arm_exidx");
    DecodedSrec d = decode_srec(h.run());
    ASSERT_EQ(d.error, "");
    std::map<uint32_t, uint8_t> expected = {{0x100, 0}, {0x200, 1}, {0x300, 2}, {0x900, 8}, {0xA00, 9}};
    EXPECT_EQ(d.memory, expected);
    EXPECT_EQ(d.data_records, 5u);
}

TEST(SrecFile, FileWithoutLoadableSectionsHoldsHeaderAndTermination) {
    Hand h(0x40, 0x00FFFF00);
    h.add(kNobits, SHF_ALLOC | SHF_WRITE, 0x20000000, 0x10, 0x100, ".bss");
    h.add(SHT_PROGBITS, 0x30, 0, 0x10, 0x10, ".comment");
    EXPECT_EQ(h.run(), "S00B000070726F672E6D6F74BE\r\nS804FFFF00FD\r\n");

    Hand none(0x40, 0x01000000);
    none.s.elf.sections.clear();
    EXPECT_EQ(none.run("a.mot"), "S0080000612E6D6F7418\r\nS70501000000F9\r\n");
}

TEST(SrecLoadAddress, SegmentStartMovesOnlyTheSectionAtItsStart) {
    Hand h;
    h.segment(0x40, 0xFFFF8000, 0x00004000);
    h.add(SHT_PROGBITS, SHF_ALLOC | SHF_WRITE, 0xFFFF8000, 0x40, 20, ".data");
    h.add(SHT_PROGBITS, SHF_ALLOC | SHF_WRITE, 0xFFFF8014, 0x54, 4, ".data2");
    DecodedSrec d = decode_srec(h.run());
    ASSERT_EQ(d.error, "");
    ASSERT_EQ(d.records.size(), 5u);
    EXPECT_EQ(d.records[1].substr(0, 8), "S1134000");
    EXPECT_EQ(d.records[2].substr(0, 8), "S1074010");
    EXPECT_EQ(d.records[3].substr(0, 12), "S309FFFF8014");
    EXPECT_EQ(d.memory[0x4000], 0x40);
    EXPECT_EQ(d.memory[0xFFFF8017], 0x57);
}

TEST(SrecLoadAddress, EveryConditionOfTheSegmentMustHold) {
    std::vector<ProgramHeader> ph(1);
    ph[0] = {1, 0x1000, 0x20000000, 0x0A30, 0x9C, 0x9C, 6, 0x1000};
    EXPECT_EQ(load_address(index_segments(ph), section_at(0x20000000, 0x1000)), 0x0A30u);
    // Another file offset, another virtual address: the section's own address.
    EXPECT_EQ(load_address(index_segments(ph), section_at(0x20000000, 0x1004)), 0x20000000u);
    EXPECT_EQ(load_address(index_segments(ph), section_at(0x20000004, 0x1000)), 0x20000004u);
    EXPECT_EQ(load_address(index_segments(ph), section_at(0x1FFFFFF0, 0x1000)), 0x1FFFFFF0u);
    // Physical address 0, or equal to the virtual one, never moves a section.
    ph[0].p_paddr = 0;
    EXPECT_EQ(load_address(index_segments(ph), section_at(0x20000000, 0x1000)), 0x20000000u);
    ph[0].p_paddr = 0x20000000;
    EXPECT_EQ(load_address(index_segments(ph), section_at(0x20000000, 0x1000)), 0x20000000u);
    // p_type is not looked at.
    ph[0].p_paddr = 0x800;
    ph[0].p_type = 6;
    EXPECT_EQ(load_address(index_segments(ph), section_at(0x20000000, 0x1000)), 0x800u);
}

TEST(SrecLoadAddress, FirstMatchingProgramHeaderWins) {
    std::vector<ProgramHeader> ph;
    ph.push_back({1, 0x2000, 0x30000000, 0x900, 0, 0, 6, 4});   // other offset
    ph.push_back({1, 0x1000, 0x20000000, 0, 0, 0, 6, 4});       // paddr 0: skipped
    ph.push_back({1, 0x1000, 0x20000000, 0x700, 0, 0, 6, 4});   // first match
    ph.push_back({1, 0x1000, 0x20000000, 0x500, 0, 0, 6, 4});
    ph.push_back({1, 0x1000, 0x10000000, 0x300, 0, 0, 6, 4});
    SegmentIndex index = index_segments(ph);
    EXPECT_EQ(load_address(index, section_at(0x20000000, 0x1000)), 0x700u);
    EXPECT_EQ(load_address(index, section_at(0x10000000, 0x1000)), 0x300u);
    EXPECT_EQ(load_address(index, section_at(0x30000000, 0x2000)), 0x900u);
    EXPECT_EQ(load_address(SegmentIndex{}, section_at(0x30000000, 0x2000)), 0x30000000u);
}

TEST(SrecFile, SectionBeyondTheImageWritesOnlyBytesInside) {
    Hand h(0x30);
    h.add(SHT_PROGBITS, SHF_ALLOC, 0x100, 0x20, 0x40, ".cut");     // 16 of 64 bytes inside
    h.add(SHT_PROGBITS, SHF_ALLOC, 0x200, 0x1000, 0x10, ".gone");  // wholly outside
    h.add(SHT_PROGBITS, SHF_ALLOC, 0x300, 0xFFFFFFF0, 0x20, ".wrap");
    h.add(SHT_PROGBITS, SHF_ALLOC, 0x400, 0x2C, 4, ".last");       // ends exactly at the end: no warning
    DecodedSrec d = decode_srec(h.run());
    ASSERT_EQ(d.error, "");
    EXPECT_EQ(d.data_records, 2u);
    EXPECT_EQ(d.memory.size(), 20u);
    EXPECT_EQ(d.memory[0x10F], 0x2F);
    EXPECT_EQ(d.memory.count(0x110), 0u);
    EXPECT_EQ(d.memory[0x403], 0x2F);
    EXPECT_EQ(h.s.console.text,
              "warning: section .cut reaches beyond the end of the file; the mot file holds only the bytes inside it\n"
              "warning: section .gone reaches beyond the end of the file; the mot file holds only the bytes inside it\n"
              "warning: section .wrap reaches beyond the end of the file; the mot file holds only the bytes inside it\n");
}

TEST(SrecFile, RejectedHeaderGivesHeaderAndZeroTermination) {
    Hand h(0x100, 0x1000);
    h.add(SHT_PROGBITS, SHF_ALLOC, 0x100, 0x20, 0x10);
    h.s.elf.header_accepted = false;
    EXPECT_EQ(h.run(), "S00B000070726F672E6D6F74BE\r\nS9030000FC\r\n");

    // The same through a whole run: a 64-bit class and a zero EI_DATA are both rejected.
    for (int variant = 0; variant < 2; ++variant) {
        ElfBuilder b;
        b.entry = 0x1000;
        b.add_section(".text", std::vector<uint8_t>(8, 0x11), SHT_PROGBITS, SHF_ALLOC | SHF_EXECINSTR, 0x1000);
        if (variant == 0) b.ei_class = 2;
        std::vector<uint8_t> image = b.build();
        if (variant == 1) image[5] = 0;
        RunResult r = run_in_memory({"-a", "prog.elf"}, "prog.elf", image);
        ASSERT_TRUE(r.has("prog.mot")) << variant;
        EXPECT_EQ(r.files.at("prog.mot"), "S00B000070726F672E6D6F74BE\r\nS9030000FC\r\n") << variant;
    }
}

TEST(SrecFile, WholeRunWritesTheMotFileOnlyWithOptionA) {
    for (bool big : {false, true}) {
        ElfBuilder b;
        b.big_endian = big;
        b.entry = 0x1000;
        int text = b.add_section(".text", std::vector<uint8_t>{1, 2, 3, 4, 5}, SHT_PROGBITS, SHF_ALLOC | SHF_EXECINSTR, 0x1000);
        int data = b.add_section(".data", std::vector<uint8_t>{0xAA, 0xBB}, SHT_PROGBITS, SHF_ALLOC | SHF_WRITE, 0x20000000);
        b.add_section(".bss", {}, kNobits, SHF_ALLOC | SHF_WRITE, 0x20000004);
        ElfBuilder::Segment flash;
        flash.section = text;
        flash.vaddr = flash.paddr = 0x1000;
        ElfBuilder::Segment ram;
        ram.section = data;
        ram.vaddr = 0x20000000;
        ram.paddr = 0x1008;
        b.segments = {flash, ram};
        std::vector<uint8_t> image = b.build();

        RunResult r = run_in_memory({"-a", "dir\\prog.elf"}, "dir\\prog.elf", image);
        ASSERT_TRUE(r.has("dir\\prog.mot"));
        EXPECT_EQ(r.files.at("dir\\prog.mot"),
                  "S00F0000" "6469725C70726F672E6D6F74" "1F\r\n"
                  "S10810000102030405D8\r\n"
                  "S1051008AABB7D\r\n"
                  "S9031000EC\r\n");
        RunResult plain = run_in_memory({"dir\\prog.elf"}, "dir\\prog.elf", image);
        EXPECT_FALSE(plain.has("dir\\prog.mot"));
    }
}

}  // namespace
