// Expanded type trees, kept for the rest of a unit.
//
// Following a type reference writes the type's information into the entry
// it was followed from (the target) and adds entries behind it: the members
// of structures and unions, their types' members, and so on. Most variables
// of a unit share a few types, so the same DIE is followed again and again.
// A TypeExpansion is what one such follow left in the table, kept so that a
// later follow of the same DIE, in the same situation, copies it instead of
// reading the DIEs again.
//
// "The same situation" is what the result depends on. The key holds the
// parts that are cheap to compare (the DIE, the target's kind flags, whether
// the target is the root, the root's STRUCT flag, the nesting in trace
// mode); the rest is checked before a copy is used: the member DIEs the
// expansion looked up must not be in the entries up to the target, the DIEs
// it followed before its first member entry must not be on the chain of
// types being followed, and the nesting limits must not be reached. An
// expansion that met a limit, a warning, a cut value, a trace line or a
// full table is not kept; the tree builder decides that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "symbols/symbol_table.h"

// The type fields of one entry: everything a type expansion writes.
struct TypeFields {
    std::string name;
    std::string typen;
    size_t die_pos = 0;
    int32_t nest = 0;
    int32_t ident = 0;
    int32_t kind = 0;
    int32_t ele[7] = {0, 0, 0, 0, 0, 0, 0};
    int32_t location = 0;
    int32_t one_byte = 0;
    int32_t struct_len = 0;
    int32_t bit_off = 0;
    int32_t bit_size = 0;
};

struct TypeKey {
    size_t die = 0;          // image offset of the followed DIE (its code)
    int32_t target_kind = 0;  // kind flags of the target before the follow
    int32_t trace_nest = 0;  // the target's nest in trace mode, else 0
    bool target_is_root = false;
    bool root_struct = false;  // the root has STRUCT (only when the target is not the root)

    bool operator==(const TypeKey& o) const {
        return die == o.die && target_kind == o.target_kind && trace_nest == o.trace_nest &&
               target_is_root == o.target_is_root && root_struct == o.root_struct;
    }
};

struct TypeKeyHash {
    size_t operator()(const TypeKey& k) const {
        size_t h = std::hash<size_t>()(k.die);
        const size_t mix = static_cast<size_t>(k.target_kind) | static_cast<size_t>(k.target_is_root) << 8 |
                           static_cast<size_t>(k.root_struct) << 9 | static_cast<size_t>(k.trace_nest) << 10;
        return h ^ (mix * 0x9E3779B97F4A7C15ull);
    }
};

struct TypeExpansion {
    TypeFields target;               // the target's type fields afterwards (name, die_pos, nest unused)
    std::vector<TypeFields> added;   // the entries behind the target, up to the highest one written
    int32_t target_nest = 0;         // the target's nest when recorded; added nests are relative to it
    int current_step = 0;            // the current index afterwards, less the target's index
    uint32_t allocations = 0;        // member entries handed out
    int depth_span = 0;              // deepest build() nesting reached, relative to the start
    int chain_span = 0;              // longest type chain reached, relative to the start
    std::vector<size_t> looked_up;   // die_pos of every member DIE checked for refusal
    std::vector<size_t> early_follows;  // DIEs followed before the first member entry
};

// True when the target's type fields (other than kind, which is keyed) are
// still blank, and every entry behind it is unwritten: only then does the
// expansion write exactly what it wrote when recorded.
bool expansion_fits(const SymbolState& t, int target);

// Copies what the expansion left in entries target..top into `x`; false when
// an entry holds a field a type expansion never writes (then it is not kept).
bool capture_expansion(const SymbolState& t, int target, int top, TypeExpansion& x);

// Writes `x` into the table at `target`, marks the entries used and moves
// the current index. The caller has checked expansion_fits and the room.
void apply_expansion(SymbolState& t, int target, const TypeExpansion& x);
