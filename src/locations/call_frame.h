// Call-frame information: where a function's canonical frame address (CFA)
// lies over its code, read from .debug_frame or .eh_frame.
//
// A table is a run of entries, each a CIE (common information: alignment
// factors, the return-address column, initial instructions) or an FDE (one
// code range, a reference to its CIE, and the DW_CFA_* instructions that
// change the rules from address to address). Only the rule for the CFA is
// evaluated: a register plus an offset. Register rules are stepped over.
//
// .debug_frame: 32-bit entries, CIE id 0xFFFFFFFF, CIE versions 1, 3 and 4,
// addresses of the CIE's address size (version 4) or of the unit's.
// .eh_frame: CIE id 0, an FDE's CIE pointer counts back from its own field,
// augmentations "z" with R (FDE pointer encoding), P (personality) and L
// (LSDA encoding), pointers absptr, (u|s)data2/4/8, (u|s)leb128, plain,
// pc-relative or data-relative.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/bytes.h"

struct Session;

// Over [start, end) the CFA is DWARF register `reg` plus `offset`.
struct CfaRule {
    uint32_t start = 0;
    uint32_t end = 0;
    uint32_t reg = 0;
    int32_t offset = 0;

    bool operator==(const CfaRule& o) const {
        return start == o.start && end == o.end && reg == o.reg && offset == o.offset;
    }
};

struct CallFrameCie {
    size_t instructions = 0;  // image offsets of the initial instructions
    size_t end = 0;
    uint32_t code_align = 1;
    int32_t data_align = 1;
    uint8_t address_size = 4;
    uint8_t pointer_encoding = 0;  // FDE addresses (.eh_frame 'R'); 0 is absptr
    bool augmentation_data = false;  // 'z': FDEs carry an augmentation-data block
};

struct CallFrameFde {
    uint32_t begin = 0;  // code range [begin, end)
    uint32_t end = 0;
    size_t instructions = 0;  // image offsets of the instructions
    size_t instructions_end = 0;
    uint32_t cie = 0;  // index into CallFrames::cies
};

// One call-frame table and its index, built once per run.
struct CallFrames {
    const char* section = nullptr;  // ".debug_frame" or ".eh_frame"; null when the file has neither
    ByteReader bytes;               // the section
    bool eh = false;                // .eh_frame layout
    uint32_t address = 0;           // the section's load address (pc-relative pointers)
    uint32_t data_base = 0;         // base of data-relative pointers (.eh_frame_hdr's address)
    uint8_t address_size = 4;       // .debug_frame CIEs before version 4 use the unit's
    bool warned = false;            // damage is reported once per table

    std::vector<CallFrameCie> cies;
    std::vector<CallFrameFde> fdes;  // sorted by begin
};

// Finds .debug_frame, or .eh_frame when there is none, and indexes it.
// Returns false when the file has neither.
bool read_call_frames(Session& s, CallFrames& frames);
// Indexes the table that `frames` describes (section, bytes, eh, address,
// data_base, address_size set). A damaged or unreadable entry stops the
// index there with one warning; the entries before it stay.
void index_call_frames(Session& s, CallFrames& frames);

// The CFA rules over [low, high) from the FDE that covers `low`, in address
// order, consecutive equal rules merged. Empty when no FDE covers `low`.
// With `end_change`, when `high` is the FDE's end and the rule changes
// right there, that rule follows as an empty last rule [high, high), as a
// compiler lists it in a frame base. A
// CFA given by an expression (DW_CFA_def_cfa_expression) ends the list
// where it takes effect: the rules cover the function only up to there.
std::vector<CfaRule> cfa_rules(Session& s, CallFrames& frames, uint32_t low, uint32_t high,
                               bool end_change = false);
