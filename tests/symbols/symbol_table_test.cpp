#include <gtest/gtest.h>

#include "common/session.h"
#include "symbols/symbol_table.h"

namespace {

const char kOverflow[] = "Struct Symbol Table heep over flow !!\n";

void fill(SymbolEntry& e, const char* name) {
    e.name = name;
    e.typen = "int";
    e.ident = kIdentMember;
    e.kind = kKindArray | kKindBit;
    e.ele[0] = 1;
    e.ele[6] = 7;
    e.location = 12;
    e.regn = "R1";
    e.bit_fixed = 255;
    e.floc->seq[47] = 3;
    e.floc->op2[0] = -1;
    e.floc->count = kLocRows;  // a writer of rows says how far they reach
    e.die_pos = 99;
}

bool is_clear(const SymbolEntry& e) {
    if (!e.name.empty() || !e.typen.empty() || !e.regn.empty()) return false;
    if (e.nest || e.die_pos || e.ident || e.kind || e.external || e.location || e.fstart || e.fend ||
        e.one_byte || e.total_byte || e.struct_len || e.bit_off || e.bit_size || e.bit_fixed || e.regcode ||
        e.regop1 || e.regop2)
        return false;
    for (int v : e.ele)
        if (v) return false;
    for (int k = 0; k < kLocRows; ++k)
        if (e.floc->seq[k] || e.floc->begin[k] || e.floc->end[k] || e.floc->code[k] || e.floc->op1[k] || e.floc->op2[k])
            return false;
    return e.floc->count == 0;
}

TEST(SymbolTable, AdvanceFillsUpTo1023ThenClampsWithMessage) {
    Session s;
    s.console.to_memory = true;
    int index = 0;
    for (int i = 0; i < 1023; ++i) advance_symbol_index(s, index);
    EXPECT_EQ(index, 1023);
    EXPECT_EQ(s.console.text, "");
    advance_symbol_index(s, index);
    EXPECT_EQ(index, 1023);
    EXPECT_EQ(s.console.text, kOverflow);
    advance_symbol_index(s, index);
    EXPECT_EQ(s.console.text, std::string(kOverflow) + kOverflow);
    EXPECT_EQ(s.sym->high_water, 1023);
}

TEST(SymbolTable, OverflowMessageIsSilentInQuietMode) {
    Session s;
    s.console.to_memory = true;
    s.opt.quiet = true;
    int index = 1023;
    advance_symbol_index(s, index);
    EXPECT_EQ(index, 1023);
    EXPECT_EQ(s.console.text, "");
}

TEST(SymbolTable, ResetClearsEntries0To1024AndLeavesTheRest) {
    Session s;
    SymbolState& st = *s.sym;
    // Entries written through the advance rule and by marking (the -g copy).
    int index = 0;
    for (int i = 0; i < 5; ++i) advance_symbol_index(s, index);
    for (int i = 0; i <= 5; ++i) fill(st.entries[i], "m");
    touch_entry(st, kGlobalBankStart);
    fill(st.entries[1024], "copy@main");
    fill(st.entries[1025], "member copy");
    fill(st.entries[2047], "last");
    st.func_sibling = 77;
    st.scope.unit_name = "main.c";
    reset_symbol_table(st, false);
    for (int i = 0; i <= 1024; ++i) EXPECT_TRUE(is_clear(st.entries[i])) << i;
    EXPECT_EQ(st.entries[1025].name, "member copy");
    EXPECT_EQ(st.entries[2047].name, "last");
    EXPECT_EQ(st.scope.unit_name, "main.c");  // entries-only reset
    EXPECT_EQ(st.high_water, -1);
    EXPECT_FALSE(st.global_touched);

    st.scope.unit_low_pc = 5;
    st.scope.func_high_pc = 6;
    st.scope.frame_base_list = 7;
    st.scope.frame_base_op2 = 8;
    st.scope.function_name = "main";
    reset_symbol_table(s, true);
    EXPECT_EQ(st.scope.unit_name, "");
    EXPECT_EQ(st.scope.function_name, "");
    EXPECT_EQ(st.scope.unit_low_pc, 0);
    EXPECT_EQ(st.scope.func_high_pc, 0);
    EXPECT_EQ(st.scope.frame_base_list, 0u);
    EXPECT_EQ(st.scope.frame_base_op2, 0);
    EXPECT_EQ(st.func_sibling, 77u);  // neither reset clears it
    EXPECT_EQ(st.entries[1025].name, "member copy");
}

TEST(SymbolTable, ResetAlwaysClearsTheRootAndAnUnmarkedGlobalCopy) {
    SymbolState st;
    fill(st.entries[0], "root");
    fill(st.entries[1024], "copy@unit.c");  // written without touch_entry
    reset_symbol_table(st, false);
    EXPECT_TRUE(is_clear(st.entries[0]));
    EXPECT_TRUE(is_clear(st.entries[1024]));
}

TEST(SymbolTable, ResetAfterOverflowClearsTheWholeMainBank) {
    Session s;
    s.console.to_memory = true;
    int index = 0;
    for (int i = 0; i < 1100; ++i) {
        advance_symbol_index(s, index);
        fill(s.sym->entries[index], "x");
    }
    reset_symbol_table(*s.sym, false);
    for (int i = 0; i <= 1024; ++i) EXPECT_TRUE(is_clear(s.sym->entries[i])) << i;
}

TEST(SymbolTable, ManyResetsCostOnlyWhatWasUsed) {
    // A million top-level DIEs each using the root only: must be quick
    // (clearing 1025 entries each time would take minutes).
    SymbolState st;
    for (int i = 0; i < 1000000; ++i) {
        st.entries[0].name = "v";
        st.entries[0].location = i;
        reset_symbol_table(st, false);
    }
    EXPECT_TRUE(is_clear(st.entries[0]));
}

}  // namespace
