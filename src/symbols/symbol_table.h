// The struct symbol table: the working store for one top-level DIE at a time.
//
// Entry 0 is the top-level symbol; entries 1..1023 (the main bank) hold the
// members and followed types below it. Entries 1024..2047 (the global bank)
// receive the -g copy of a static symbol so it is written again as a global.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int kSymbolEntries = 2048;
constexpr int kMainBankSize = 1024;
constexpr int kGlobalBankStart = 1024;
constexpr int kResetExtent = 1025;  // a reset clears entries 0..1024
constexpr int kMaxNameLength = 1024;
constexpr int kLocRows = 48;

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
    int32_t floc_seq[kLocRows] = {};
    int32_t floc_begin[kLocRows] = {};
    int32_t floc_end[kLocRows] = {};
    int32_t floc_code[kLocRows] = {};
    int32_t floc_op1[kLocRows] = {};
    int32_t floc_op2[kLocRows] = {};
};

// The walk's per-unit and per-function context.
struct WalkScope {
    int32_t unit_low_pc = 0, unit_high_pc = 0;
    int32_t func_low_pc = 0, func_high_pc = 0;
    uint32_t frame_base_list = 0;
    int32_t frame_base_code = 0, frame_base_op1 = 0, frame_base_op2 = 0;
    std::string unit_name;
    std::string function_name;
};

struct SymbolState {
    SymbolState() : entries(kSymbolEntries) {}
    std::vector<SymbolEntry> entries;  // both banks, 2048 entries
    // Highest entry index written since the last reset, so a reset clears
    // only what was used; -1 when entries 0..1024 are all clear.
    int high_water = -1;
    int current = 0;  // index of the newest entry of the tree
    WalkScope scope;
    size_t func_sibling = 0;  // not cleared by either reset
};
