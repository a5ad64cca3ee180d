// Type rules, member trees and the post-pass.
//
// While a tree has a named root, each attribute of a type DIE (base types,
// qualifiers, typedefs, pointers, arrays, subranges, structures, unions,
// members) writes type name, shape, dimensions, sizes, member names and
// offsets and bit-field positions into the target entry. The children of
// arrays (subranges) and of structures and unions (members) are walked so
// that every member becomes a nested entry. The post-pass completes names
// and sizes before the tree is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "symbols/build.h"

struct Session;
struct OutText;

// Applies the type rule of `tag` for one attribute. `target` is the entry
// the rules write (some attributes move it to the newest entry); `current`
// is the shared index of the newest entry.
void apply_type_rule(Session& s, OutText& sym, WalkContext& ctx, uint32_t tag, const AttributeView& a, int& target,
                     int& current);

// Walks the children list starting at `pos` (image offset of the first
// child's abbreviation code), building the children with tag `wanted` at
// depth `nest` and stepping over the others with their own children. Ends at
// the null entry closing the list (returning the position after it), at a
// code without declaration (after the code), or at the end of the unit.
size_t walk_children(Session& s, OutText& sym, WalkContext& ctx, size_t pos, uint32_t wanted, int32_t nest,
                     int& current);

// Post-pass over the named entries of the tree: floating-point type names,
// member ranges, element and total sizes.
void finish_symbols(Session& s);

// The type name of a DW_AT_encoding value ("int", "Uint", "char", ...).
void encoding_type_name(std::string& dest, uint32_t encoding);
