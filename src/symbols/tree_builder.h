// Building symbol trees from the DIEs of one compilation unit.
//
// Every DIE of the unit, at whatever depth, is visited once in file order as
// a top-level DIE and fills the root entry (entry 0) of the struct symbol
// table. The DIEs its DW_AT_type reaches, and the children of the arrays,
// structures and unions among them, are processed again below it and add
// the entries of its tree. A tree whose root has a name is counted, finished
// by the post-pass and written as SYM records; then the table is cleared for
// the next DIE.
#pragma once

#include "symbols/die_cursor.h"

struct Session;
struct OutText;

// How deep the building may nest (type references, member lists, members'
// types). Real type graphs stay far below; a deeper chain is cut there.
constexpr int kMaxTypeDepth = 128;

// Walks the DIEs of `unit` from its first DIE to its end.
void walk_unit_dies(Session& s, OutText& sym, const UnitView& unit);
