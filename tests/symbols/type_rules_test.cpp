// Type names from encodings, the post-pass, and the SYM files of the real
// fixtures checked against an independent decoder (readelf).
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <sstream>

#include "common/session.h"
#include "symbols/sym_test_util.h"
#include "symbols/scope_rules.h"
#include "symbols/symbol_table.h"
#include "symbols/type_rules.h"

namespace {

TEST(TypeRules, EncodingTypeNames) {
    const std::pair<uint32_t, const char*> cases[] = {{2, "int"},  {4, "float"}, {5, "int"},  {6, "char"},
                                                      {7, "Uint"}, {8, "Uchar"}, {1, "void"}, {0x80, "void"}};
    for (const auto& c : cases) {
        std::string t = "old";
        encoding_type_name(t, c.first);
        EXPECT_EQ(t, c.second) << c.first;
    }
}

TEST(TypeRules, PostPassSizesNamesAndMemberRanges) {
    Session s;
    s.elf.address_size = 2;
    SymbolState& t = *s.sym;
    auto at = [&](int i) -> SymbolEntry& {
        touch_entry(t, i);
        return t.entries[static_cast<size_t>(i)];
    };
    SymbolEntry& root = at(0);
    root.name = "v";
    root.fstart = 0x100;
    root.fend = 0x200;
    root.kind = kKindArray | kKindPointer;
    root.ele[0] = 2;
    root.ele[1] = 3;
    root.ele[2] = 5;
    root.one_byte = 99;  // a pointer's element size is the address size
    SymbolEntry& m = at(1);
    m.name = "m";
    m.ident = kIdentMember;
    m.typen = "LONG DOUBLE";
    m.one_byte = 4;
    SymbolEntry& bits = at(2);
    bits.name = "b";
    bits.ident = kIdentMember;
    bits.kind = kKindBit;
    bits.one_byte = 4;
    SymbolEntry& d = at(3);
    d.name = "d";
    d.typen = "double";
    d.one_byte = 8;
    SymbolEntry& unnamed = at(4);
    unnamed.one_byte = 7;
    finish_symbols(t, s.elf.address_size);
    EXPECT_EQ(root.one_byte, 2);
    EXPECT_EQ(root.total_byte, 30);
    EXPECT_EQ(m.typen, "float");
    EXPECT_EQ(m.fstart, 0x100);
    EXPECT_EQ(m.fend, 0x200);
    EXPECT_EQ(m.total_byte, 4);
    EXPECT_EQ(bits.total_byte, 0);  // BIT entries keep their sizes
    EXPECT_EQ(bits.fstart, 0x100);
    EXPECT_EQ(d.typen, "double");
    EXPECT_EQ(d.fstart, 0);  // not a member
    EXPECT_EQ(unnamed.total_byte, 0);
}

// Base type names are kept in their short form from the start; the names
// the post-pass rewrites are left for it.
TEST(TypeRules, BaseTypeNamesAreStoredShort) {
    const std::pair<const char*, const char*> cases[] = {
        {"unsigned int", "Uint"},     {"long unsigned int", "Ulong"}, {"short int", "short"},
        {"long double", "long double"}, {"double", "double"},        {"unsigned", "unsigned"},
    };
    for (const auto& c : cases) {
        Session s;
        SymbolState& t = *s.sym;
        t.entries[0].name = "v";
        AttributeValue value;
        value.text = c.first;
        AttributeView a;
        a.attr = DW_AT_name;
        a.form = DW_FORM_string;
        a.raw = &value;
        int target = 0;
        apply_type_rule(t, DW_TAG_base_type, a, target);
        EXPECT_EQ(t.entries[0].typen, c.second) << c.first;
    }
}

// The walk steps over the values of attributes the rules are said not to
// read; applying the rules to any of them, of any form, must change nothing.
std::string rule_state(const SymbolState& t) {
    std::ostringstream o;
    for (int i = 0; i < 3; ++i) {
        const SymbolEntry& e = t.entries[i];
        o << e.nest << e.name << '|' << e.typen << '|' << e.ident << ' ' << e.kind << ' ' << e.location << ' '
          << e.fstart << ' ' << e.fend << ' ' << e.one_byte << ' ' << e.struct_len << ' ' << e.bit_off << ' '
          << e.bit_size << ' ' << e.external << ' ' << e.regn << e.floc->count;
        for (int32_t x : e.ele) o << ',' << x;
        o << ';';
    }
    const WalkScope& w = t.scope;
    o << t.current << ' ' << t.func_sibling << ' ' << t.sibling_use.settled << w.unit_low_pc << ' ' << w.unit_high_pc
      << ' ' << w.unit_has_ranges << ' ' << w.func_low_pc << ' ' << w.func_high_pc << ' ' << w.frame_base_list << ' '
      << w.frame_base_code << ' ' << w.unit_name << ' ' << w.function_name;
    return o.str();
}

TEST(AttributeRules, AttributesNoRuleReadsChangeNothing) {
    const uint32_t forms[] = {DW_FORM_data1, DW_FORM_data4,  DW_FORM_string, DW_FORM_block1,
                              DW_FORM_ref4,  DW_FORM_flag, DW_FORM_addr,   DW_FORM_sec_offset};
    AttributeValue value;
    value.text = "unsigned int";
    const uint8_t bytes[] = {DW_OP_plus_uconst, 0x10, 0, 0};
    std::memcpy(value.bytes, bytes, sizeof bytes);
    for (uint32_t tag = 1; tag <= 0x4b; ++tag) {
        Session s;
        SymbolState& t = *s.sym;
        OutText sym;
        LocRows scratch, frame_rows;
        bool is_list = false, from_cfa = false;
        const ListUnit unit;
        ScopeRuleContext c{s, sym, t, scratch, is_list, frame_rows, from_cfa, unit};
        t.entries[0].name = "v";
        t.entries[1].name = "m";
        t.current = 1;
        t.func_sibling = 9;
        const std::string before = rule_state(t);
        for (uint32_t attr = 1; attr <= 0x8c; ++attr) {
            for (uint32_t form : forms) {
                AttributeView a;
                a.attr = attr;
                a.form = form;
                a.value = 0x10;
                a.raw = &value;
                int target = 1;
                if (has_scope_rules(tag) && !scope_rule_reads(tag, attr)) {
                    EXPECT_FALSE(apply_scope_rule(c, tag, a, target).follow);
                    EXPECT_EQ(rule_state(t), before) << "scope rule, tag " << tag << " attr " << attr << " form " << form;
                }
                if (!type_rule_reads(tag, attr)) {
                    EXPECT_FALSE(apply_type_rule(t, tag, a, target).follow);
                    EXPECT_EQ(rule_state(t), before) << "type rule, tag " << tag << " attr " << attr << " form " << form;
                }
                ASSERT_EQ(target, 1);
            }
        }
    }
}

// ---- The real fixtures against readelf ----

struct ReadelfFacts {
    // name -> value, for OBJECT and FUNC symbols by binding
    std::map<std::string, uint32_t> global_objects, global_functions;
    std::map<std::string, std::set<uint32_t>> local_objects;
    std::map<std::string, std::set<uint32_t>> member_offsets;
    std::set<uint32_t> upper_bounds;
};

ReadelfFacts readelf_facts(const std::string& path) {
    ReadelfFacts f;
    std::istringstream syms(run_command("readelf --wide --syms " + path));
    std::string line;
    while (std::getline(syms, line)) {
        std::istringstream l(line);
        std::string num, value, size, type, bind, vis, ndx, name;
        if (!(l >> num >> value >> size >> type >> bind >> vis >> ndx >> name)) continue;
        if (num.empty() || num.back() != ':' || !isdigit(static_cast<unsigned char>(num[0])) || ndx == "UND" || ndx == "ABS") continue;
        uint32_t v = static_cast<uint32_t>(std::stoul(value, nullptr, 16));
        if (type == "OBJECT" && bind == "GLOBAL") f.global_objects[name] = v;
        if ((type == "OBJECT" || type == "NOTYPE") && bind == "LOCAL") {
            // Static locals of functions get a ".N" suffix in the symbol table.
            size_t dot = name.find('.');
            f.local_objects[dot == std::string::npos ? name : name.substr(0, dot)].insert(v);
        }
        if (type == "FUNC" && bind == "GLOBAL") f.global_functions[name] = v;
    }
    std::istringstream info(run_command("readelf --debug-dump=info " + path + " 2>/dev/null"));
    bool in_member = false;
    std::string member_name;
    bool member_located = false;
    while (std::getline(info, line)) {
        if (line.find("Abbrev Number") != std::string::npos) {
            // A member without DW_AT_data_member_location (a union member) is at offset 0.
            if (in_member && !member_name.empty() && !member_located) f.member_offsets[member_name].insert(0);
            member_located = false;
            in_member = line.find("(DW_TAG_member)") != std::string::npos;
            member_name.clear();
            continue;
        }
        size_t at = line.find("DW_AT_name");
        if (in_member && at != std::string::npos) {
            size_t colon = line.rfind(": ");
            member_name = line.substr(colon + 2);
        }
        at = line.find("(DW_OP_plus_uconst: ");
        if (in_member && at != std::string::npos && line.find("DW_AT_data_member_location") != std::string::npos) {
            member_located = true;
            f.member_offsets[member_name].insert(static_cast<uint32_t>(std::stoul(line.substr(at + 20))));
        }
        at = line.find("DW_AT_upper_bound");
        if (at != std::string::npos) {
            size_t colon = line.find(": ", at);
            f.upper_bounds.insert(static_cast<uint32_t>(std::stoul(line.substr(colon + 2))));
        }
    }
    return f;
}

class FixtureSym : public ::testing::TestWithParam<const char*> {};

TEST_P(FixtureSym, RecordsAgreeWithReadelf) {
    if (!have_tool("readelf")) GTEST_SKIP() << "readelf not installed";
    const std::string path = data_path(GetParam());
    std::vector<uint8_t> image = read_file_bytes(path);
    if (image.empty()) GTEST_SKIP() << "fixture missing";
    const bool arm = std::string(GetParam()).rfind("arm", 0) == 0;
    ReadelfFacts facts = readelf_facts(path);
    ASSERT_FALSE(facts.global_objects.empty());
    ASSERT_FALSE(facts.member_offsets.empty());

    symtest::Conversion c = symtest::convert(image);
    EXPECT_EQ(c.run.console.find("warning"), std::string::npos) << c.run.console;

    auto hex = [](uint32_t v) {
        char b[16];
        std::snprintf(b, sizeof b, "0x%X", v);
        return std::string(b);
    };
    // Every global variable and function written has readelf's address. (A
    // global defined through DW_AT_specification has no name of its own in
    // its defining DIE, so only its declaration is written, as NON.)
    size_t globals = 0, functions = 0, statics = 0;
    for (const symtest::Record& r : c.records) {
        if (r.index != 0) continue;
        const std::string& name = r["name"];
        if (r["ident"] == "VARIABLE" && name.find('@') == std::string::npos) {
            auto it = facts.global_objects.find(name);
            ASSERT_NE(it, facts.global_objects.end()) << name;
            EXPECT_EQ(r["location"], hex(it->second)) << name;
            ++globals;
        } else if (r["ident"] == "PROGRAM") {
            auto it = facts.global_functions.find(name);
            ASSERT_NE(it, facts.global_functions.end()) << name;
            // Thumb function symbols carry the Thumb bit; DW_AT_low_pc does not.
            EXPECT_EQ(r["location"], hex(arm ? it->second & ~1u : it->second)) << name;
            ++functions;
        } else if (r["ident"] == "LOCAL_S") {
            auto it = facts.local_objects.find(name);
            ASSERT_NE(it, facts.local_objects.end()) << name;
            uint32_t loc = static_cast<uint32_t>(std::stoul(r["location"], nullptr, 16));
            EXPECT_TRUE(it->second.count(loc)) << name;
            ++statics;
        }
    }
    EXPECT_GT(globals, 5u);
    EXPECT_GT(functions, 5u);
    EXPECT_GT(statics, 2u);
    size_t members = 0, arrays = 0;
    for (const symtest::Record& r : c.records) {
        // Bit-field members are moved by the bit-field fix-up; the others
        // must sit at their DW_AT_data_member_location.
        if (r["ident"] == "MEMBER" && r["kind"].find("BIT") == std::string::npos) {
            ++members;
            auto it = facts.member_offsets.find(r["name"]);
            ASSERT_NE(it, facts.member_offsets.end()) << r["name"];
            uint32_t loc = static_cast<uint32_t>(std::stoul(r["location"], nullptr, 16));
            EXPECT_TRUE(it->second.count(loc)) << r["name"] << " at " << r["location"];
            EXPECT_NE(r["nest"][0], '-') << r.text;
            EXPECT_NE(r["nest"], "0") << r.text;
        }
        if (r.has("ele")) {
            ++arrays;
            std::istringstream e(r["ele"]);
            int dims = 0;
            e >> dims;
            for (int d = 0; d < dims; ++d) {
                long n = 0;
                e >> n;
                EXPECT_TRUE(facts.upper_bounds.count(static_cast<uint32_t>(n - 1))) << r.text;
            }
        }
        // Register and frame variables carry their register text.
        if (r["ident"] == "LOCAL_R" || r["ident"] == "LOCAL_F") {
            EXPECT_TRUE(r.has("regn")) << r.text;
        }
    }
    EXPECT_GT(members, 20u);
    EXPECT_GT(arrays, 3u);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureSym,
                         ::testing::Values("arm_le.elf", "arm_be.elf", "arm_o2.elf", "sh4.elf", "sh4_be.elf"));

TEST(FixtureSymShapes, KnownTreesOfTheArmBuild) {
    std::vector<uint8_t> image = read_file_bytes(data_path("arm_le.elf"));
    if (image.empty()) GTEST_SKIP() << "fixture missing";
    symtest::Conversion c = symtest::convert(image, {"-g"});
    // s_limits is double[2][3] (optimised away, so without an address).
    const symtest::Record* limits = c.find("s_limits");
    ASSERT_TRUE(limits);
    EXPECT_EQ((*limits)["ele"], "2 2 3 0 0 0 0");
    EXPECT_EQ((*limits)["typen"], "double");
    EXPECT_EQ((*limits)["total_byte"], "48");
    // A file-scope static and its -g copy, named after its unit.
    const symtest::Record* weights = c.find("s_weights");
    ASSERT_TRUE(weights);
    EXPECT_EQ((*weights)["ident"], "LOCAL_S");
    const symtest::Record* copy = c.find("s_weights@shapes.c");
    ASSERT_TRUE(copy);
    EXPECT_EQ((*copy)["ident"], "VARIABLE");
    EXPECT_EQ((*copy)["location"], (*weights)["location"]);
    // The self-referential list node: every member once, none above level 1.
    const symtest::Record* next = c.find("next");
    ASSERT_TRUE(next);
    EXPECT_EQ((*next)["kind"], "POINTER STRUCT ");
    EXPECT_EQ((*next)["nest"], "1");
}

}  // namespace
