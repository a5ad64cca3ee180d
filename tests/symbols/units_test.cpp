#include <gtest/gtest.h>

#include <sstream>

#include "support/fixture.h"
#include "symbols/dwarf_names.h"
#include "symbols/symbol_table.h"
#include "symbols/units.h"

namespace {

const AbbrevSlot* decl(const Fixture& f, uint32_t code) { return find_abbreviation(f.s.sym->abbrevs, code); }

// A unit without DIEs (its length covers the header only).
void empty_unit(ByteWriter& w, uint32_t abbrev_offset, uint16_t version = 2) {
    size_t at = begin_unit(w, version, abbrev_offset);
    w.patch_length32(at);
}

std::string hex4(size_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%04zX", v);
    return b;
}

TEST(Units, HeaderAndDeclarationTraceIsTheSameInBothByteOrders) {
    for (bool be : {false, true}) {
        DwarfBuilder d(be);
        d.abbrev.uleb(1).uleb(DW_TAG_compile_unit).u8(DW_CHILDREN_yes);
        d.abbrev.uleb(DW_AT_name).uleb(DW_FORM_string).uleb(DW_AT_low_pc).uleb(DW_FORM_addr).u8(0).u8(0);
        d.abbrev.uleb(2).uleb(DW_TAG_base_type).u8(DW_CHILDREN_no).u8(0).u8(0);  // no attribute specifications
        d.abbrev.u8(0);
        empty_unit(d.info, 0);
        Fixture s(d.image(), true);
        const int ii = d.info_index, ai = d.abbrev_index;
        walk_units(s.s, s.out);
        const size_t info = s.section_offset(ii), abbrev = s.section_offset(ai);
        std::string expected = "/[" + hex4(info) +
                               "]<<<<<<<<<<<<<<<<<<<< .debug_info Section [  0] >>>>>>>>>>>>>>>>>>>>\n"
                               "/length             0x00000007 \n"
                               "/version            0x0002 \n"
                               "/offset             0x00000000 \n"
                               "/size               0x04 \n"
                               "/----- .debug_addrev Section [  1] [" + hex4(abbrev) + "]-\n"
                               "/Entry              0x0001 \n"
                               "/Tag                0x0011 \n"
                               "/Childe             0x01 \n"
                               "/DW_AT_name(0x03)                  DW_FORM_string(0x08)    \n"
                               "/DW_AT_low_pc(0x11)                DW_FORM_addr(0x01)      \n"
                               "/----- .debug_addrev Section [  2] [" + hex4(abbrev + 9) + "]-\n"
                               "/Entry              0x0002 \n"
                               "/Tag                0x0024 \n"
                               "/Childe             0x00 \n";
        EXPECT_EQ(s.text(), expected) << (be ? "big-endian" : "little-endian");
        EXPECT_EQ(s.console(), expected);
        // The table holds the positions and decoded heads of both declarations.
        const AbbrevSlot* one = decl(s, 1);
        ASSERT_NE(one, nullptr);
        EXPECT_EQ(one->pos, abbrev);
        EXPECT_EQ(one->tag, DW_TAG_compile_unit);
        EXPECT_EQ(one->children, DW_CHILDREN_yes);
        EXPECT_EQ(one->pairs, abbrev + 3);
        const AbbrevSlot* two = decl(s, 2);
        ASSERT_NE(two, nullptr);
        EXPECT_EQ(two->children, DW_CHILDREN_no);
        EXPECT_EQ(decl(s, 0), nullptr);
        EXPECT_EQ(decl(s, 3), nullptr);
    }
}

TEST(Units, NothingWithoutTraceMode) {
    DwarfBuilder d(false);
    d.abbrev.uleb(1).uleb(DW_TAG_base_type).u8(0).u8(0).u8(0).u8(0);
    empty_unit(d.info, 0);
    Fixture s(d.image(), false);
    walk_units(s.s, s.out);
    EXPECT_EQ(s.out.data, "");
    EXPECT_EQ(s.console(), "");
    EXPECT_NE(decl(s, 1), nullptr);
}

TEST(Units, LargeCodesDuplicatesAndCodesWithoutSlot) {
    DwarfBuilder d(false);
    d.abbrev.uleb(200).uleb(DW_TAG_variable).u8(0).u8(0).u8(0);
    d.abbrev.uleb(300).uleb(DW_TAG_member).u8(0).u8(0).u8(0);
    d.abbrev.uleb(5000).uleb(DW_TAG_typedef).u8(0).u8(0).u8(0);  // no slot
    d.abbrev.uleb(200).uleb(DW_TAG_label).u8(0).u8(0).u8(0);     // replaces the first
    d.abbrev.uleb(0x10000 + 7).uleb(0x4081).u8(0).u8(0).u8(0);   // shown by its low 16 bits
    d.abbrev.u8(0);
    empty_unit(d.info, 0);
    Fixture s(d.image(), true);
    walk_units(s.s, s.out);
    ASSERT_NE(decl(s, 200), nullptr);
    EXPECT_EQ(decl(s, 200)->tag, DW_TAG_label);
    ASSERT_NE(decl(s, 300), nullptr);
    EXPECT_EQ(decl(s, 300)->tag, DW_TAG_member);
    EXPECT_EQ(decl(s, 5000), nullptr);
    EXPECT_EQ(decl(s, 5000 & 1023), nullptr);
    EXPECT_EQ(decl(s, 7), nullptr);
    std::string t = s.text();
    EXPECT_NE(t.find("/----- .debug_addrev Section [ 300] ["), std::string::npos);
    EXPECT_NE(t.find("/----- .debug_addrev Section [ 5000] ["), std::string::npos);
    EXPECT_NE(t.find("/Entry              0x012C \n/Tag                0x000D \n"), std::string::npos);
    EXPECT_NE(t.find("/Entry              0x0007 \n/Tag                0x4081 \n"), std::string::npos);
    EXPECT_EQ(s.console().find("warning"), std::string::npos);
}

TEST(Units, TwoUnitsEachWithItsOwnDeclarations) {
    DwarfBuilder d(true);
    // Unit 1: code 1 is a compile unit; unit 2: code 1 is a base type.
    d.abbrev.uleb(1).uleb(DW_TAG_compile_unit).u8(0).uleb(DW_AT_name).uleb(DW_FORM_string).u8(0).u8(0);
    d.abbrev.u8(0);
    const uint32_t second = static_cast<uint32_t>(d.abbrev.size());
    d.abbrev.uleb(1).uleb(DW_TAG_base_type).u8(0).uleb(DW_AT_byte_size).uleb(DW_FORM_data1).u8(0).u8(0);
    d.abbrev.uleb(2).uleb(DW_TAG_variable).u8(0).u8(0).u8(0);
    d.abbrev.u8(0);
    size_t at = begin_unit(d.info, 2, 0);
    d.info.uleb(1).cstr("a.c");
    d.info.patch_length32(at);
    const size_t unit2 = d.info.size();
    at = begin_unit(d.info, 2, second);
    d.info.uleb(1).u8(4);
    d.info.patch_length32(at);
    Fixture s(d.image(), true);
    const int ii = d.info_index;
    walk_units(s.s, s.out);
    const size_t info = s.section_offset(ii);
    std::string t = s.text();
    size_t u1 = t.find("/[" + hex4(info) + "]<<<<<<<<<<<<<<<<<<<< .debug_info Section [  0] >>>");
    size_t u2 = t.find("/[" + hex4(info + unit2) + "]<<<<<<<<<<<<<<<<<<<< .debug_info Section [  1] >>>");
    ASSERT_NE(u1, std::string::npos);
    ASSERT_NE(u2, std::string::npos);
    std::string first = t.substr(u1, u2 - u1), rest = t.substr(u2);
    EXPECT_NE(first.find("Tag[DW_TAG_compiler_unit(0x11)"), std::string::npos);
    EXPECT_EQ(first.find("DW_TAG_base_type"), std::string::npos);
    EXPECT_NE(rest.find("Tag[DW_TAG_base_type(0x24)"), std::string::npos);
    EXPECT_EQ(rest.find("DW_TAG_compiler_unit"), std::string::npos);
    // The second unit's load cleared the first unit's declarations.
    EXPECT_EQ(decl(s, 1)->tag, DW_TAG_base_type);
    // Unit table: starts and ends inside .debug_info.
    const UnitTable& u = s.s.sym->units;
    ASSERT_EQ(u.slots.size(), 2u);
    EXPECT_EQ(u.slots[0].start, 0u);
    EXPECT_EQ(u.slots[0].end, unit2 - 1);
    EXPECT_EQ(u.slots[1].start, unit2);
    EXPECT_EQ(u.slots[1].end, d.info.size() - 1);
    EXPECT_EQ(u.current, 1u);
}

TEST(Units, ListEndsAtItsZeroCodeNotAtTheSectionEnd) {
    DwarfBuilder d(false);
    d.abbrev.uleb(1).uleb(DW_TAG_variable).u8(0).u8(0).u8(0).u8(0);
    d.abbrev.uleb(2).uleb(DW_TAG_member).u8(0).u8(0).u8(0).u8(0);  // the next unit's list
    empty_unit(d.info, 0);
    Fixture s(d.image(), true);
    walk_units(s.s, s.out);
    EXPECT_NE(decl(s, 1), nullptr);
    EXPECT_EQ(decl(s, 2), nullptr);
    EXPECT_EQ(count_of(s.text(), "/----- .debug_addrev"), 1u);
}

TEST(Units, MissingSections) {
    DwarfBuilder d(false);
    d.with_abbrev = false;
    empty_unit(d.info, 0);
    empty_unit(d.info, 0);
    Fixture s(d.image(), true);
    walk_units(s.s, s.out);
    // The first header is traced, then the loop stops.
    EXPECT_EQ(count_of(s.text(), "<<<<<<<<<<<<<<<<<<<< .debug_info Section"), 1u);
    EXPECT_EQ(count_of(s.text(), "/length"), 1u);
    EXPECT_EQ(s.console().find("warning"), std::string::npos);

    ElfBuilder b;
    b.add_section(".debug_abbrev", {1, 0x34, 0, 0, 0, 0});
    Fixture none(b.build(), true);
    walk_units(none.s, none.out);
    EXPECT_EQ(none.out.data, "");
    EXPECT_EQ(none.console(), "");
}

TEST(Units, Version6UnitIsTracedAndSkipped) {
    DwarfBuilder d(false);
    d.abbrev.uleb(1).uleb(DW_TAG_variable).u8(0).u8(0).u8(0).u8(0);
    size_t at = begin_unit(d.info, 6, 0);
    d.info.fill(6, 0x01);  // DIEs the reader must not decode
    d.info.patch_length32(at);
    empty_unit(d.info, 0);
    Fixture s(d.image(), true);
    walk_units(s.s, s.out);
    std::string t = s.text();
    EXPECT_EQ(count_of(t, "<<<<<<<<<<<<<<<<<<<< .debug_info Section"), 2u);
    EXPECT_NE(t.find("/version            0x0006 \n"), std::string::npos);
    EXPECT_EQ(count_of(t, "Tag["), 0u);
    EXPECT_EQ(s.warning_lines(), std::vector<std::string>{"compilation unit at offset 0x0 of .debug_info has DWARF "
                                                          "version 6, which is not supported; its entries are skipped "
                                                          "(compile with -gdwarf-5 or earlier to have them converted)"});
    EXPECT_EQ(s.s.sym->units.slots.size(), 2u);
}

TEST(Units, UnitLongerThanTheSectionStopsThere) {
    DwarfBuilder d(false);
    d.abbrev.uleb(1).uleb(DW_TAG_variable).u8(0).u8(0).u8(0).u8(0);
    begin_unit(d.info, 2, 0);
    d.info.patch32(0, 1000);
    d.info.uleb(0);
    d.info.uleb(0);
    Fixture s(d.image(), true);
    walk_units(s.s, s.out);
    EXPECT_EQ(count_of(s.text(), "<<<<<<<<<<<<<<<<<<<< .debug_info Section"), 1u);
    EXPECT_EQ(s.warning_lines(),
              std::vector<std::string>{"compilation unit at offset 0x0 of .debug_info runs past the end of "
                                       ".debug_info; its entries are read up to the section end"});
    ASSERT_EQ(s.s.sym->units.slots.size(), 1u);
    EXPECT_EQ(s.s.sym->units.slots[0].end, d.info.size() - 1);
}

// Each broken header gets its one warning; the units after it are still read.
TEST(Units, BrokenHeadersWarnOnce) {
    struct Case {
        const char* what;
        bool big_endian;
        std::vector<uint8_t> info;  // before one empty unit
        size_t units_traced;
        const char* warning;
    } cases[] = {
        {"header cut by the section end", true, {0, 0, 0, 20, 0, 2, 0}, 1,
         "compilation-unit header at offset 0x0 of .debug_info is cut off by the end of the section"},
        {"64-bit DWARF", false, {0xFF, 0xFF, 0xFF, 0xFF, 7, 0, 0, 0, 0, 0, 0, 0, 2, 0}, 1,
         "compilation unit at offset 0x0 of .debug_info uses the 64-bit DWARF format, which is not supported; "
         "the rest of .debug_info is skipped"},
        {"abbreviation offset outside .debug_abbrev", false, {7, 0, 0, 0, 2, 0, 0, 5, 0, 0, 4}, 2,
         "compilation unit at offset 0x0 of .debug_info names an abbreviation offset outside .debug_abbrev; "
         "its entries are skipped"},
        {"unit_length shorter than the header", false, {3, 0, 0, 0, 2, 0, 0}, 2,
         "compilation unit at offset 0x0 of .debug_info is shorter than its header"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DwarfBuilder d(c.big_endian);
        d.abbrev.uleb(1).uleb(DW_TAG_variable).u8(0).u8(0).u8(0).u8(0);
        d.info.raw(c.info);
        if (c.units_traced > 1) empty_unit(d.info, 0);
        Fixture s(d.image(), true);
        walk_units(s.s, s.out);
        EXPECT_EQ(count_of(s.text(), "<<<<<<<<<<<<<<<<<<<< .debug_info Section"), c.units_traced);
        EXPECT_EQ(s.warning_lines(), std::vector<std::string>{c.warning});
    }
    // The cut header is traced as far as it goes, missing bytes as 0.
    DwarfBuilder d(true);
    d.abbrev.u8(0);
    d.info.u32(20).u16(2).u8(0);
    Fixture s(d.image(), true);
    walk_units(s.s, s.out);
    EXPECT_NE(s.text().find("/offset             0x00000000 \n/size               0x00 \n"), std::string::npos);
}

TEST(Units, CutDeclarationStopsWithOneWarning) {
    DwarfBuilder d(false);
    d.abbrev.uleb(1).uleb(DW_TAG_variable).u8(0).uleb(DW_AT_name).uleb(DW_FORM_string).uleb(DW_AT_type);
    empty_unit(d.info, 0);
    Fixture s(d.image(), true);
    walk_units(s.s, s.out);
    std::string t = s.text();
    EXPECT_NE(t.find("/DW_AT_name(0x03)                  DW_FORM_string(0x08)    \n"), std::string::npos);
    EXPECT_EQ(s.warning_lines(), std::vector<std::string>{"abbreviation declaration at offset 0x0 of .debug_abbrev "
                                                          "is cut off by the end of the section"});
    // What was read stays usable.
    ASSERT_NE(decl(s, 1), nullptr);
    EXPECT_EQ(decl(s, 1)->tag, DW_TAG_variable);
}

TEST(Units, TableGrowsPast4096UnitsAndFindsTheUnitOfAnOffset) {
    DwarfBuilder d(false);
    d.abbrev.uleb(1).uleb(DW_TAG_variable).u8(0).u8(0).u8(0).u8(0);
    for (int i = 0; i < 5000; ++i) empty_unit(d.info, 0);
    Fixture s(d.image(), false);
    walk_units(s.s, s.out);
    UnitTable& u = s.s.sym->units;
    ASSERT_EQ(u.slots.size(), 5000u);
    EXPECT_EQ(u.slots[4500].start, 4500u * 11);
    EXPECT_EQ(u.slots[4999].end, 5000u * 11 - 1);
    // As while walking unit 4700: an offset inside unit 4500 finds it, an
    // offset inside the current unit (end still 0) finds the current one.
    u.slots[4700].end = 0;
    EXPECT_EQ(unit_start_for_offset(u, 4700, 4500 * 11 + 5), 4500u * 11);
    EXPECT_EQ(unit_start_for_offset(u, 4700, 4500 * 11), 4500u * 11);
    EXPECT_EQ(unit_start_for_offset(u, 4700, 4500 * 11 + 10), 4500u * 11);
    EXPECT_EQ(unit_start_for_offset(u, 4700, 3), 0u);
    EXPECT_EQ(unit_start_for_offset(u, 4700, 4700 * 11 + 9), 4700u * 11);
    EXPECT_EQ(unit_start_for_offset(u, 4700, 99999), 4700u * 11);  // nothing later is searched
    EXPECT_EQ(unit_start_for_offset(u, 0, 4500 * 11), 0u);
}

// The unit headers and declarations of a real file, against readelf.
TEST(Units, FixtureMatchesReadelf) {
    if (!have_tool("readelf")) GTEST_SKIP() << "readelf not installed";
    for (const char* name : {"arm_le.elf", "arm_be.elf", "sh4.elf"}) {
        std::vector<uint8_t> bytes = read_file_bytes(data_path(name));
        if (bytes.empty()) GTEST_SKIP() << name << " missing";
        Fixture s(bytes, true);
        walk_units(s.s, s.out);
        std::string t = s.text();
        EXPECT_EQ(s.console().find("warning"), std::string::npos) << name;

        // Unit offsets and abbreviation offsets.
        std::string info = run_command("readelf --debug-dump=info " + data_path(name) + " 2>/dev/null");
        std::vector<std::string> readelf_units, our_units;
        std::istringstream in(info);
        std::string line;
        while (std::getline(in, line)) {
            size_t at = line.find("Compilation Unit @ offset ");
            if (at != std::string::npos) {
                unsigned long off = std::stoul(line.substr(at + 26), nullptr, 16);
                readelf_units.push_back(hex4(s.s.elf.info_start + off));
            }
            at = line.find("Abbrev Offset:");
            if (at != std::string::npos) {
                unsigned long off = std::stoul(line.substr(at + 14), nullptr, 16);
                char b[64];
                std::snprintf(b, sizeof b, "/offset             0x%08lX \n", off);
                EXPECT_NE(t.find(b), std::string::npos) << name << " " << b;
            }
        }
        std::istringstream ours(t);
        while (std::getline(ours, line)) {
            if (line.find("<<<<<<<<<<<<<<<<<<<< .debug_info Section") != std::string::npos)
                our_units.push_back(line.substr(2, line.find(']') - 2));
        }
        EXPECT_EQ(our_units, readelf_units) << name;

        // Declaration codes, children flags and attribute counts, in
        // section order (the fixtures give every unit its own list).
        std::string abbrev = run_command("readelf --debug-dump=abbrev " + data_path(name) + " 2>/dev/null");
        std::vector<std::string> theirs, mine;
        std::istringstream ain(abbrev);
        while (std::getline(ain, line)) {
            std::istringstream words(line);
            std::string first, second, third;
            words >> first >> second >> third;
            if (!first.empty() && std::isdigit(static_cast<unsigned char>(first[0])) && second.rfind("DW_TAG", 0) == 0) {
                theirs.push_back(first + (line.find("[has children]") != std::string::npos ? " yes" : " no"));
            } else if (first.rfind("DW_AT_", 0) == 0 && !theirs.empty()) {
                theirs.back() += " a";
            }
        }
        std::istringstream min(t);
        while (std::getline(min, line)) {
            if (line.rfind("/----- .debug_addrev Section [", 0) == 0) {
                mine.push_back(std::to_string(std::stoul(line.substr(30))));
            } else if (line.rfind("/Childe", 0) == 0 && !mine.empty()) {
                mine.back() += line.find("0x01") != std::string::npos ? " yes" : " no";
            } else if (line.rfind("/DW_AT_", 0) == 0 && !mine.empty()) {
                mine.back() += " a";
            }
        }
        EXPECT_EQ(mine, theirs) << name;
        EXPECT_GT(mine.size(), 10u) << name;
    }
}

}  // namespace
