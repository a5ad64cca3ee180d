// The SYM record writer: one text record per named entry of the struct
// symbol table, after the walk and the post-pass have filled it.
#pragma once

#include <cstdint>
#include <string>

struct Session;
struct OutText;
struct SymbolState;

// Writes every named entry of the current tree as a SYM record: the main
// bank in index order, then (with -g, when the walk prepared entry 1024) the
// global copy of the tree from the global bank. Normalises type names and
// fixes up bit-field members on the way; these changes stay in the table
// until the caller's reset.
void write_sym_records(Session& s, OutText& sym);

// The category name of an ident code ("" for a value that is no code).
const char* ident_text(int32_t ident);
// "ARRAY ", "POINTER ", "STRUCT ", "BIT " as flagged, or "SIMPLE ".
std::string kind_text(int32_t kind);
// Replaces a C integer type name by the debugger's short name ("unsigned
// char" -> "Uchar", ...); other names stay as they are.
void normalise_type_name(std::string& typen);
// Bit-field fix-up of entry r (a BIT entry of the main bank) against the BIT
// entries directly behind it.
void fix_bit_field(SymbolState& t, int r);
// Index one past the last main-bank entry that may be in use (entries from
// there to 1023 are known to be free).
int used_main_extent(const SymbolState& t);
