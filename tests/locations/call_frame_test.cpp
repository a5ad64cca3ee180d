// The call-frame reader: CFA rules from hand-made tables, and from the
// compiled fixtures against readelf's own interpretation.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>

#include "common/session.h"
#include "common/text_io.h"
#include "elf/elf_reader.h"
#include "locations/call_frame.h"
#include "support/elf_builder.h"
#include "support/run_helpers.h"

static void PrintTo(const CfaRule& r, std::ostream* os) {
    char text[64];
    std::snprintf(text, sizeof text, "[0x%X,0x%X) r%u%+d", r.start, r.end, r.reg, r.offset);
    *os << text;
}

namespace {


// A table in memory, indexed as the converter indexes a section.
struct Table {
    Session s;
    CallFrames f;
    Table(const ByteWriter& w, bool eh, uint32_t address = 0) {
        s.console.to_memory = true;
        s.image.assign(w.bytes.begin(), w.bytes.end());
        s.elf.big_endian = w.big_endian;
        f.section = eh ? ".eh_frame" : ".debug_frame";
        f.bytes = image_range(s, 0, s.image.size());
        f.eh = eh;
        f.address = address;
        index_call_frames(s, f);
    }
    std::vector<CfaRule> rules(uint32_t low, uint32_t high) { return cfa_rules(s, f, low, high); }
};

// A .debug_frame CIE (code alignment 2, data alignment -4, return address
// r14) whose initial instructions set the CFA to r13 + 0.
size_t debug_cie(ByteWriter& w, int version) {
    const size_t at = w.size();
    const size_t length = w.placeholder32();
    w.u32(0xFFFFFFFF).u8(version).cstr("");
    if (version == 4) w.u8(4).u8(0);
    w.uleb(2).sleb(-4);
    if (version == 1) {
        w.u8(14);
    } else {
        w.uleb(14);
    }
    w.raw({0x0C, 13, 0});
    w.patch_length32(length);
    return at;
}

void debug_fde(ByteWriter& w, size_t cie, uint32_t begin, uint32_t range, const std::vector<uint8_t>& ops) {
    const size_t length = w.placeholder32();
    w.u32(static_cast<uint32_t>(cie)).u32(begin).u32(range).raw(ops);
    w.patch_length32(length);
}

// Every CFA instruction kind, and register rules in between.
std::vector<uint8_t> prologue_ops(bool big_endian) {
    std::vector<uint8_t> two = big_endian ? std::vector<uint8_t>{0, 2} : std::vector<uint8_t>{2, 0};
    std::vector<uint8_t> one = big_endian ? std::vector<uint8_t>{0, 0, 0, 1} : std::vector<uint8_t>{1, 0, 0, 0};
    std::vector<uint8_t> ops = {
        0x41, 0x00, 0x41,                // advance 2, nop, advance 2: one rule
        0x0E, 0x08, 0x8E, 0x01,          // def_cfa_offset 8; offset r14
        0x02, 0x03,                      // advance_loc1 3 (6 bytes)
        0x0D, 0x07, 0x0A, 0x03,          // def_cfa_register r7; remember_state; advance_loc2
    };
    ops.insert(ops.end(), two.begin(), two.end());
    const std::vector<uint8_t> middle = {
        0x13, 0x7C,                      // def_cfa_offset_sf -1: 16
        0x2E, 0x10,                      // GNU_args_size
        0x10, 0x05, 0x02, 0x70, 0x00,    // expression r5, two bytes
        0x16, 0x06, 0x01, 0x9F,          // val_expression r6, one byte
        0x09, 0x04, 0x05, 0x07, 0x04,    // register; undefined
        0x41, 0x0B,                      // advance 2; restore_state (r7 + 8)
        0x12, 0x0D, 0x7E,                // def_cfa_sf r13, -2: 8
        0x04,                            // advance_loc4 1 (2 bytes)
    };
    ops.insert(ops.end(), middle.begin(), middle.end());
    ops.insert(ops.end(), one.begin(), one.end());
    ops.insert(ops.end(), {0x0C, 0x0D, 0x00, 0xC4});  // def_cfa r13 0; restore r4
    return ops;
}

const std::vector<CfaRule> kPrologueRules = {
    {0x100, 0x104, 13, 0}, {0x104, 0x10A, 13, 8}, {0x10A, 0x10E, 7, 8},
    {0x10E, 0x110, 7, 16}, {0x110, 0x112, 13, 8}, {0x112, 0x120, 13, 0},
};

TEST(CallFrame, DebugFrameRulesForEveryCieVersionAndByteOrder) {
    for (int version : {1, 3, 4}) {
        for (bool big_endian : {false, true}) {
            SCOPED_TRACE("version " + std::to_string(version) + (big_endian ? " big" : " little"));
            ByteWriter w(big_endian);
            const size_t cie = debug_cie(w, version);
            debug_fde(w, cie, 0x200, 0x10, {0x44, 0x0E, 0x04});  // listed first, sorted by address
            debug_fde(w, cie, 0x100, 0x20, prologue_ops(big_endian));
            Table t(w, false);
            EXPECT_EQ(t.rules(0x100, 0x120), kPrologueRules);
            EXPECT_EQ(t.rules(0x200, 0x210), (std::vector<CfaRule>{{0x200, 0x208, 13, 0}, {0x208, 0x210, 13, 4}}));
            // Clipped to the function's own range; no FDE covers 0x50.
            EXPECT_EQ(t.rules(0x108, 0x111),
                      (std::vector<CfaRule>{{0x108, 0x10A, 13, 8}, {0x10A, 0x10E, 7, 8}, {0x10E, 0x110, 7, 16},
                                            {0x110, 0x111, 13, 8}}));
            EXPECT_TRUE(t.rules(0x50, 0x60).empty());
            EXPECT_EQ(t.s.console.text, "");
        }
    }
}

TEST(CallFrame, EhFrameAugmentationsAndPointerEncodings) {
    const uint32_t section = 0x8000;
    ByteWriter w;
    // CIE "zR": FDE addresses pc-relative signed 4-byte.
    size_t length = w.placeholder32();
    w.u32(0).u8(1).cstr("zR").uleb(1).sleb(-4).u8(14).uleb(1).u8(0x1B).raw({0x0C, 13, 0});
    w.patch_length32(length);
    length = w.placeholder32();
    size_t field = w.placeholder32();
    w.patch32(field, static_cast<uint32_t>(field));
    w.u32(0x100 - (section + static_cast<uint32_t>(w.size()))).u32(0x10).uleb(0).raw({0x44, 0x0E, 0x10});
    w.patch_length32(length);
    // CIE "zPLR": a personality pointer, an LSDA encoding, absolute FDE addresses.
    const size_t second = w.size();
    length = w.placeholder32();
    w.u32(0).u8(3).cstr("zPLR").uleb(1).sleb(-4).uleb(14).uleb(7).u8(0x03).u32(0xABCD).u8(0x1B).u8(0x03);
    w.raw({0x0C, 7, 4});
    w.patch_length32(length);
    length = w.placeholder32();
    field = w.placeholder32();
    w.patch32(field, static_cast<uint32_t>(field - second));
    w.u32(0x300).u32(0x8).uleb(4).u32(0).raw({0x42, 0x0E, 0x0C});
    w.patch_length32(length);
    w.u32(0);  // terminator

    Table t(w, true, section);
    EXPECT_EQ(t.rules(0x100, 0x110), (std::vector<CfaRule>{{0x100, 0x104, 13, 0}, {0x104, 0x110, 13, 16}}));
    EXPECT_EQ(t.rules(0x300, 0x308), (std::vector<CfaRule>{{0x300, 0x302, 7, 4}, {0x302, 0x308, 7, 12}}));
    EXPECT_EQ(t.s.console.text, "");
}

TEST(CallFrame, DamageStopsTheRulesWithOneWarning) {
    struct Case {
        const char* what;
        std::vector<uint8_t> ops;
        std::vector<CfaRule> rules;
        const char* warning;  // empty: none
    };
    const Case cases[] = {
        // A CFA given by an expression ends the rules where it takes effect.
        {"expression", {0x42, 0x0F, 0x02, 0x7D, 0x00, 0x42, 0x0E, 0x08}, {{0x100, 0x104, 13, 0}}, ""},
        {"unknown instruction", {0x42, 0x20, 0x42}, {{0x100, 0x104, 13, 0}},
         "warning: unknown call-frame instruction at offset 0x21 of .debug_frame; the call-frame rules stop there\n"},
        {"cut operand", {0x42, 0x0E, 0x88}, {{0x100, 0x104, 13, 0}},
         "warning: call-frame instruction cut by the end of its entry at offset 0x21 of .debug_frame; the "
         "call-frame rules stop there\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ByteWriter w;
        debug_fde(w, debug_cie(w, 1), 0x100, 0x20, c.ops);
        Table t(w, false);
        EXPECT_EQ(t.rules(0x100, 0x120), c.rules);
        EXPECT_EQ(t.rules(0x100, 0x120), c.rules);  // asked again: no second warning
        EXPECT_EQ(t.s.console.text, c.warning);
    }

    // An entry that runs past the end of the section: the FDEs before it stay.
    ByteWriter w;
    debug_fde(w, debug_cie(w, 1), 0x100, 0x20, {});
    w.u32(0x40).u32(0);
    Table t(w, false);
    EXPECT_EQ(t.rules(0x100, 0x120), (std::vector<CfaRule>{{0x100, 0x120, 13, 0}}));
    EXPECT_EQ(t.s.console.text,
              "warning: entry runs past the end of the section at offset 0x20 of .debug_frame; the call-frame rules "
              "stop there\n");
}

// readelf --debug-dump=frames-interp: per FDE its range and, per row, the CFA as rN+OFF.
std::map<uint32_t, std::vector<CfaRule>> readelf_rules(const std::string& path) {
    std::map<uint32_t, std::vector<CfaRule>> out;
    std::map<unsigned long, CfaRule> cie_rule;  // the CIE's initial row, by offset
    bool ok = false;
    std::istringstream in(run_command("readelf --debug-dump=frames-interp '" + path + "' 2>/dev/null", &ok));
    std::string line;
    unsigned long entry = 0, cie = 0;
    unsigned begin = 0, end = 0;
    bool in_fde = false;
    std::vector<CfaRule>* rules = nullptr;
    auto close = [&] {
        if (in_fde && rules->empty()) rules->push_back({begin, end, cie_rule[cie].reg, cie_rule[cie].offset});
        if (in_fde && !rules->empty()) rules->back().end = end;
        in_fde = false;
    };
    while (std::getline(in, line)) {
        unsigned long at = 0, length = 0, id = 0, fde_cie = 0;
        unsigned loc = 0, reg = 0, fde_begin = 0, fde_end = 0;
        int offset = 0;
        char kind[4] = {};
        if (std::sscanf(line.c_str(), "%lx %lx %lx %3s cie=%lx pc=%x..%x", &at, &length, &id, kind, &fde_cie,
                        &fde_begin, &fde_end) == 7 &&
            std::string(kind) == "FDE") {
            close();
            in_fde = true;
            cie = fde_cie;
            begin = fde_begin;
            end = fde_end;
            rules = &out[begin];
        } else if (std::sscanf(line.c_str(), "%lx %lx %lx %3s", &at, &length, &id, kind) == 4 &&
                   std::string(kind) == "CIE") {
            close();
            entry = at;
        } else if (std::sscanf(line.c_str(), "%x r%u%d", &loc, &reg, &offset) == 3) {
            if (!in_fde) {
                cie_rule[entry] = {0, 0, reg, offset};
                continue;
            }
            if (loc >= end) continue;  // a row at the end address covers nothing
            // A later row at the same address replaces the earlier one; equal rules merge.
            if (!rules->empty() && rules->back().start == loc) rules->pop_back();
            if (!rules->empty() && rules->back().reg == reg && rules->back().offset == offset) continue;
            if (!rules->empty()) rules->back().end = loc;
            rules->push_back({loc, end, reg, offset});
        }
    }
    close();
    return out;
}

TEST(CallFrame, FixturesAgreeWithReadelf) {
    if (!have_tool("readelf")) GTEST_SKIP() << "readelf is not installed";
    const char* const kFiles[] = {"arm_le.elf", "arm_be.elf", "sh4_be.elf", "compilers/gcc-m3-O2-d2s.elf",
                                  "compilers/gcc-sh4be-O2-d4.elf", "compilers/clang-m3-O0-d4.elf",
                                  "compilers/clang-m3-O2-d5.elf"};
    for (const char* name : kFiles) {
        SCOPED_TRACE(name);
        Session s;
        s.console.to_memory = true;
        const std::vector<uint8_t> bytes = read_file_bytes(data_path(name));
        s.image.assign(bytes.begin(), bytes.end());
        OutText sym;
        out_open_memory(sym);
        ASSERT_TRUE(read_elf(s, sym));
        CallFrames frames;
        ASSERT_TRUE(read_call_frames(s, frames));
        const auto expected = readelf_rules(data_path(name));
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(frames.fdes.size(), expected.size());
        for (const auto& [begin, rules] : expected) {
            EXPECT_EQ(cfa_rules(s, frames, begin, rules.back().end), rules) << std::hex << begin;
        }
        EXPECT_EQ(s.console.text.find("warning: "), std::string::npos);
    }
}

}  // namespace
