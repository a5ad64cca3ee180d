// The struct symbol table: the working store for one top-level DIE at a time.
//
// Entry 0 is the top-level symbol; entries 1..1023 (the main bank) hold the
// members and followed types below it. Entries 1024..2047 (the global bank)
// receive the -g copy of a static symbol so it is written again as a global.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/paged_table.h"
#include "locations/loc_rows.h"
#include "symbols/die_cursor.h"

struct Session;
struct TypeJournal;

constexpr int kSymbolEntries = 2048;
constexpr int kMainBankSize = 1024;
constexpr int kGlobalBankStart = 1024;
constexpr int kResetExtent = 1025;  // a reset clears entries 0..1024
constexpr int kMaxNameLength = 1024;
constexpr int kMaxDimensions = 6;  // array dimensions recorded in ele[1..6]

// ident codes
enum : int32_t {
    kIdentLabel = 1,
    kIdentVariable = 2,
    kIdentMember = 4,
    kIdentProgram = 8,
    kIdentSProgram = 16,
    kIdentLocalS = 32,
    kIdentLocalR = 64,
    kIdentLocalF = 128,
    kIdentUnit = 256,
    kIdentNon = 512,
};

// kind flags
enum : int32_t {
    kKindArray = 1,
    kKindPointer = 2,
    kKindStruct = 4,
    kKindBit = 8,
};

// The location rows of an entry, kept apart from it: few entries have any
// (variables with a location list), and without the 1.2 KB of rows an entry
// takes a few cache lines. Reading an entry without rows sees empty rows;
// writing gives it rows of its own. Copies copy the rows.
class EntryRows {
public:
    EntryRows() = default;
    EntryRows(const EntryRows& other) : rows_(other.rows_ ? std::make_unique<LocRows>(*other.rows_) : nullptr) {}
    EntryRows& operator=(const EntryRows& other) {
        if (this == &other) return *this;
        if (other.rows_)
            **this = *other.rows_;
        else
            clear();
        return *this;
    }
    EntryRows(EntryRows&&) noexcept = default;
    EntryRows& operator=(EntryRows&&) noexcept = default;

    const LocRows& operator*() const { return rows_ ? *rows_ : empty(); }
    const LocRows* operator->() const { return &**this; }
    LocRows& operator*() {
        if (!rows_) rows_ = std::make_unique<LocRows>();
        return *rows_;
    }
    LocRows* operator->() { return &**this; }
    // Empty rows again (the room is kept).
    void clear() {
        if (rows_) clear_loc_rows(*rows_);
    }

private:
    static const LocRows& empty() {
        static const LocRows kEmpty{};
        return kEmpty;
    }
    std::unique_ptr<LocRows> rows_;
};

struct SymbolEntry {
    int32_t nest = 0;
    size_t die_pos = 0;   // image offset of the DIE's attribute values (member refusal)
    std::string name;     // empty = free slot; at most 1024 characters
    std::string typen;    // empty prints as "void"; at most 1024 characters
    int32_t ident = 0;
    int32_t kind = 0;
    int32_t ele[7] = {0, 0, 0, 0, 0, 0, 0};
    int32_t external = 0;
    int32_t location = 0;
    int32_t fstart = 0;
    int32_t fend = 0;
    int32_t one_byte = 0;
    int32_t total_byte = 0;
    int32_t struct_len = 0;
    int32_t bit_off = 0;
    int32_t bit_size = 0;
    uint8_t bit_fixed = 0;
    std::string regn;
    int32_t regcode = 0;
    int32_t regop1 = 0;
    int32_t regop2 = 0;
    EntryRows floc;  // the rows of its location list
};

// Both banks; pages of 8 entries are allocated when first written, so a
// small file does not pay for 2048 entries.
using SymbolEntries = PagedTable<SymbolEntry, kSymbolEntries, 8>;

// The walk's per-unit and per-function context.
struct WalkScope {
    int32_t unit_low_pc = 0, unit_high_pc = 0;
    // The unit's DW_AT_low_pc: the base of its location and range lists
    // (0 when the unit gives its code by DW_AT_ranges alone).
    int32_t unit_base = 0;
    bool unit_has_ranges = false;
    uint32_t unit_ranges = 0;  // offset of the unit's DW_AT_ranges list
    int32_t func_low_pc = 0, func_high_pc = 0;
    uint32_t frame_base_list = 0;
    int32_t frame_base_code = 0, frame_base_op1 = 0, frame_base_op2 = 0;
    std::string unit_name;
    std::string function_name;
};

// The DIE walk's working storage, kept from unit to unit (its buffers are
// allocated once per run); defined by the tree builder.
struct WalkScratch;
struct WalkScratchDeleter {
    void operator()(WalkScratch* scratch) const;
};

struct SymbolState {
    SymbolEntries entries;  // both banks, 2048 entries
    // Highest main-bank index (0..1023) written since the last reset, so a
    // reset clears only what was used; -1 when nothing beyond entry 0 was
    // marked. Entry 0 is cleared by every reset whatever this says.
    int high_water = -1;
    // Entry 1024 (the pending -g copy) was written since the last reset.
    bool global_touched = false;
    int current = 0;  // index of the newest entry of the tree
    WalkScope scope;
    size_t func_sibling = 0;  // not cleared by either reset, so it carries into the next unit
    // How the walk used the func_sibling it started with: the parallel
    // symbol pass starts a run of units with 0 and learns from this whether
    // the value the units before left would have changed anything.
    struct SiblingUse {
        bool settled = false;     // read or set since the start
        bool read_first = false;  // read before it was set
        bool checked = false;     // a DIE was compared with it before that
        size_t last_check = 0;    // the highest offset (in its unit) compared then
    } sibling_use;

    std::string record_text;  // the SYM record being formatted (kept for its capacity)
    // Set while type expansions are recorded: the type writes are noted there.
    TypeJournal* journal = nullptr;
    std::unique_ptr<WalkScratch, WalkScratchDeleter> walk_scratch;
    // Whether a type followed again in a unit is copied from its first
    // expansion (type_cache.h); tests turn it off to compare.
    bool keep_type_expansions = true;

    AbbrevTable abbrevs;  // declarations of the unit being walked
    UnitTable units;      // every unit met so far, in file order
    // A worker of the parallel symbol pass reads the run's table of units
    // (filled beforehand); `units.current` still names the unit it walks.
    const UnitTable* shared_units = nullptr;
};

// Whether the walk is inside a function's DIEs (func_sibling set).
inline bool in_function(SymbolState& st) {
    if (!st.sibling_use.settled) st.sibling_use.settled = st.sibling_use.read_first = true;
    return st.func_sibling != 0;
}
inline void set_func_sibling(SymbolState& st, size_t value) {
    st.sibling_use.settled = true;
    st.func_sibling = value;
}
// The walk is at the DIE `offset` (in its unit): a function whose DIEs end
// there is left.
inline void leave_function_at(SymbolState& st, size_t offset) {
    if (!st.sibling_use.settled) {
        st.sibling_use.checked = true;
        if (offset > st.sibling_use.last_check) st.sibling_use.last_check = offset;
    }
    if (st.func_sibling != 0 && offset >= st.func_sibling) st.func_sibling = 0;
}

// Clears entries 0..1024 (and, when `whole`, the walk scope except
// func_sibling). The result is exactly that of clearing all 1025 entries, but
// only entry 0, the entries up to `high_water` and (when touched or named)
// entry 1024 are actually cleared, so a reset costs what was used since the
// previous one. Entries 1025..2047 are never touched. Called with whole=true
// at the start of each unit's DIE list, with whole=false after each top-level
// DIE. Afterwards high_water is -1 and global_touched false.
//
// How writers mark entries used: advance_symbol_index records every index it
// hands out, which covers all member entries. Code that writes an entry other
// than 0 without getting its index from advance_symbol_index (in particular
// the -g copy into entry 1024) calls touch_entry first.
void reset_symbol_table(SymbolState& st, bool whole);
// The same on the run's table (*s.sym).
void reset_symbol_table(Session& s, bool whole);

// Marks entry `index` as written since the last reset (indices 0..1024;
// others are ignored: entry 0 is always cleared, 1025+ never).
inline void touch_entry(SymbolState& st, int index) {
    if (index > st.high_water && index < kMainBankSize) st.high_water = index;
    if (index == kGlobalBankStart) st.global_touched = true;
}

// Steps the walk's current index to the next member entry: index + 1; at 1024
// or beyond it stays at 1023 and "Struct Symbol Table heep over flow !!\n" is
// printed on the console (nothing in quiet mode), so every further member
// overwrites entry 1023. Marks the resulting entry used (touch_entry).
void advance_symbol_index(Session& s, int& index);

// Clears one entry to the state of a fresh table, keeping string capacity.
void clear_symbol_entry(SymbolEntry& e);
