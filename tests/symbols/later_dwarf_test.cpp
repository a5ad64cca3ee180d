// DWARF 3 and 4 read by meaning: what GCC and clang write from version 3 on
// must give the records a DWARF 2 build of the same code gives.
#include <gtest/gtest.h>

#include "common/dwarf_codes.h"
#include "locations/loc_expr.h"
#include "symbols/ranges.h"
#include "symbols/sym_test_util.h"

namespace {

using symtest::Conversion;
using symtest::convert;
using symtest::Record;

enum : uint32_t {
    A_cu = 1, A_cu_ranges, A_int, A_func, A_local, A_struct, A_member, A_bits, A_global, A_restrict, A_pointer,
    A_decl, A_call_site, A_listvar, A_viewvar, A_func_ranges,
};

void declare(DwarfBuilder& f) {
    f.begin_abbrevs();
    f.declare(A_cu, DW_TAG_compile_unit, true,
              {{DW_AT_name, DW_FORM_string}, {DW_AT_low_pc, DW_FORM_addr}, {DW_AT_high_pc, DW_FORM_data4}});
    f.declare(A_cu_ranges, DW_TAG_compile_unit, true,
              {{DW_AT_name, DW_FORM_string}, {DW_AT_ranges, DW_FORM_sec_offset}, {DW_AT_low_pc, DW_FORM_addr}});
    f.declare(A_int, DW_TAG_base_type, false,
              {{DW_AT_name, DW_FORM_string}, {DW_AT_byte_size, DW_FORM_data1}, {DW_AT_encoding, DW_FORM_data1}});
    f.declare(A_func, DW_TAG_subprogram, true,
              {{DW_AT_external, DW_FORM_flag_present}, {DW_AT_name, DW_FORM_string}, {DW_AT_decl_file, DW_FORM_data1},
               {DW_AT_low_pc, DW_FORM_addr}, {DW_AT_high_pc, DW_FORM_data4}, {DW_AT_frame_base, DW_FORM_exprloc}});
    f.declare(A_local, DW_TAG_variable, false,
              {{DW_AT_name, DW_FORM_string}, {DW_AT_type, DW_FORM_ref4}, {DW_AT_location, DW_FORM_exprloc}});
    f.declare(A_struct, DW_TAG_structure_type, true, {{DW_AT_name, DW_FORM_string}, {DW_AT_byte_size, DW_FORM_data1}});
    f.declare(A_member, DW_TAG_member, false,
              {{DW_AT_name, DW_FORM_string}, {DW_AT_type, DW_FORM_ref4}, {DW_AT_data_member_location, DW_FORM_data1}});
    f.declare(A_bits, DW_TAG_member, false,
              {{DW_AT_name, DW_FORM_string}, {DW_AT_type, DW_FORM_ref4}, {DW_AT_bit_size, DW_FORM_data1},
               {DW_AT_data_bit_offset, DW_FORM_data1}});
    f.declare(A_global, DW_TAG_variable, false,
              {{DW_AT_name, DW_FORM_string}, {DW_AT_type, DW_FORM_ref4}, {DW_AT_external, DW_FORM_flag_present},
               {DW_AT_location, DW_FORM_exprloc}});
    f.declare(A_restrict, DW_TAG_restrict_type, false, {{DW_AT_type, DW_FORM_ref4}});
    f.declare(A_pointer, DW_TAG_pointer_type, false, {{DW_AT_byte_size, DW_FORM_data1}, {DW_AT_type, DW_FORM_ref4}});
    f.declare(A_decl, DW_TAG_subprogram, false,
              {{DW_AT_external, DW_FORM_flag_present}, {DW_AT_declaration, DW_FORM_flag_present},
               {DW_AT_name, DW_FORM_string}});
    f.declare(A_call_site, DW_TAG_GNU_call_site, false, {{DW_AT_low_pc, DW_FORM_addr}, {DW_AT_abstract_origin, DW_FORM_ref4}});
    f.declare(A_listvar, DW_TAG_variable, false,
              {{DW_AT_name, DW_FORM_string}, {DW_AT_type, DW_FORM_ref4}, {DW_AT_location, DW_FORM_sec_offset}});
    f.declare(A_viewvar, DW_TAG_variable, false,
              {{DW_AT_name, DW_FORM_string}, {DW_AT_type, DW_FORM_ref4}, {DW_AT_location, DW_FORM_sec_offset},
               {DW_AT_GNU_locviews, DW_FORM_sec_offset}});
    f.declare(A_func_ranges, DW_TAG_subprogram, false,
              {{DW_AT_name, DW_FORM_string}, {DW_AT_decl_file, DW_FORM_data1}, {DW_AT_ranges, DW_FORM_sec_offset}});
    f.end_abbrevs();
}

void int_type(DwarfBuilder& f) {
    f.label("int");
    f.info.uleb(A_int).cstr("int").u8(4).u8(DW_ATE_signed);
}

void global(DwarfBuilder& f, const char* name, const char* type, uint32_t address) {
    f.info.uleb(A_global).cstr(name);
    f.ref4(type);
    f.info.uleb(5).u8(DW_OP_addr).u32(address);
}

const Record& need(const Conversion& c, const std::string& name) {
    const Record* r = c.find(name);
    static const Record none;
    EXPECT_TRUE(r) << "no record " << name << "\n" << c.sym;
    return r ? *r : none;
}

// A .debug_frame CIE (code alignment 2, data alignment -4, return address
// r14, CFA r13 + 0) and an FDE with `ops` over [begin, begin + size).
void frame(DwarfBuilder& f, uint32_t begin, uint32_t size, const std::vector<uint8_t>& ops) {
    ByteWriter& w = f.frame;
    const size_t cie = w.size();
    size_t length = w.placeholder32();
    w.u32(0xFFFFFFFF).u8(1).cstr("").uleb(2).sleb(-4).u8(14).raw({0x0C, 13, 0});
    w.patch_length32(length);
    length = w.placeholder32();
    w.u32(static_cast<uint32_t>(cie)).u32(begin).u32(size).raw(ops);
    w.patch_length32(length);
}

TEST(LaterDwarf, SizesFlagsAndCallFrameFrameBases) {
    DwarfBuilder f;
    declare(f);
    f.begin_unit(4, 4);
    f.info.uleb(A_cu).cstr("m.c").u32(0x1000).u32(0x20);
    int_type(f);
    // Several CFA rules, the last a change right at the function's end.
    f.info.uleb(A_func).cstr("moving").u8(1).u32(0x1000).u32(0x10).uleb(1).u8(DW_OP_call_frame_cfa);
    f.info.uleb(A_local).cstr("a");
    f.ref4("int");
    f.info.uleb(2).u8(DW_OP_fbreg).sleb(-8);
    f.info.u8(0);
    // One rule over the whole function.
    f.info.uleb(A_func).cstr("still").u8(1).u32(0x1010).u32(0x10).uleb(1).u8(DW_OP_call_frame_cfa);
    f.info.uleb(A_local).cstr("b");
    f.ref4("int");
    f.info.uleb(2).u8(DW_OP_fbreg).sleb(-8);
    f.info.u8(0);
    global(f, "g", "int", 0x2000);
    f.info.u8(0);
    f.end_unit();
    frame(f, 0x1000, 0x10, {0x41, 0x0E, 8, 0x47, 0x0E, 0});
    frame(f, 0x1010, 0x10, {});

    const Conversion c = convert(f.image());
    EXPECT_EQ(need(c, "m.c")["fend"], "0x1020");
    const Record& moving = need(c, "moving");
    EXPECT_EQ(moving["ident"], "PROGRAM");
    EXPECT_EQ(moving.floc, (std::vector<std::string>{"0 0x1000 0x1002 0x7D 0 0", "1 0x1002 0x1010 0x7D 8 0",
                                                     "2 0x1010 0x1010 0x7D 0 0"}));
    EXPECT_EQ(need(c, "a")["regcode"], "0x91");  // a frame base that is a list: the variable keeps its own
    const Record& b = need(c, "b");
    EXPECT_EQ(b["ident"], "LOCAL_F");
    EXPECT_EQ(b["regcode"], "0x7D");
    EXPECT_EQ(b["regop1"], "-8");
    EXPECT_EQ(b["fstart"], "0x1010");
    EXPECT_EQ(b["fend"], "0x1020");
    EXPECT_EQ(need(c, "g")["ident"], "VARIABLE");
    EXPECT_EQ(c.run.console.find("warning"), std::string::npos) << c.run.console;
}

TEST(LaterDwarf, UnitRangesTakeTheFirstRange) {
    const struct {
        const char* name;
        std::vector<uint32_t> pairs;  // begin, end ...
        uint32_t low_pc;
        const char* fstart;
        const char* fend;
    } cases[] = {
        {"plain", {0x1000, 0x1100, 0x20000000, 0x20000040, 0, 0}, 0, "0x1000", "0x1100"},
        {"based", {0x10, 0x20, 0, 0}, 0x4000, "0x4010", "0x4020"},
        {"selected base", {0xFFFFFFFF, 0x8000, 0x10, 0x30, 0, 0}, 0, "0x8010", "0x8030"},
    };
    for (const auto& k : cases) {
        DwarfBuilder f;
        declare(f);
        for (uint32_t v : k.pairs) f.ranges.u32(v);
        f.begin_unit(4, 3);
        f.info.uleb(A_cu_ranges).cstr("r.c").u32(0).u32(k.low_pc);
        f.info.uleb(A_func_ranges).cstr("split").u8(1).u32(0);  // a static function: the unit's range
        f.info.u8(0);
        f.end_unit();
        const Conversion c = convert(f.image());
        EXPECT_EQ(need(c, "r.c")["fstart"], k.fstart) << k.name;
        EXPECT_EQ(need(c, "r.c")["fend"], k.fend) << k.name;
        const Record& split = need(c, "split");
        EXPECT_EQ(split["ident"], "S_PROGRAM") << k.name;
        EXPECT_EQ(split["location"], k.fstart) << k.name;
        EXPECT_EQ(split["fend"], k.fend) << k.name;
    }
}

TEST(LaterDwarf, FirstRangeStopsAtTheEnd) {
    ByteWriter w;
    w.u32(0xFFFFFFFF).u32(0x100).u32(0).u32(0);
    const struct {
        size_t length;
        RangeResult result;
    } cases[] = {{16, RangeResult::empty}, {12, RangeResult::cut}, {0, RangeResult::cut}};
    for (const auto& k : cases) {
        AddressRange range;
        EXPECT_EQ(first_range_at(make_reader(w.bytes.data(), w.size(), 0, k.length, false), 4, 0, range), k.result)
            << k.length;
    }
}

TEST(LaterDwarf, MembersByConstantAndDataBitOffset) {
    // struct s { int x; int lo : 3; int hi : 5; } at offsets 4 and bits 35 and 40 of 64.
    const struct {
        bool big_endian;
        const char* lo_bit_off;
        const char* hi_bit_off;
    } cases[] = {{false, "0x1A", "0x13"}, {true, "0x3", "0x8"}};
    for (const auto& k : cases) {
        DwarfBuilder f(k.big_endian);
        declare(f);
        f.begin_unit(4, 4);
        f.info.uleb(A_cu).cstr("b.c").u32(0x1000).u32(0x20);
        int_type(f);
        f.label("s");
        f.info.uleb(A_struct).cstr("s").u8(8);
        f.info.uleb(A_member).cstr("x");
        f.ref4("int");
        f.info.u8(0);
        f.info.uleb(A_bits).cstr("lo");
        f.ref4("int");
        f.info.u8(3).u8(32 + 3);
        f.info.uleb(A_bits).cstr("hi");
        f.ref4("int");
        f.info.u8(5).u8(32 + 8);
        f.info.u8(0);
        global(f, "v", "s", 0x2000);
        f.info.u8(0);
        f.end_unit();
        const Conversion c = convert(f.image());
        EXPECT_EQ(need(c, "x")["location"], "0x0");
        const Record& lo = need(c, "lo");
        EXPECT_EQ(lo["location"], "0x4");
        EXPECT_EQ(lo["bit_off"], k.lo_bit_off) << k.big_endian;
        EXPECT_EQ(lo["bit_size"], "0x3");
        EXPECT_EQ(need(c, "hi")["bit_off"], k.hi_bit_off) << k.big_endian;
    }
}

TEST(LaterDwarf, ValuesRestrictAndCallSiteDeclarations) {
    DwarfBuilder f;
    declare(f);
    f.begin_unit(4, 4);
    f.info.uleb(A_cu).cstr("v.c").u32(0x1000).u32(0x20);
    int_type(f);
    f.label("restrict");
    f.info.uleb(A_restrict);
    f.ref4("pointer");
    f.label("pointer");
    f.info.uleb(A_pointer).u8(4);
    f.ref4("int");
    f.info.uleb(A_func).cstr("f").u8(1).u32(0x1000).u32(0x20).uleb(2).u8(DW_OP_breg0 + 13).sleb(0);
    // A constant (a value, not a place) and a register.
    f.info.uleb(A_local).cstr("constant");
    f.ref4("int");
    f.info.uleb(3).u8(DW_OP_lit0 + 3).u8(DW_OP_stack_value).u8(0);
    f.info.uleb(A_local).cstr("p");
    f.ref4("restrict");
    f.info.uleb(1).u8(DW_OP_reg0 + 4);
    // A list: a value entry, then a register entry; a list of values only.
    f.info.uleb(A_listvar).cstr("mixed");
    f.ref4("int");
    f.info.u32(0);
    f.info.uleb(A_listvar).cstr("values");
    f.ref4("int");
    f.info.u32(0x1F);
    f.info.uleb(A_call_site).u32(0x1008);
    f.ref4("helper");
    f.info.u8(0);
    f.label("helper");
    f.info.uleb(A_decl).cstr("__aeabi_dadd");
    f.info.u8(0);
    f.end_unit();
    // Entries count from the unit's low_pc.
    f.loc.u32(0).u32(4).u16(2).u8(DW_OP_lit0 + 1).u8(DW_OP_stack_value);
    f.loc.u32(4).u32(0x10).u16(1).u8(DW_OP_reg0 + 5);
    f.loc.u32(0).u32(0);
    f.loc.u32(0).u32(0x10).u16(3).u8(DW_OP_GNU_entry_value).uleb(1).u8(DW_OP_reg0);
    f.loc.u32(0).u32(0);

    const Conversion c = convert(f.image());
    const Record& constant = need(c, "constant");
    EXPECT_EQ(constant["ident"], "NON");
    EXPECT_EQ(constant["fstart"], "0x0");
    const Record& p = need(c, "p");
    EXPECT_EQ(p["typen"], "int");
    EXPECT_EQ(p["kind"], "POINTER ");
    EXPECT_EQ(need(c, "mixed").floc, std::vector<std::string>{"0 0x1004 0x1010 0x55 0 0"});
    EXPECT_EQ(need(c, "values")["ident"], "NON");
    EXPECT_FALSE(c.find("__aeabi_dadd")) << c.sym;
    EXPECT_EQ(c.run.console.find("warning"), std::string::npos) << c.run.console;
}

TEST(LaterDwarf, LocationViewsAreNoLists) {
    DwarfBuilder f;
    declare(f);
    f.begin_unit(4, 4);
    f.info.uleb(A_cu).cstr("w.c").u32(0x1000).u32(0x20);
    int_type(f);
    f.info.uleb(A_viewvar).cstr("w");
    f.ref4("int");
    f.info.u32(4).u32(0);
    f.info.u8(0);
    f.end_unit();
    f.loc.uleb(0).uleb(1).uleb(1).uleb(0);  // the view pairs of the list's two entries
    f.loc.u32(0).u32(4).u16(1).u8(DW_OP_reg0 + 1);
    f.loc.u32(4).u32(8).u16(1).u8(DW_OP_reg0 + 2);
    f.loc.u32(0).u32(0);
    const Conversion c = convert(f.image(), {"-d"});
    EXPECT_EQ(need(c, "w").floc, (std::vector<std::string>{"0 0x1000 0x1004 0x51 0 0", "1 0x1004 0x1008 0x52 0 0"}));
    EXPECT_EQ(c.run.console.find("warning"), std::string::npos) << c.run.console;
    EXPECT_NE(c.sym.find("/.debug_loc Section[0]\n/[0x0004] beginning"), std::string::npos) << c.sym;
}

TEST(LaterDwarf, ValueDescriptionsAndOperandLengths) {
    const struct {
        std::vector<uint8_t> expr;
        bool value;
    } cases[] = {
        {{DW_OP_reg0 + 1}, false},
        {{DW_OP_breg0 + 3, 4, DW_OP_stack_value}, true},
        {{DW_OP_implicit_value, 2, 0x9f, 0x9f}, true},
        {{DW_OP_GNU_parameter_ref, 1, 2, 3, 4}, true},
        // Operands that hold the codes of value operations are stepped over.
        {{DW_OP_entry_value - 2 /* constx */, 0x9f, DW_OP_reg0}, false},
        {{DW_OP_const_type, 0x9f, 2, 0x9f, 0x9f, DW_OP_reg0}, false},
        {{DW_OP_regval_type, 0x9f, 0x9f}, false},
        // A constant alone is a value (clang's DWARF 2 for one); with more, a place.
        {{DW_OP_consts, 3}, true},
        {{DW_OP_lit0 + 5}, true},
        {{DW_OP_const4u, 0, 0x10, 0, 0}, true},
        {{DW_OP_constu, 0x80}, false},  // cut: not a whole constant
        {{DW_OP_constu, 0x10, DW_OP_deref}, false},
        {{DW_OP_addr, 0, 0x10, 0, 0}, false},
    };
    const LocTarget target{kMachineARM, 4, true};
    for (const auto& k : cases) {
        EXPECT_EQ(describes_value(target, make_reader(k.expr.data(), k.expr.size(), 0, k.expr.size(), false)), k.value)
            << int(k.expr[0]);
    }
}

}  // namespace
