// Units of DWARF 5 from bytes: values read through the unit's tables
// (strx, addrx, line_strp, loclistx, rnglistx), implicit constants, the
// entries of .debug_loclists and .debug_rnglists, and the unit types that
// are skipped.
#include <gtest/gtest.h>

#include "common/dwarf_codes.h"
#include "symbols/sym_test_util.h"

namespace {

using symtest::Conversion;
using symtest::convert;
using symtest::Record;

enum : uint32_t { A_cu = 1, A_base, A_var, A_func, A_local };

// A unit of DWARF 5 with its tables: strings at .debug_str_offsets index
// 0 ("main.c") and 1 ("counter"), addresses at .debug_addr index 0
// (0x1000), 1 (0x20000010), 2 (0x1040); both tables behind an 8-byte
// header. .debug_line_str holds "int".
struct Unit5 {
    DwarfBuilder f;
    explicit Unit5(bool big_endian = false) : f(big_endian) {
        ByteWriter& str = f.section(".debug_str");
        str.cstr("main.c").cstr("counter");
        f.section(".debug_str_offsets").u32(12).u16(5).u16(0).u32(0).u32(7);
        f.section(".debug_addr").u32(16).u16(5).u8(4).u8(0).u32(0x1000).u32(0x20000010).u32(0x1040);
        f.section(".debug_line_str").cstr("int");
    }
};

const Record& find(const Conversion& c, const std::string& name) {
    const Record* r = c.find(name);
    static const Record none;
    EXPECT_TRUE(r) << "no record " << name << "\n" << c.sym;
    return r ? *r : none;
}

std::vector<std::string> warnings(const Conversion& c) {
    std::vector<std::string> lines;
    const std::string& text = c.run.console;
    for (size_t pos = text.find("warning: "); pos != std::string::npos; pos = text.find("warning: ", pos + 1))
        lines.push_back(text.substr(pos, text.find('\n', pos) - pos));
    return lines;
}

// The unit's DIE names its bases after the name that needs one; the
// high_pc is an offset from low_pc; the variable's address is an index.
TEST(Dwarf5, ValuesReadThroughTheUnitTables) {
    Unit5 u;
    DwarfBuilder& f = u.f;
    f.declare(A_cu, DW_TAG_compile_unit, true,
              {{DW_AT_name, DW_FORM_strx1}, {DW_AT_low_pc, DW_FORM_addrx}, {DW_AT_high_pc, DW_FORM_data4},
               {DW_AT_str_offsets_base, DW_FORM_sec_offset}, {DW_AT_addr_base, DW_FORM_sec_offset}});
    // The byte size stands in the declaration.
    f.abbrev.uleb(A_base).uleb(DW_TAG_base_type).u8(0).uleb(DW_AT_byte_size).uleb(DW_FORM_implicit_const).sleb(4);
    f.abbrev.uleb(DW_AT_encoding).uleb(DW_FORM_data1).uleb(DW_AT_name).uleb(DW_FORM_line_strp).u8(0).u8(0);
    f.declare(A_var, DW_TAG_variable, false,
              {{DW_AT_name, DW_FORM_strx2}, {DW_AT_external, DW_FORM_flag_present}, {DW_AT_type, DW_FORM_ref4},
               {DW_AT_location, DW_FORM_exprloc}});
    f.end_abbrevs();
    f.begin_unit(4, 5);
    f.info.uleb(A_cu).u8(0).uleb(0).u32(0x80).u32(8).u32(8);
    f.label("int");
    f.info.uleb(A_base).u8(DW_ATE_signed).u32(0);
    f.info.uleb(A_var).u16(1);
    f.ref4("int");
    f.info.u8(2).u8(DW_OP_addrx).u8(1);
    f.info.u8(0);
    f.end_unit();

    Conversion c = convert(f.image());
    EXPECT_EQ(warnings(c), std::vector<std::string>{});
    const Record& unit = find(c, "main.c");
    EXPECT_EQ(unit["fstart"], "0x1000");
    EXPECT_EQ(unit["fend"], "0x1080");
    const Record& var = find(c, "counter");
    EXPECT_EQ(var["ident"], "VARIABLE");
    EXPECT_EQ(var["location"], "0x20000010");
    EXPECT_EQ(var["typen"], "int");
    EXPECT_EQ(var["one_byte"], "4");
    EXPECT_NE(c.sym.find("/Dwarf-Version[5]"), std::string::npos);
}

// One list per entry kind that gives a range, each read to the same row
// (register 0 over [0x1010, 0x1020)); the base comes from the unit's
// low_pc, base_addressx or base_address.
TEST(Dwarf5, LocationListEntriesGiveTheirRanges) {
    struct Case {
        const char* what;
        std::vector<uint8_t> entries;  // before DW_LLE_end_of_list
    };
    const Case cases[] = {
        {"offset_pair from the unit's low_pc", {DW_LLE_offset_pair, 0x10, 0x20}},
        {"base_addressx, offset_pair", {DW_LLE_base_addressx, 2, DW_LLE_offset_pair, 0x00, 0x10}},
        {"startx_length", {DW_LLE_startx_length, 0, 0x10}},
        {"startx_endx", {DW_LLE_startx_endx, 0, 2}},
        {"start_end", {DW_LLE_start_end, 0x10, 0x10, 0, 0, 0x20, 0x10, 0, 0}},
        {"start_length", {DW_LLE_start_length, 0x10, 0x10, 0, 0, 0x10}},
        {"base_address, offset_pair", {DW_LLE_base_address, 0x00, 0x10, 0, 0, DW_LLE_offset_pair, 0x10, 0x20}},
        {"view pair, offset_pair", {DW_LLE_GNU_view_pair, 0x81, 0x01, 2, DW_LLE_offset_pair, 0x10, 0x20}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Unit5 u;
        DwarfBuilder& f = u.f;
        // .debug_addr index 0 is 0x1000 and index 2 is 0x1040: the startx
        // cases measure from 0x1000, base_addressx moves the base to 0x1040.
        ByteWriter& lists = f.section(".debug_loclists");
        lists.u32(0).u16(5).u8(4).u8(0).u32(1).u32(4);  // one offset: the list right after it
        lists.raw(k.entries);
        lists.u8(1).u8(DW_OP_reg0).u8(DW_LLE_end_of_list);
        lists.patch_length32(0);
        f.declare(A_cu, DW_TAG_compile_unit, true,
                  {{DW_AT_name, DW_FORM_strx1}, {DW_AT_low_pc, DW_FORM_addr}, {DW_AT_high_pc, DW_FORM_addr},
                   {DW_AT_str_offsets_base, DW_FORM_sec_offset}, {DW_AT_addr_base, DW_FORM_sec_offset},
                   {DW_AT_loclists_base, DW_FORM_sec_offset}});
        f.declare(A_local, DW_TAG_variable, false, {{DW_AT_name, DW_FORM_string}, {DW_AT_location, DW_FORM_loclistx}});
        f.end_abbrevs();
        f.begin_unit(4, 5);
        f.info.uleb(A_cu).u8(0).u32(0x1000).u32(0x1100).u32(8).u32(8).u32(12);
        f.info.uleb(A_local).cstr("r").uleb(0);
        f.info.u8(0);
        f.end_unit();

        Conversion c = convert(f.image());
        EXPECT_EQ(warnings(c), std::vector<std::string>{});
        const Record& r = find(c, "r");
        EXPECT_EQ(r["ident"], "LOCAL_R");
        ASSERT_EQ(r.floc.size(), 1u) << c.sym;
        const bool from_1040 = k.entries[0] == DW_LLE_base_addressx;
        const bool from_1000 = k.entries[0] == DW_LLE_startx_length || k.entries[0] == DW_LLE_startx_endx;
        EXPECT_EQ(r.floc[0], from_1040   ? "0 0x1040 0x1050 0x50 0 0"
                             : from_1000 ? (k.entries[0] == DW_LLE_startx_endx ? "0 0x1000 0x1040 0x50 0 0"
                                                                                : "0 0x1000 0x1010 0x50 0 0")
                                         : "0 0x1010 0x1020 0x50 0 0");
    }
}

// A unit given by DW_AT_ranges takes the first range of its list; a later
// low_pc (GCC writes 0) is only the base. A function takes its first range
// as well.
TEST(Dwarf5, RangeListsGiveTheFirstRange) {
    Unit5 u;
    DwarfBuilder& f = u.f;
    ByteWriter& lists = f.section(".debug_rnglists");
    lists.u32(0).u16(5).u8(4).u8(0).u32(1).u32(4);
    lists.u8(DW_RLE_base_addressx).u8(0).u8(DW_RLE_offset_pair).u8(0x20).u8(0x60);
    lists.u8(DW_RLE_start_length).u32(0x20000000).u8(0x40).u8(DW_RLE_end_of_list);
    const uint32_t function_list = static_cast<uint32_t>(lists.size());
    lists.u8(DW_RLE_start_end).u32(0x1080).u32(0x10A0).u8(DW_RLE_end_of_list);
    lists.patch_length32(0);
    f.declare(A_cu, DW_TAG_compile_unit, true,
              {{DW_AT_name, DW_FORM_strx1}, {DW_AT_ranges, DW_FORM_rnglistx}, {DW_AT_low_pc, DW_FORM_addr},
               {DW_AT_str_offsets_base, DW_FORM_sec_offset}, {DW_AT_addr_base, DW_FORM_sec_offset},
               {DW_AT_rnglists_base, DW_FORM_sec_offset}});
    f.declare(A_func, DW_TAG_subprogram, false, {{DW_AT_name, DW_FORM_string}, {DW_AT_ranges, DW_FORM_sec_offset}});
    f.declare(A_local, DW_TAG_variable, false, {{DW_AT_name, DW_FORM_string}, {DW_AT_location, DW_FORM_sec_offset}});
    f.end_abbrevs();
    // The unit's lists count from its low_pc (0), not from its first range.
    f.section(".debug_loclists").u8(DW_LLE_offset_pair).uleb(0x1030).uleb(0x1040).u8(1).u8(DW_OP_reg0).u8(0);
    f.begin_unit(4, 5);
    f.info.uleb(A_cu).u8(0).uleb(0).u32(0).u32(8).u32(8).u32(12);
    f.info.uleb(A_func).cstr("cold").u32(function_list);
    f.info.uleb(A_local).cstr("v").u32(0);
    f.info.u8(0);
    f.end_unit();

    Conversion c = convert(f.image());
    EXPECT_EQ(warnings(c), std::vector<std::string>{});
    const Record& unit = find(c, "main.c");
    EXPECT_EQ(unit["fstart"], "0x1020");
    EXPECT_EQ(unit["fend"], "0x1060");
    const Record& func = find(c, "cold");
    EXPECT_EQ(func["location"], "0x1080");
    EXPECT_EQ(func["ident"], "S_PROGRAM");
    EXPECT_EQ(find(c, "v").floc, std::vector<std::string>{"0 0x1030 0x1040 0x50 0 0"});
}

// The trace shows the header of version 5, an implicit constant with its
// value, a value read through a table with its index, and list entries
// without an expression.
TEST(Dwarf5, TraceLines) {
    Unit5 u;
    DwarfBuilder& f = u.f;
    f.section(".debug_loclists").u8(DW_LLE_base_address).u32(0x1000).u8(DW_LLE_offset_pair).u8(0).u8(2)
        .u8(1).u8(DW_OP_reg0 + 1).u8(DW_LLE_end_of_list);
    f.abbrev.uleb(A_cu).uleb(DW_TAG_compile_unit).u8(1).uleb(DW_AT_name).uleb(DW_FORM_string);
    f.abbrev.uleb(DW_AT_language).uleb(DW_FORM_implicit_const).sleb(12).u8(0).u8(0);
    f.declare(A_local, DW_TAG_variable, false,
              {{DW_AT_name, DW_FORM_string}, {DW_AT_location, DW_FORM_sec_offset}, {DW_AT_low_pc, DW_FORM_addrx1}});
    f.end_abbrevs();
    f.begin_unit(4, 5);
    f.info.uleb(A_cu).cstr("t.c");
    f.info.uleb(A_local).cstr("r").u32(0).u8(1);
    f.info.u8(0);
    f.end_unit();

    Conversion c = convert(f.image(), {"-d"});
    for (const char* line : {"/unit_type          0x01 \n", "/size               0x04 \n",
                             "/DW_AT_language(0x13)              DW_FORM_implicit_const(0x21) 0xC\n",
                             "/[0x0000] DW_LLE_base_address(0x06) base[0x00001000]\n",
                             "/[0x0005] beginning[0x00001000] ending[0x00001002] DW_OP_regn(0x51)",
                             "DW_FORM_addrx1(0x29)     index(0x1) [0x20000010] "}) {
        EXPECT_NE(c.sym.find(line), std::string::npos) << line << "\n" << c.sym;
    }
}

// What cannot be read gives one warning each and leaves the rest alone.
TEST(Dwarf5, BrokenTablesAndSkippedUnitsWarnOnce) {
    struct Case {
        const char* what;
        uint8_t unit_type;
        std::vector<uint8_t> list;  // the variable's .debug_loclists list
        uint8_t address_index;      // of the second variable's DW_OP_addrx
        const char* warning;
    };
    const Case cases[] = {
        {"skeleton unit", DW_UT_skeleton, {0}, 0, "is a skeleton unit whose entries stand in a split DWARF file"},
        {"type unit", DW_UT_type, {0}, 0, "is a type unit"},
        {"unknown unit type", 0x80, {0}, 0, "has a unit type this reader does not know"},
        {"unknown entry", DW_UT_compile, {0x0A}, 0, "location list entry of unknown kind 0x0A"},
        {"cut entry", DW_UT_compile, {DW_LLE_start_end, 0x10}, 0, "location list entry cut by the end"},
        {"no end", DW_UT_compile, {DW_LLE_offset_pair, 0, 1, 0}, 0, "location list has no end-of-list entry"},
        {"address index", DW_UT_compile, {0}, 9, "value whose index names no entry of its table"},
        {"list address index", DW_UT_compile, {DW_LLE_startx_length, 7, 1, 0, 0}, 0,
         "location list entry names an address outside .debug_addr"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Unit5 u;
        DwarfBuilder& f = u.f;
        f.section(".debug_loclists").raw(k.list);
        f.declare(A_cu, DW_TAG_compile_unit, true,
                  {{DW_AT_name, DW_FORM_string}, {DW_AT_addr_base, DW_FORM_sec_offset}});
        f.declare(A_local, DW_TAG_variable, false, {{DW_AT_name, DW_FORM_string}, {DW_AT_location, DW_FORM_sec_offset}});
        f.declare(A_var, DW_TAG_variable, false,
                  {{DW_AT_name, DW_FORM_string}, {DW_AT_external, DW_FORM_flag_present},
                   {DW_AT_location, DW_FORM_exprloc}});
        f.end_abbrevs();
        f.begin_unit(4, 5);
        f.info.bytes[f.info.size() - 6] = k.unit_type;
        f.info.uleb(A_cu).cstr("a.c").u32(8);
        f.info.uleb(A_local).cstr("l").u32(0);
        f.info.uleb(A_var).cstr("g").u8(2).u8(DW_OP_addrx).u8(k.address_index);
        f.info.u8(0);
        f.end_unit();
        // The next unit is read whatever happened to this one.
        f.begin_unit(4, 5);
        f.info.uleb(A_cu).cstr("b.c").u32(8).u8(0);
        f.end_unit();

        Conversion c = convert(f.image());
        const std::vector<std::string> w = warnings(c);
        ASSERT_EQ(w.size(), 1u) << c.run.console;
        EXPECT_NE(w[0].find(k.warning), std::string::npos) << w[0];
        EXPECT_TRUE(c.find("b.c"));
    }
}

}  // namespace
