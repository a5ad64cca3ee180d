#include "symbols/type_cache.h"

#include <cstring>

namespace {

bool ele_blank(const int32_t (&ele)[7]) {
    for (int32_t v : ele)
        if (v != 0) return false;
    return true;
}

// Entries and kept copies name their type fields alike.
template <typename To, typename From>
void copy_type_fields(To& to, const From& from) {
    to.typen = from.typen;
    to.kind = from.kind;
    std::memcpy(to.ele, from.ele, sizeof to.ele);
    to.one_byte = from.one_byte;
    to.struct_len = from.struct_len;
    to.bit_off = from.bit_off;
    to.bit_size = from.bit_size;
}

// Fields only the scope rules, the post-pass and the writer set.
bool outside_type_fields_blank(const SymbolEntry& e) {
    return e.external == 0 && e.fstart == 0 && e.fend == 0 && e.total_byte == 0 && e.bit_fixed == 0 &&
           e.regn.empty() && e.regcode == 0 && e.regop1 == 0 && e.regop2 == 0;
}

}  // namespace

bool expansion_fits(const SymbolState& t, int target) {
    if (target < 0 || target >= kMainBankSize - 1 || t.high_water > target) return false;
    const SymbolEntry& e = static_cast<const SymbolEntries&>(t.entries)[static_cast<size_t>(target)];
    return e.typen.empty() && e.one_byte == 0 && e.struct_len == 0 && e.bit_off == 0 && e.bit_size == 0 &&
           ele_blank(e.ele);
}

bool capture_expansion(const SymbolState& t, int target, int top, TypeExpansion& x) {
    const SymbolEntries& e = t.entries;
    const SymbolEntry& head = e[static_cast<size_t>(target)];
    copy_type_fields(x.target, head);
    x.target_nest = head.nest;
    x.current_step = t.current - target;
    x.added.clear();
    x.added.reserve(static_cast<size_t>(top - target));
    for (int i = target + 1; i <= top; ++i) {
        const SymbolEntry& from = e[static_cast<size_t>(i)];
        if (!outside_type_fields_blank(from)) return false;
        x.added.emplace_back();
        TypeFields& to = x.added.back();
        copy_type_fields(to, from);
        to.name = from.name;
        to.die_pos = from.die_pos;
        to.nest = from.nest - head.nest;
        to.ident = from.ident;
        to.location = from.location;
    }
    return true;
}

void apply_expansion(SymbolState& t, int target, const TypeExpansion& x) {
    SymbolEntries& e = t.entries;
    SymbolEntry& head = e[static_cast<size_t>(target)];
    copy_type_fields(head, x.target);
    const int32_t base = head.nest;
    int index = target;
    for (const TypeFields& from : x.added) {
        SymbolEntry& to = e[static_cast<size_t>(++index)];
        copy_type_fields(to, from);
        to.name = from.name;
        to.die_pos = from.die_pos;
        to.nest = from.nest + base;
        to.ident = from.ident;
        to.location = from.location;
    }
    if (index > target) touch_entry(t, index);
    t.current = target + x.current_step;
}
