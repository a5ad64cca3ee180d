// Building symbol trees from DIEs: one DIE's attributes at a time, with the
// type references and member lists they lead to.
//
// A top-level DIE fills the root entry (entry 0) of the struct symbol table;
// the DIEs reached through DW_AT_type and the children of arrays, structures
// and unions add their information to the entries below it.
#pragma once

#include <memory>
#include <unordered_map>
#include <vector>

#include <cstddef>
#include <cstdint>
#include <string>

#include "locations/loc_expr.h"
#include "symbols/attributes.h"
#include "symbols/symbol_table.h"

struct Session;
struct OutText;

// How deep build_symbol may nest (type references, member lists, members'
// types). Real type graphs stay far below; a deeper chain is cut there.
constexpr int kMaxTypeDepth = 128;

// What the walk of one unit keeps besides the symbol table.
struct WalkContext {
    size_t info_start = 0, info_end = 0;  // image range of .debug_info
    size_t unit_start = 0, unit_end = 0;  // image range of the unit being walked

    // The current function's DW_AT_frame_base was a location list (so
    // WalkScope::frame_base_list is the offset of a list, not stale or 0).
    bool frame_base_is_list = false;

    // build_symbol calls currently active.
    int depth = 0;
    // Member entries handed out so far in this unit; a type chain that comes
    // back to a DIE without a new member entry in between is a cycle.
    uint32_t allocations = 0;
    struct Link {
        size_t die;
        uint32_t allocations;
    };
    Link chain[kMaxTypeDepth + 2];  // the DIEs follow_type is inside of
    int chain_length = 0;

    // A value or DIE was cut by the end of its unit or section.
    bool cut = false;
    // One warning per kind and unit.
    bool warned_depth = false, warned_cycle = false, warned_reference = false;

    SymbolEntry scratch;  // receives location lists read for one attribute

    // Member entries by die_pos, built once a tree grows large, so that the
    // refusal test stays cheap for structures with hundreds of members.
    // Lookups re-check the entry, so stale positions are harmless.
    std::unordered_multimap<size_t, int> member_index;
    bool member_index_active = false;

    // One attribute value buffer per build_symbol depth, reused from DIE to
    // DIE: a fresh buffer costs a 1 KB clear, and the nested calls a type
    // reference makes must not overwrite the value of the caller.
    std::vector<std::unique_ptr<AttributeValue>> values;
};

// One attribute as the rules see it.
struct AttributeView {
    uint32_t attr = 0;
    uint32_t form = 0;   // the form decoded (DW_FORM_ref2 type references become DW_FORM_ref_addr)
    uint32_t value = 0;  // the first four value bytes as a number, zero-extended
    const AttributeValue* raw = nullptr;
    LocOpResult op;      // first operation of a block value (cleared otherwise)
};

inline bool given_as_string(uint32_t form) { return form == 0x08 || form == 0x0e; }
inline bool given_as_block(uint32_t form) { return form == 0x0a || form == 0x09; }
inline bool given_as_address(uint32_t form) { return form == 0x01; }
inline uint8_t first_byte(const AttributeView& a) { return a.raw->bytes[0]; }

// Stores a name or type name, cut at 1024 characters.
void set_name(std::string& dest, const std::string& text);

// Processes the DIE whose attribute values start at `values` (image offset)
// with the given tag and attribute specifications (image offset in
// .debug_abbrev). A member DIE already present in entries 0..current is
// refused: the unchanged position is returned and nothing is read. Otherwise
// returns the position after the DIE's own attribute values.
size_t build_symbol(Session& s, OutText& sym, WalkContext& ctx, size_t values, uint32_t tag, size_t specs,
                    bool has_children, int32_t nest, int& current);

// Processes the DIE at image offset `die` as a type of the current tree.
// Returns the position after its attribute values (or after its code when it
// has no declaration). Stops without reading when the DIE lies outside
// .debug_info, when the chain is too deep, or when the DIE is already on the
// chain with no member entry added since (a cycle).
size_t follow_type(Session& s, OutText& sym, WalkContext& ctx, size_t die, int32_t nest, int& current);

// Follows a DW_AT_type value: DW_FORM_ref_addr from the start of .debug_info,
// DW_FORM_ref4 from the start of the unit; other forms are not followed.
void follow_reference(Session& s, OutText& sym, WalkContext& ctx, const AttributeView& a, int32_t nest,
                      int& current);

// Hands out the next member entry (advance_symbol_index) and counts it.
void allocate_entry(Session& s, WalkContext& ctx, int& current);

// The end of the DIE list that `pos` lies in: the unit's end inside the
// current unit, the end of .debug_info elsewhere.
size_t list_limit(const WalkContext& ctx, size_t pos);
