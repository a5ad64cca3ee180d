// The scope rules: what the attributes of units, labels, functions,
// variables and parameters write into the root entry and the walk scope
// (the unit's and the current function's addresses, frame base and names).
// They decide a symbol's category (ident), its range and its place:
// address, register or frame offset, or location-list rows.
#pragma once

#include <cstdint>

#include "locations/loc_list.h"
#include "symbols/attribute_rules.h"

struct Session;
struct OutText;

// What the scope rules work on besides the attribute.
struct ScopeRuleContext {
    Session& s;               // run options, the target machine, location lists
    OutText& sym;             // trace lines of the location lists read
    SymbolState& t;           // root entry, walk scope, func_sibling, current index
    LocRows& scratch;         // receives a location list read for one attribute
    bool& frame_base_is_list; // the current function's frame base was a location list
    // The rows of a frame base taken from the call-frame information (a
    // list whose rows stand here rather than in .debug_loc), when
    // frame_base_is_list is set and frame_base_from_cfa too.
    LocRows& frame_rows;
    bool& frame_base_from_cfa;
    const ListUnit& unit;     // the unit's version and address table, for its lists
};

// The tags that have scope rules.
inline bool has_scope_rules(uint32_t tag) {
    return tag == DW_TAG_compile_unit || tag == DW_TAG_label || tag == DW_TAG_subprogram ||
           tag == DW_TAG_variable || tag == DW_TAG_formal_parameter;
}

// Whether the scope rule of `tag` does anything with attribute `attr` (of
// some form). Every attribute of a unit counts: each one points the current
// index back at the root.
constexpr bool scope_rule_reads(uint32_t tag, uint32_t attr) {
    switch (tag) {
    case DW_TAG_compile_unit: return true;
    case DW_TAG_label:
        return attr == DW_AT_name || attr == DW_AT_external || attr == DW_AT_low_pc || attr == DW_AT_location;
    case DW_TAG_subprogram:
        return attr == DW_AT_decl_file || attr == DW_AT_name || attr == DW_AT_external || attr == DW_AT_type ||
               attr == DW_AT_frame_base || attr == DW_AT_low_pc || attr == DW_AT_ranges || attr == DW_AT_high_pc ||
               attr == DW_AT_sibling;
    case DW_TAG_variable:
    case DW_TAG_formal_parameter:
        return attr == DW_AT_name || attr == DW_AT_external || attr == DW_AT_declaration || attr == DW_AT_type ||
               attr == DW_AT_location;
    default: return false;
    }
}

// Applies the scope rule of `tag` for one attribute (tags without scope
// rules do nothing). `target` is the entry the type rules write; a rule that
// follows DW_AT_type moves it to the current index.
FollowRequest apply_scope_rule(ScopeRuleContext& c, uint32_t tag, const AttributeView& a, int& target);

// After the last attribute of a compilation unit's DIE: a unit given by
// DW_AT_ranges takes the first range of its list (based on its
// DW_AT_low_pc, wherever that stood) as its address range.
void finish_unit_attributes(ScopeRuleContext& c);

// After the last attribute of any DIE, when the root entry is a static
// variable: without address and size it is dropped; with -g it is copied
// into the global bank (entry 1024) under the name name@function or
// name@unit.
void finish_static_root(ScopeRuleContext& c);
inline void finish_root_attributes(ScopeRuleContext& c) {
    if (c.t.entries[0].ident == kIdentLocalS) finish_static_root(c);
}
