// The DIE walk on hand-made DWARF: categories, ranges, locations, options,
// member trees and the limits that keep malformed type graphs finite.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "common/dwarf_codes.h"
#include "symbols/sym_test_util.h"
#include "symbols/symbol_table.h"
#include "symbols/units.h"

namespace {

using symtest::Conversion;
using symtest::convert;
using symtest::Record;

// Short names of the DWARF codes used below.
enum : uint32_t {
    TAG_array = DW_TAG_array_type, TAG_formal = DW_TAG_formal_parameter, TAG_member = DW_TAG_member,
    TAG_pointer = DW_TAG_pointer_type, TAG_cu = DW_TAG_compile_unit, TAG_struct = DW_TAG_structure_type,
    TAG_typedef = DW_TAG_typedef, TAG_subrange = DW_TAG_subrange_type, TAG_base = DW_TAG_base_type,
    TAG_subprogram = DW_TAG_subprogram, TAG_variable = DW_TAG_variable,
    AT_sibling = DW_AT_sibling, AT_location = DW_AT_location, AT_name = DW_AT_name, AT_byte_size = DW_AT_byte_size,
    AT_bit_offset = DW_AT_bit_offset, AT_bit_size = DW_AT_bit_size, AT_low_pc = DW_AT_low_pc,
    AT_high_pc = DW_AT_high_pc, AT_upper_bound = DW_AT_upper_bound, AT_count = DW_AT_count,
    AT_member_loc = DW_AT_data_member_location, AT_decl_file = DW_AT_decl_file, AT_encoding = DW_AT_encoding,
    AT_external = DW_AT_external, AT_frame_base = DW_AT_frame_base, AT_type = DW_AT_type,
    F_addr = DW_FORM_addr, F_data4 = DW_FORM_data4, F_string = DW_FORM_string, F_block1 = DW_FORM_block1,
    F_data1 = DW_FORM_data1, F_flag = DW_FORM_flag, F_ref2 = DW_FORM_ref2, F_ref4 = DW_FORM_ref4,
};

// Abbreviation codes of the standard declaration set.
enum : uint32_t {
    A_cu = 1, A_base, A_base_enc_first, A_struct, A_member, A_global, A_array, A_upper, A_pointer, A_typedef,
    A_func, A_static, A_bits, A_listvar, A_func_listfb, A_param, A_count, A_global_ref2, A_struct_empty,
    A_void_ptr, A_static_func, A_method, A_method_sibling, A_name_only_param, A_volatile, A_struct_unsized,
};

void declare_standard(DwarfBuilder& f) {
    f.begin_abbrevs();
    f.declare(A_cu, TAG_cu, true, {{AT_name, F_string}, {AT_low_pc, F_addr}, {AT_high_pc, F_addr}});
    f.declare(A_base, TAG_base, false, {{AT_name, F_string}, {AT_byte_size, F_data1}, {AT_encoding, F_data1}});
    f.declare(A_base_enc_first, TAG_base, false,
              {{AT_encoding, F_data1}, {AT_byte_size, F_data1}, {AT_name, F_string}});
    f.declare(A_struct, TAG_struct, true, {{AT_name, F_string}, {AT_byte_size, F_data1}});
    f.declare(A_member, TAG_member, false, {{AT_name, F_string}, {AT_type, F_ref4}, {AT_member_loc, F_block1}});
    f.declare(A_global, TAG_variable, false,
              {{AT_name, F_string}, {AT_type, F_ref4}, {AT_external, F_flag}, {AT_location, F_block1}});
    f.declare(A_array, TAG_array, true, {{AT_type, F_ref4}});
    f.declare(A_upper, TAG_subrange, false, {{AT_upper_bound, F_data1}});
    f.declare(A_pointer, TAG_pointer, false, {{AT_byte_size, F_data1}, {AT_type, F_ref4}});
    f.declare(A_typedef, TAG_typedef, false, {{AT_name, F_string}, {AT_type, F_ref4}});
    f.declare(A_func, TAG_subprogram, true,
              {{AT_external, F_flag}, {AT_name, F_string}, {AT_decl_file, F_data1}, {AT_low_pc, F_addr},
               {AT_high_pc, F_addr}, {AT_frame_base, F_block1}, {AT_sibling, F_ref4}});
    f.declare(A_static, TAG_variable, false, {{AT_name, F_string}, {AT_type, F_ref4}, {AT_location, F_block1}});
    f.declare(A_bits, TAG_member, false,
              {{AT_name, F_string}, {AT_type, F_ref4}, {AT_byte_size, F_data1}, {AT_bit_size, F_data1},
               {AT_bit_offset, F_data1}, {AT_member_loc, F_block1}});
    f.declare(A_listvar, TAG_variable, false, {{AT_name, F_string}, {AT_type, F_ref4}, {AT_location, F_data4}});
    f.declare(A_func_listfb, TAG_subprogram, true,
              {{AT_external, F_flag}, {AT_name, F_string}, {AT_decl_file, F_data1}, {AT_low_pc, F_addr},
               {AT_high_pc, F_addr}, {AT_frame_base, F_data4}, {AT_sibling, F_ref4}});
    f.declare(A_param, TAG_formal, false, {{AT_name, F_string}, {AT_type, F_ref4}, {AT_location, F_block1}});
    f.declare(A_count, TAG_subrange, false, {{AT_count, F_data1}});
    f.declare(A_global_ref2, TAG_variable, false,
              {{AT_name, F_string}, {AT_type, F_ref2}, {AT_external, F_flag}, {AT_location, F_block1}});
    f.declare(A_struct_empty, TAG_struct, false, {{AT_name, F_string}, {AT_byte_size, F_data1}});
    f.declare(A_void_ptr, TAG_pointer, false, {{AT_byte_size, F_data1}});
    f.declare(A_static_func, TAG_subprogram, true,
              {{AT_name, F_string}, {AT_decl_file, F_data1}, {AT_low_pc, F_addr}, {AT_high_pc, F_addr},
               {AT_frame_base, F_block1}});
    f.declare(A_method, TAG_subprogram, true, {{AT_name, F_string}});
    f.declare(A_method_sibling, TAG_subprogram, true, {{AT_sibling, F_ref4}, {AT_name, F_string}});
    f.declare(A_name_only_param, TAG_formal, false, {{AT_name, F_string}});
    f.declare(A_volatile, DW_TAG_volatile_type, false, {{AT_type, F_ref4}});
    f.declare(A_struct_unsized, TAG_struct, true, {{AT_name, F_string}});
    f.end_abbrevs();
}

// DIE writers; each returns the DIE's unit offset.
uint32_t cu(DwarfBuilder& f, const std::string& name, uint32_t low = 0x1000, uint32_t high = 0x1100) {
    uint32_t at = f.here();
    f.info.uleb(A_cu).cstr(name).u32(low).u32(high);
    return at;
}
uint32_t base(DwarfBuilder& f, const std::string& name, uint8_t size, uint8_t encoding, bool encoding_first = false) {
    uint32_t at = f.here();
    if (encoding_first)
        f.info.uleb(A_base_enc_first).u8(encoding).u8(size).cstr(name);
    else
        f.info.uleb(A_base).cstr(name).u8(size).u8(encoding);
    return at;
}
void addr_block(DwarfBuilder& f, uint32_t address) { f.info.u8(5).u8(0x03).u32(address); }
uint32_t global(DwarfBuilder& f, const std::string& name, uint32_t type, uint32_t address) {
    uint32_t at = f.here();
    f.info.uleb(A_global).cstr(name).u32(type).u8(1);
    addr_block(f, address);
    return at;
}
uint32_t member(DwarfBuilder& f, const std::string& name, uint32_t type, uint8_t offset) {
    uint32_t at = f.here();
    f.info.uleb(A_member).cstr(name).u32(type).u8(2).u8(0x23).u8(offset);
    return at;
}
uint32_t simple(DwarfBuilder& f, uint32_t code, const std::string& name) {
    uint32_t at = f.here();
    f.info.uleb(code).cstr(name);
    return at;
}

const Record& need(const Conversion& c, const std::string& name, size_t skip = 0) {
    const Record* r = c.find(name, skip);
    static const Record none;
    EXPECT_TRUE(r) << "no record " << name << "\n" << c.sym;
    return r ? *r : none;
}

TEST(Walk, UnitNameIsTheBareFileName) {
    const char* paths[] = {"C:\\work\\src\\main.c", "../src/main.c", "/main.c", "main.c", "D:main.c"};
    for (const char* path : paths) {
        DwarfBuilder f;
        declare_standard(f);
        f.begin_unit();
        cu(f, path, 0x400, 0x480);
        f.info.u8(0);
        f.end_unit();
        Conversion c = convert(f.image());
        ASSERT_EQ(c.records.size(), 1u) << path;
        EXPECT_EQ(c.records[0]["name"], "main.c");
        EXPECT_EQ(c.records[0]["ident"], "UNIT");
        EXPECT_EQ(c.records[0]["fstart"], "0x400");
        EXPECT_EQ(c.records[0]["fend"], "0x480");
    }
}

TEST(Walk, NestedStructuresGiveNestedMembersInOrder) {
    // struct outer { int a; struct inner { char b[3][4]; } c; } v;
    DwarfBuilder f;
    declare_standard(f);
    f.begin_unit();
    cu(f, "n.c");
    uint32_t int_t = base(f, "int", 4, 5);
    uint32_t char_t = base(f, "char", 1, 6);
    uint32_t arr = f.here();
    f.info.uleb(A_array).u32(char_t);
    f.info.uleb(A_upper).u8(2).uleb(A_upper).u8(3).u8(0);
    uint32_t inner = simple(f, A_struct, "inner");
    f.info.u8(12);
    member(f, "b", arr, 0);
    f.info.u8(0);
    uint32_t outer = simple(f, A_struct, "outer");
    f.info.u8(16);
    member(f, "a", int_t, 0);
    member(f, "c", inner, 4);
    f.info.u8(0);
    global(f, "v", outer, 0x2000);
    f.info.u8(0);
    f.end_unit();

    Conversion c = convert(f.image());
    const Record& v = need(c, "v");
    EXPECT_EQ(v.index, 0);
    EXPECT_EQ(v["kind"], "STRUCT ");
    EXPECT_EQ(v["struct_len"], "16");
    EXPECT_EQ(v["ident"], "VARIABLE");
    EXPECT_EQ(v["location"], "0x2000");
    const Record& a = need(c, "a");
    const Record& cc = need(c, "c");
    const Record& b = need(c, "b");
    EXPECT_EQ(a.index, 1);
    EXPECT_EQ(cc.index, 2);
    EXPECT_EQ(b.index, 3);
    EXPECT_EQ(a["nest"], "1");
    EXPECT_EQ(a["ident"], "MEMBER");
    EXPECT_EQ(a["typen"], "int");
    EXPECT_EQ(cc["nest"], "1");
    EXPECT_EQ(cc["kind"], "STRUCT ");
    EXPECT_EQ(cc["location"], "0x4");
    EXPECT_EQ(cc["struct_len"], "12");
    EXPECT_EQ(b["nest"], "2");
    EXPECT_EQ(b["kind"], "ARRAY ");
    EXPECT_EQ(b["ele"], "2 3 4 0 0 0 0");
    EXPECT_EQ(b["one_byte"], "1");
    EXPECT_EQ(b["total_byte"], "12");
    // Members carry the range of their root; the counter counts trees.
    EXPECT_EQ(b["fstart"], v["fstart"]);
    EXPECT_NE(c.run.console.find("complete symbols=2 "), std::string::npos);
}

// struct node { int key; struct node *next; int tail; } head;
DwarfBuilder self_referential() {
    DwarfBuilder f;
    declare_standard(f);
    f.begin_unit();
    cu(f, "l.c");
    uint32_t int_t = base(f, "int", 4, 5);
    uint32_t node = simple(f, A_struct, "node");
    f.info.u8(12);
    member(f, "key", int_t, 0);
    f.info.uleb(A_member).cstr("next");
    f.ref4("node pointer");
    f.info.u8(2).u8(0x23).u8(4);
    member(f, "tail", int_t, 8);
    f.info.u8(0);
    f.label("node pointer");
    f.info.uleb(A_pointer).u8(4).u32(node);
    global(f, "head", node, 0x2100);
    f.info.u8(0);
    f.end_unit();
    return f;
}

TEST(Walk, SelfReferentialStructureListsItsMembersOnceAtTheirLevel) {
    Conversion c = convert(self_referential().image());
    const Record& head = need(c, "head");
    ASSERT_EQ(c.records.size(), 5u) << c.sym;  // unit, head, key, next, tail
    const Record& next = need(c, "next");
    EXPECT_EQ(next["kind"], "POINTER STRUCT ");
    EXPECT_EQ(next["one_byte"], "4");
    EXPECT_EQ(next["struct_len"], "12");
    // The member after the pointer is read while following it; it must still
    // sit at the level of its siblings, not below the root.
    const Record& tail = need(c, "tail");
    EXPECT_EQ(tail["nest"], "1");
    EXPECT_EQ(tail["location"], "0x8");
    EXPECT_EQ(need(c, "key")["nest"], "1");
    EXPECT_EQ(head["kind"], "STRUCT ");
    EXPECT_EQ(c.run.console.find("warning"), std::string::npos);
}

// A structure of 40 members whose pointer to itself comes after the 36th:
// large trees look members up through an index instead of a scan, and must
// refuse exactly the same members.
TEST(Walk, LargeSelfReferentialStructureRefusesItsMembersOnce) {
    DwarfBuilder f;
    declare_standard(f);
    f.begin_unit();
    cu(f, "big.c");
    uint32_t int_t = base(f, "int", 4, 5);
    uint32_t node = simple(f, A_struct, "big");
    f.info.u8(164);
    for (int i = 0; i < 36; ++i) member(f, "m" + std::to_string(i), int_t, static_cast<uint8_t>(i));
    f.info.uleb(A_member).cstr("self");
    f.ref4("big pointer");
    f.info.u8(2).u8(0x23).u8(36);
    for (int i = 37; i < 40; ++i) member(f, "m" + std::to_string(i), int_t, static_cast<uint8_t>(i));
    f.info.u8(0);
    f.label("big pointer");
    f.info.uleb(A_pointer).u8(4).u32(node);
    global(f, "one", node, 0x2100);
    global(f, "two", node, 0x2200);
    f.info.u8(0);
    f.end_unit();
    Conversion c = convert(f.image());
    // unit + (root + 40 members) for each of the two variables
    ASSERT_EQ(c.records.size(), 83u) << c.sym;
    for (size_t k = 0; k < 2; ++k) {
        const Record* last = c.find("m39", k);
        ASSERT_NE(last, nullptr);
        EXPECT_EQ((*last)["nest"], "1");
        EXPECT_EQ((*last)["location"], "0x27");
    }
    EXPECT_EQ(c.run.console.find("warning"), std::string::npos);
}

TEST(Walk, SevenDimensionsRecordSixAndTypedefChainsReachTheBase) {
    DwarfBuilder f;
    declare_standard(f);
    f.begin_unit();
    cu(f, "d.c");
    uint32_t uchar = base(f, "unsigned char", 1, 8);
    uint32_t t1 = simple(f, A_typedef, "u8");
    f.info.u32(uchar);
    uint32_t t2 = simple(f, A_typedef, "octet");
    f.info.u32(t1);
    uint32_t arr = f.here();
    f.info.uleb(A_array).u32(t2);
    for (int d = 0; d < 7; ++d) f.info.uleb(A_count).u8(static_cast<uint8_t>(d + 2));
    f.info.u8(0);
    global(f, "cube", arr, 0x3000);
    f.info.u8(0);
    f.end_unit();
    Conversion c = convert(f.image());
    const Record& cube = need(c, "cube");
    EXPECT_EQ(cube["typen"], "Uchar");
    EXPECT_EQ(cube["kind"], "ARRAY ");
    EXPECT_EQ(cube["ele"], "6 2 3 4 5 6 7");
    EXPECT_EQ(cube["total_byte"], "5040");
}

TEST(Walk, BaseTypeNameAndEncodingTheLaterWins) {
    DwarfBuilder f;
    declare_standard(f);
    f.begin_unit();
    cu(f, "b.c");
    uint32_t name_first = base(f, "word", 4, 7);
    uint32_t enc_first = base(f, "word", 4, 7, true);
    uint32_t ld12 = base(f, "long double", 12, 4, true);
    uint32_t ld8 = base(f, "long double", 8, 4, true);
    uint32_t d4 = base(f, "double", 4, 4, true);
    uint32_t d8 = base(f, "double", 8, 4, true);
    uint32_t vp = f.here();
    f.info.uleb(A_void_ptr).u8(4);
    uint32_t incomplete = simple(f, A_struct_empty, "opaque");
    f.info.u8(0);
    global(f, "by_encoding", name_first, 0x10);
    global(f, "by_name", enc_first, 0x14);
    global(f, "ld12", ld12, 0x20);
    global(f, "ld8", ld8, 0x30);
    global(f, "d4", d4, 0x40);
    global(f, "d8", d8, 0x48);
    global(f, "vp", vp, 0x50);
    global(f, "op", incomplete, 0x54);
    f.info.u8(0);
    f.end_unit();
    Conversion c = convert(f.image());
    EXPECT_EQ(need(c, "by_encoding")["typen"], "Uint");
    EXPECT_EQ(need(c, "by_name")["typen"], "word");
    EXPECT_EQ(need(c, "ld12")["typen"], "Ldouble");
    EXPECT_EQ(need(c, "ld8")["typen"], "double");
    EXPECT_EQ(need(c, "d4")["typen"], "float");
    EXPECT_EQ(need(c, "d8")["typen"], "double");
    const Record& vpr = need(c, "vp");
    EXPECT_EQ(vpr["kind"], "SIMPLE ");
    EXPECT_EQ(vpr["typen"], "void");
    EXPECT_EQ(vpr["one_byte"], "0");
    const Record& opr = need(c, "op");
    EXPECT_EQ(opr["kind"], "STRUCT ");
    EXPECT_EQ(opr["struct_len"], "0");
    EXPECT_EQ(c.records.size(), 9u);
}

TEST(Walk, BitFieldMembers) {
    DwarfBuilder f;
    declare_standard(f);
    f.begin_unit();
    cu(f, "bits.c");
    uint32_t uint_t = base(f, "unsigned int", 4, 7);
    uint32_t reg = simple(f, A_struct, "reg");
    f.info.u8(4);
    f.info.uleb(A_bits).cstr("ready").u32(uint_t).u8(4).u8(1).u8(31).u8(2).u8(0x23).u8(0);
    f.info.uleb(A_bits).cstr("count").u32(uint_t).u8(4).u8(5).u8(26).u8(2).u8(0x23).u8(0);
    f.info.u8(0);
    global(f, "r", reg, 0x100);
    f.info.u8(0);
    f.end_unit();
    Conversion c = convert(f.image());
    const Record& ready = need(c, "ready");
    EXPECT_EQ(ready["kind"], "BIT ");
    EXPECT_EQ(ready["bit_off"], "0x1F");
    EXPECT_EQ(ready["bit_size"], "0x1");
    EXPECT_EQ(ready["typen"], "Uint");
    EXPECT_FALSE(ready.has("total_byte"));
    EXPECT_EQ(need(c, "count")["bit_off"], "0x1A");
}

// A function "main" (with or without DW_AT_sibling) holding a static local
// "counter", and a file-scope static "counter" after it.
DwarfBuilder statics(bool with_sibling) {
    DwarfBuilder f;
    declare_standard(f);
    f.begin_unit();
    cu(f, "src\\main.c", 0x1000, 0x1100);
    uint32_t int_t = base(f, "int", 4, 5);
    if (with_sibling) {
        f.info.uleb(A_func).u8(1).cstr("main").u8(1).u32(0x1010).u32(0x1040).u8(1).u8(0x5d);
        f.ref4("after main");
    } else {
        f.info.uleb(A_static_func).cstr("main").u8(1).u32(0x1010).u32(0x1040).u8(1).u8(0x5d);
    }
    f.info.uleb(A_static).cstr("counter").u32(int_t);
    addr_block(f, 0x2000);
    f.info.u8(0);
    if (with_sibling) f.label("after main");
    f.info.uleb(A_static).cstr("counter").u32(int_t);
    addr_block(f, 0x2004);
    // A static at address 0 without a size is not written.
    uint32_t opaque = simple(f, A_struct_empty, "opaque");
    f.info.u8(0);
    f.info.uleb(A_static).cstr("ghost").u32(opaque);
    addr_block(f, 0);
    f.info.u8(0);
    f.end_unit();
    return f;
}

TEST(Walk, StaticLocalsTakeTheFunctionRangeAndGlobalCopiesTheirScopeName) {
    Conversion c = convert(statics(true).image(), {"-g"});
    const Record& main_rec = need(c, "main");
    EXPECT_EQ(main_rec["ident"], "PROGRAM");
    EXPECT_EQ(main_rec["location"], "0x1010");
    const Record& local = need(c, "counter");
    EXPECT_EQ(local["ident"], "LOCAL_S");
    EXPECT_EQ(local["fstart"], "0x1010");
    EXPECT_EQ(local["fend"], "0x1040");
    const Record& local_copy = need(c, "counter@main");
    EXPECT_EQ(local_copy["ident"], "VARIABLE");
    EXPECT_EQ(local_copy["location"], "0x2000");
    EXPECT_EQ(local_copy.index, 0);
    const Record& file_static = need(c, "counter", 1);
    EXPECT_EQ(file_static["fstart"], "0x1000");
    EXPECT_EQ(file_static["fend"], "0x1100");
    EXPECT_EQ(need(c, "counter@main.c")["location"], "0x2004");
    EXPECT_EQ(c.find("ghost"), nullptr);
    EXPECT_EQ(c.find("ghost@main.c"), nullptr);
    // One symbol per tree, copies included.
    EXPECT_NE(c.run.console.find("complete symbols=4 "), std::string::npos);

    // Without -g no copies; without DW_AT_sibling the static local takes the
    // unit's range and unit name, and a static function is S_PROGRAM.
    Conversion plain = convert(statics(true).image());
    EXPECT_EQ(plain.find("counter@main"), nullptr);
    Conversion no_sibling = convert(statics(false).image(), {"-g"});
    EXPECT_EQ(need(no_sibling, "main")["ident"], "S_PROGRAM");
    EXPECT_EQ(need(no_sibling, "main")["fstart"], "0x1000");
    EXPECT_EQ(need(no_sibling, "counter")["fstart"], "0x1000");
    EXPECT_EQ(need(no_sibling, "counter@main.c")["location"], "0x2000");
}

// A function with frame base `frame_base` (block bytes) holding a parameter
// and locals located by the blocks given.
DwarfBuilder function_with_locals(const std::vector<uint8_t>& frame_base,
                               const std::vector<std::pair<std::string, std::vector<uint8_t>>>& locals,
                               uint16_t machine = 40) {
    DwarfBuilder f(false, machine);
    declare_standard(f);
    f.begin_unit();
    cu(f, "f.c");
    uint32_t int_t = base(f, "int", 4, 5);
    f.info.uleb(A_func).u8(1).cstr("f").u8(1).u32(0x1000).u32(0x1080).u8(static_cast<uint8_t>(frame_base.size()));
    f.info.raw(frame_base);
    f.ref4("after f");
    bool first = true;
    for (const auto& l : locals) {
        f.info.uleb(first ? A_param : A_static).cstr(l.first).u32(int_t);
        f.info.u8(static_cast<uint8_t>(l.second.size())).raw(l.second);
        first = false;
    }
    f.info.u8(0);
    f.label("after f");
    global(f, "g", int_t, 0x2000);
    f.info.u8(0);
    f.end_unit();
    return f;
}

TEST(Walk, RegisterAndFrameLocations) {
    // DW_OP_fbreg -8 (0x91 0x78); DW_OP_regx 2, DW_OP_piece 4; DW_OP_reg5.
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> locals = {
        {"p", {0x91, 0x78}}, {"wide", {0x90, 0x02, 0x93, 0x04}}, {"r", {0x55}}, {"s", {0x03, 0, 0x20, 0, 0}}};
    {
        Conversion c = convert(function_with_locals({0x5e}, locals).image());  // frame base DW_OP_reg14
        const Record& p = need(c, "p");
        EXPECT_EQ(p["ident"], "LOCAL_F");
        EXPECT_EQ(p["regcode"], "0x7E");
        EXPECT_EQ(p["regop1"], "-8");
        EXPECT_EQ(p["regn"], "@(.-8+R14)");
        EXPECT_EQ(p["fstart"], "0x1000");
        EXPECT_EQ(p["fend"], "0x1080");
        const Record& wide = need(c, "wide");
        EXPECT_EQ(wide["ident"], "LOCAL_R");
        EXPECT_EQ(wide["regcode"], "0x57");
        EXPECT_EQ(wide["regop1"], "0");
        EXPECT_EQ(wide["regn"], "R7");
        const Record& r = need(c, "r");
        EXPECT_EQ(r["ident"], "LOCAL_R");
        EXPECT_EQ(r["regn"], "R5");
        EXPECT_EQ(need(c, "s")["ident"], "LOCAL_S");
    }
    {
        Conversion c = convert(function_with_locals({0x7e, 0x00}, locals).image());  // DW_OP_breg14 0
        EXPECT_EQ(need(c, "p")["regcode"], "0x7E");
        EXPECT_EQ(need(c, "p")["regop1"], "-8");
    }
    {
        // -l drops the parameter and register/frame locals, keeps statics and globals.
        Conversion c = convert(function_with_locals({0x5e}, locals).image(), {"-l"});
        EXPECT_EQ(c.find("p"), nullptr);
        EXPECT_EQ(c.find("wide"), nullptr);
        EXPECT_EQ(c.find("r"), nullptr);
        EXPECT_NE(c.find("s"), nullptr);
        EXPECT_NE(c.find("g"), nullptr);
        EXPECT_NE(c.find("f"), nullptr);
    }
}

// A function whose frame base is a location list or a block, with a local
// whose location is a list starting with DW_OP_fbreg.
DwarfBuilder frame_base_lists(bool frame_base_is_list) {
    DwarfBuilder f;
    declare_standard(f);
    // .debug_loc: list 0 = frame base (two rows), list at 0x20 = the variable.
    f.loc.u32(0x00).u32(0x04).u16(2).u8(0x7d).u8(0x00);
    f.loc.u32(0x04).u32(0x40).u16(2).u8(0x7d).u8(0x08);
    f.loc.u32(0).u32(0);
    f.loc.fill(0x20 - f.loc.size());
    f.loc.u32(0x08).u32(0x30).u16(2).u8(0x91).u8(0x74);
    f.loc.u32(0).u32(0);
    f.begin_unit();
    cu(f, "fb.c", 0x1000, 0x1100);
    uint32_t int_t = base(f, "int", 4, 5);
    if (frame_base_is_list) {
        f.info.uleb(A_func_listfb).u8(1).cstr("f").u8(1).u32(0x1000).u32(0x1040).u32(0);
    } else {
        f.info.uleb(A_func).u8(1).cstr("f").u8(1).u32(0x1000).u32(0x1040).u8(1).u8(0x9c);
    }
    f.ref4("after f");
    f.info.uleb(A_listvar).cstr("v").u32(int_t).u32(0x20);
    f.info.u8(0);
    f.label("after f");
    f.info.u8(0);
    f.end_unit();
    return f;
}

TEST(Walk, FrameBaseListsOnlyWhenTheFrameBaseWasAList) {
    Conversion listed = convert(frame_base_lists(true).image());
    const Record& f = need(listed, "f");
    EXPECT_EQ(f["regn"], "@(.0+R13)");
    ASSERT_EQ(f.floc.size(), 2u);
    EXPECT_EQ(f.floc[0], "0 0x1000 0x1004 0x7D 0 0");
    const Record& v = need(listed, "v");
    EXPECT_EQ(v["ident"], "LOCAL_F");
    EXPECT_EQ(v["regcode"], "0x91");
    EXPECT_EQ(v["regn"], "@(.-12+FB)");
    ASSERT_EQ(v.floc.size(), 2u);
    EXPECT_EQ(v.floc[1], "1 0x1004 0x1040 0x7D 8 0");

    // A frame base given as a block leaves no list to read: the variable
    // keeps its own row instead of rows of whatever list is at offset 0.
    Conversion block = convert(frame_base_lists(false).image());
    const Record& v2 = need(block, "v");
    EXPECT_EQ(v2["ident"], "LOCAL_F");
    ASSERT_EQ(v2.floc.size(), 1u);
    EXPECT_EQ(v2.floc[0], "0 0x1008 0x1030 0x91 -12 0");
    EXPECT_EQ(v2["fstart"], "0x1000");
}

TEST(Walk, Ref2TypeInTheSecondUnitReachesTheSameDie) {
    DwarfBuilder f;
    declare_standard(f);
    f.begin_unit();
    cu(f, "one.c");
    base(f, "int", 4, 5);
    f.info.u8(0);
    f.end_unit();
    f.begin_unit();
    cu(f, "two.c");
    uint32_t uchar = base(f, "unsigned char", 1, 8);
    f.info.uleb(A_global_ref2).cstr("by_ref2").u16(uchar).u8(1);
    addr_block(f, 0x40);
    global(f, "by_ref4", uchar, 0x44);
    f.info.u8(0);
    f.end_unit();
    Conversion c = convert(f.image());
    EXPECT_EQ(need(c, "by_ref2")["typen"], "Uchar");
    EXPECT_EQ(need(c, "by_ref2")["one_byte"], "1");
    EXPECT_EQ(need(c, "by_ref4")["typen"], "Uchar");
}

TEST(Walk, CyclicAndOverlyDeepTypeChainsEnd) {
    {
        // typedef loop: T -> pointer -> T, with no member to refuse.
        DwarfBuilder f;
        declare_standard(f);
        f.begin_unit();
        cu(f, "cyc.c");
        uint32_t t = f.here();
        f.info.uleb(A_typedef).cstr("T");
        f.ref4("pointer");
        f.label("pointer");
        f.info.uleb(A_pointer).u8(4).u32(t);
        global(f, "loop", t, 0x80);
        f.info.u8(0);
        f.end_unit();
        Conversion c = convert(f.image());
        const Record& loop = need(c, "loop");
        EXPECT_EQ(loop["kind"], "POINTER ");
        EXPECT_EQ(loop["location"], "0x80");
        EXPECT_NE(c.run.console.find("warning: cyclic type reference"), std::string::npos);
    }
    {
        // 400 typedefs in a row: cut at the depth limit, the symbol still written.
        DwarfBuilder f;
        declare_standard(f);
        f.begin_unit();
        cu(f, "deep.c");
        uint32_t prev = base(f, "int", 4, 5);
        for (int i = 0; i < 400; ++i) {
            uint32_t at = simple(f, A_typedef, "t");
            f.info.u32(prev);
            prev = at;
        }
        global(f, "deep", prev, 0x90);
        f.info.u8(0);
        f.end_unit();
        Conversion c = convert(f.image());
        EXPECT_EQ(need(c, "deep")["location"], "0x90");
        EXPECT_NE(c.run.console.find("warning: types nested too deeply"), std::string::npos);
    }
}

TEST(Walk, MemberListWithoutNullEntryEndsAtTheUnitEnd) {
    DwarfBuilder f;
    declare_standard(f);
    f.begin_unit();
    cu(f, "cut.c");
    uint32_t int_t = base(f, "int", 4, 5);
    f.info.uleb(A_global).cstr("w");
    f.ref4("open");
    f.info.u8(1);
    addr_block(f, 0x60);
    f.label("open");
    simple(f, A_struct, "open");
    f.info.u8(8);
    member(f, "m1", int_t, 0);
    member(f, "m2", int_t, 4);
    f.end_unit();  // no null entries after the members
    Conversion c = convert(f.image());
    EXPECT_EQ(need(c, "m1")["nest"], "1");
    EXPECT_EQ(need(c, "m2")["location"], "0x4");
    EXPECT_EQ(c.run.exit_code, -4);  // symbols, and no .debug_line
    EXPECT_EQ(c.run.console.find("warning"), std::string::npos);
}

TEST(Walk, TraceLinesForDiesAndTopLevelAttributes) {
    DwarfBuilder f;
    declare_standard(f);
    f.begin_unit();
    cu(f, "t.c", 0x10, 0x20);
    uint32_t int_t = base(f, "int", 4, 5);
    f.info.uleb(999);  // undeclared code
    global(f, "x", int_t, 0x30);
    f.info.u8(0);
    f.end_unit();
    Conversion c = convert(f.image(), {"-d"});
    const std::string& t = c.sym;
    EXPECT_NE(t.find("/[0x000B]{0x000B} Tag[DW_TAG_compiler_unit(0x11)"), std::string::npos) << t;
    EXPECT_NE(t.find("] Used .debug_addrev Section[  1] *\n"), std::string::npos);
    EXPECT_NE(t.find("Tag[Null entry] Used .debug_addrev Section[ 999] *\n"), std::string::npos);
    // Top-level attributes are traced, the followed base type's are not.
    const std::string name_line =
        "/ DW_AT_name(0x03)" + std::string(18, ' ') + "DW_FORM_string(0x08)" + std::string(5, ' ') + "x \n";
    EXPECT_NE(t.find(name_line), std::string::npos);
    const std::string encoding_line = "/ DW_AT_encoding(0x3E)" + std::string(14, ' ') + "DW_FORM_data1(0x0B)" +
                                      std::string(6, ' ') + "0x05  DW_ATE_signed(0x05)" + std::string(8, ' ') +
                                      "\n";
    EXPECT_NE(t.find(encoding_line), std::string::npos);
    EXPECT_EQ(symtest::parse_records(t).size(), 2u);
    size_t encodings = 0;
    for (size_t at = t.find(encoding_line); at != std::string::npos; at = t.find(encoding_line, at + 1))
        ++encodings;
    EXPECT_EQ(encodings, 1u);
}

// A structure whose children include a function with children of its own,
// named by a forward DW_AT_sibling, by none, or by one that points back:
// the function's children are stepped over, the member after it is built.
TEST(Walk, OtherChildrenAreSteppedOverWithTheirChildren) {
    enum Sibling { none, forward, backward };
    for (Sibling sibling : {none, forward, backward}) {
        DwarfBuilder f;
        declare_standard(f);
        f.begin_unit();
        cu(f, "m.c");
        uint32_t int_t = base(f, "int", 4, 5);
        uint32_t rec = simple(f, A_struct, "rec");
        f.info.u8(8);
        member(f, "a", int_t, 0);
        if (sibling == none) {
            f.info.uleb(A_method);
        } else {
            f.info.uleb(A_method_sibling);
            if (sibling == forward)
                f.ref4("after get");
            else
                f.info.u32(0);
        }
        f.info.cstr("get");
        f.info.uleb(A_name_only_param).cstr("self");
        f.info.u8(0);
        if (sibling == forward) f.label("after get");
        member(f, "b", int_t, 4);
        f.info.u8(0);
        global(f, "r", rec, 0x100);
        f.info.u8(0);
        f.end_unit();
        Conversion c = convert(f.image());
        const Record& b = need(c, "b");
        EXPECT_EQ(b.index, 2) << sibling;
        EXPECT_EQ(b["nest"], "1") << sibling;
        EXPECT_EQ(b["location"], "0x4") << sibling;
        EXPECT_EQ(c.run.console.find("warning"), std::string::npos) << sibling;
    }
}

TEST(Walk, ValueCutByTheUnitEndStopsTheUnitWithOneWarning) {
    DwarfBuilder f;
    declare_standard(f);
    f.begin_unit();
    cu(f, "cut.c");
    uint32_t int_t = base(f, "int", 4, 5);
    const uint32_t die = f.here_in_section();
    f.info.uleb(A_global).cstr("v").u32(int_t).u8(1).u8(5).u8(0x03);  // a 5-byte block with 1 byte left
    f.end_unit();
    Conversion c = convert(f.image());
    char expected[160];
    std::snprintf(expected, sizeof expected,
                  "warning: DW_FORM_block1(0x0A) value at offset 0x%X of .debug_info is cut off by the end of its data\n",
                  die + 8);
    EXPECT_EQ(count_of(c.run.console, "warning: "), 1u);
    EXPECT_NE(c.run.console.find(expected), std::string::npos) << c.run.console;
}

// A type is expanded once per unit and copied for its later uses; a copy
// must be exactly what building the type again gives, wherever the type is
// reached. Each case walks its unit with and without copies.
namespace copies {

void typed(DwarfBuilder& f, uint32_t code, const std::string& name, const std::string& type) {
    f.info.uleb(code).cstr(name);
    f.ref4(type);
}
void var(DwarfBuilder& f, const std::string& name, const std::string& type, uint32_t address = 0x100) {
    typed(f, A_global, name, type);
    f.info.u8(1);
    addr_block(f, address);
}
void field(DwarfBuilder& f, const std::string& name, const std::string& type, uint8_t offset = 0) {
    typed(f, A_member, name, type);
    f.info.u8(2).u8(0x23).u8(offset);
}
void array_of(DwarfBuilder& f, const std::string& label, const std::string& type, uint8_t upper) {
    f.label(label);
    f.info.uleb(A_array);
    f.ref4(type);
    f.info.uleb(A_upper).u8(upper).u8(0);
}
// A structure with the members given as name/type pairs; without a size
// when `size` is negative.
void structure(DwarfBuilder& f, const std::string& name, int size,
               const std::vector<std::pair<std::string, std::string>>& members) {
    f.label(name);
    if (size < 0) {
        simple(f, A_struct_unsized, name);
    } else {
        simple(f, A_struct, name);
        f.info.u8(static_cast<uint32_t>(size));
    }
    uint8_t offset = 0;
    for (const auto& m : members) field(f, m.first, m.second, offset += 4);
    f.info.u8(0);
}
// A pointer, volatile or typedef named `label` to `type`.
void to(DwarfBuilder& f, uint32_t code, const std::string& label, const std::string& type) {
    f.label(label);
    f.info.uleb(code);
    if (code == A_pointer) f.info.u8(4);
    if (code == A_typedef) f.info.cstr(label);
    f.ref4(type);
}
// S { int a; In { char c[2]; } in; }, T { int x; S s; }, PS = S*, TS = typedef S.
void nested(DwarfBuilder& f) {
    array_of(f, "char2", "char", 1);
    structure(f, "In", 2, {{"c", "char2"}});
    structure(f, "S", 8, {{"a", "int"}, {"in", "In"}});
    structure(f, "T", 12, {{"x", "int"}, {"s", "S"}});
    to(f, A_pointer, "PS", "S");
    to(f, A_typedef, "TS", "S");
}
void many_ints(DwarfBuilder& f, const std::string& name, int count) {
    std::vector<std::pair<std::string, std::string>> members;
    for (int i = 0; i < count; ++i) members.push_back({name + std::to_string(i), "int"});
    structure(f, name, 4 * count, members);
}
std::string typedef_chain(DwarfBuilder& f, int length, std::string below) {
    for (int i = 0; i < length; ++i) {
        const std::string name = "td" + std::to_string(i);
        to(f, A_typedef, name, below);
        below = name;
    }
    return below;
}

struct Case {
    std::string what;
    std::function<void(DwarfBuilder&)> write;  // types and variables
};

std::vector<Case> cases() {
    std::vector<Case> all;
    all.push_back({"a type at two depths, through a pointer, a typedef and as a static", [](DwarfBuilder& f) {
                       nested(f);
                       var(f, "s1", "S");
                       var(f, "t", "T");
                       var(f, "s2", "S");
                       var(f, "p", "PS");
                       var(f, "ts", "TS");
                       typed(f, A_static, "st", "S");
                       addr_block(f, 0x130);
                   }});
    all.push_back({"a structure reached again through a pointer to itself and twice in one tree",
                   [](DwarfBuilder& f) {
                       structure(f, "N", 12, {{"v", "int"}, {"next", "PN"}, {"tail", "int"}});
                       to(f, A_pointer, "PN", "N");
                       structure(f, "M", 24, {{"first", "N"}, {"second", "N"}, {"third", "PN"}});
                       array_of(f, "N3", "N", 2);
                       var(f, "n", "N");
                       var(f, "m", "M");
                       var(f, "q", "PN");
                       var(f, "arr", "N3");
                       var(f, "m2", "M");
                   }});
    all.push_back({"a type first met where an earlier member refuses its members", [](DwarfBuilder& f) {
                       structure(f, "K", 4, {{"k", "int"}});
                       to(f, A_typedef, "TK", "K");
                       structure(f, "R", 8, {{"a", "K"}, {"b", "TK"}});
                       structure(f, "Z", 8, {{"z", "int"}, {"t", "TK"}});
                       var(f, "r", "R");
                       var(f, "z", "Z");
                   }});
    all.push_back({"entries given back by volatile and by arrays outside structures", [](DwarfBuilder& f) {
                       nested(f);
                       array_of(f, "S2", "S", 1);
                       to(f, A_volatile, "VS", "S");
                       structure(f, "V", 16, {{"ss", "S2"}, {"vs", "VS"}});
                       structure(f, "U", -1, {{"ss", "S2"}, {"vs", "VS"}, {"t", "T"}});  // never a structure root
                       to(f, A_volatile, "VU", "U");
                       array_of(f, "U2", "U", 1);
                       var(f, "v", "V");
                       var(f, "s2", "S2");
                       var(f, "u", "U");
                       var(f, "vu", "VU");
                       var(f, "u2", "U2");
                       var(f, "vs", "VS");
                       var(f, "v2", "V");
                   }});
    all.push_back({"the table overflows in the middle of a kept type", [](DwarfBuilder& f) {
                       many_ints(f, "Big", 600);
                       many_ints(f, "Other", 500);
                       structure(f, "PB", 8, {{"x", "int"}, {"b", "Big"}});
                       structure(f, "W", 0, {{"o", "Other"}, {"b", "Big"}});
                       var(f, "pb", "PB");
                       var(f, "w", "W");
                       var(f, "big", "Big");
                   }});
    all.push_back({"a warning inside a type", [](DwarfBuilder& f) {
                       f.label("Bad");
                       f.info.uleb(A_typedef).cstr("Bad").u32(0x7FFFFF00);  // outside .debug_info
                       structure(f, "Bad2", 8, {{"a", "int"}, {"b", "Bad"}});
                       var(f, "g1", "Bad2");
                       var(f, "g2", "Bad2");
                   }});
    // S reached through typedef chains just above, at and below the depth
    // limit, before and after S is reached near the root.
    for (int length : {122, 124, 125, 126, 127}) {
        all.push_back({"S at the end of " + std::to_string(length) + " typedefs", [length](DwarfBuilder& f) {
                           nested(f);
                           const std::string top = typedef_chain(f, length, "S");
                           var(f, "deep", top);
                           var(f, "shallow", "S");
                           var(f, "deep2", top);
                       }});
    }
    return all;
}

std::vector<uint8_t> unit_of(const Case& c) {
    DwarfBuilder f;
    declare_standard(f);
    f.begin_unit();
    cu(f, "copy.c");
    f.label("int");
    base(f, "int", 4, 5);
    f.label("char");
    base(f, "char", 1, 6);
    c.write(f);
    f.info.u8(0);
    f.end_unit();
    return f.image();
}

// The SYM text and the console of a walk over the image.
std::string walk(const std::vector<uint8_t>& image, bool keep, bool trace, bool globalize) {
    Fixture f(image, trace);
    f.s.opt.globalize_statics = globalize;
    f.s.sym->keep_type_expansions = keep;
    walk_units(f.s, f.out);
    return f.text() + "\n--- console\n" + f.console();
}

}  // namespace copies

TEST(Walk, CopiedTypesAreWhatBuildingThemAgainGives) {
    for (const copies::Case& c : copies::cases()) {
        const std::vector<uint8_t> image = copies::unit_of(c);
        for (int option = 0; option < 3; ++option) {
            const bool trace = option == 1, globalize = option == 2;
            const std::string copied = copies::walk(image, true, trace, globalize);
            const std::string built = copies::walk(image, false, trace, globalize);
            EXPECT_TRUE(copied == built) << c.what << " option " << option << "\n" << copied << "\n" << built;
            EXPECT_NE(built.find("+ nest[1]"), std::string::npos) << c.what;
        }
    }
}

}  // namespace
