#include "symbols/symbol_table.h"

#include <cstring>

#include "common/session.h"

void clear_symbol_entry(SymbolEntry& e) {
    e.nest = 0;
    e.die_pos = 0;
    e.name.clear();
    e.typen.clear();
    e.ident = 0;
    e.kind = 0;
    std::memset(e.ele, 0, sizeof e.ele);
    e.external = 0;
    e.location = 0;
    e.fstart = 0;
    e.fend = 0;
    e.one_byte = 0;
    e.total_byte = 0;
    e.struct_len = 0;
    e.bit_off = 0;
    e.bit_size = 0;
    e.bit_fixed = 0;
    e.regn.clear();
    e.regcode = 0;
    e.regop1 = 0;
    e.regop2 = 0;
    e.floc.clear();
}

static void clear_scope(WalkScope& w) {
    w.unit_low_pc = w.unit_high_pc = 0;
    w.unit_base = 0;
    w.unit_has_ranges = false;
    w.unit_ranges = 0;
    w.func_low_pc = w.func_high_pc = 0;
    w.frame_base_list = 0;
    w.frame_base_code = w.frame_base_op1 = w.frame_base_op2 = 0;
    w.unit_ranges = false;
    w.unit_base = 0;
    w.unit_name.clear();
    w.function_name.clear();
}

void reset_symbol_table(SymbolState& st, bool whole) {
    if (whole) clear_scope(st.scope);
    // Entries above high_water were not written since the last reset, which
    // left them clear, so clearing 0..high_water equals clearing 0..1023.
    int last = st.high_water < 0 ? 0 : st.high_water;
    if (last >= kMainBankSize) last = kMainBankSize - 1;
    for (int i = 0; i <= last; ++i) clear_symbol_entry(st.entries[i]);
    // Entry 1024 must read as empty after every reset: it says whether a -g
    // copy is pending. A copy always has a name, so checking the name also
    // covers a writer that forgot to mark it.
    const SymbolEntries& seen = st.entries;  // looking does not allocate
    if (st.global_touched || !seen[kGlobalBankStart].name.empty()) clear_symbol_entry(st.entries[kGlobalBankStart]);
    st.high_water = -1;
    st.global_touched = false;
}

void reset_symbol_table(Session& s, bool whole) { reset_symbol_table(*s.sym, whole); }

void advance_symbol_index(Session& s, int& index) {
    ++index;
    if (index >= kMainBankSize) {
        index = kMainBankSize - 1;
        console_print(s, "Struct Symbol Table heep over flow !!\n");
    }
    touch_entry(*s.sym, index);
}
