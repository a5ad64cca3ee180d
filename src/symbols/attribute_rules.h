// What the rules of the walk see of one attribute, and what they ask the
// tree builder to do with a type reference.
//
// The scope rules (scope_rules.h) and the type rules (type_rules.h) write
// the entries of the struct symbol table; neither follows a reference
// itself. A rule that meets DW_AT_type returns a FollowRequest, and the tree
// builder follows the reference, so that the one recursion of the walk
// (a DIE, its type, that type's members, their types ...) lives in the tree
// builder alone.
#pragma once

#include <cstdint>
#include <string>

#include "common/dwarf_codes.h"
#include "locations/loc_expr.h"
#include "symbols/attributes.h"
#include "symbols/symbol_table.h"

// One attribute as the rules see it.
struct AttributeView {
    uint32_t attr = 0;
    uint32_t form = 0;   // the form decoded (DW_FORM_ref2 type references become DW_FORM_ref_addr)
    uint32_t value = 0;  // the first four value bytes as a number, zero-extended
    const AttributeValue* raw = nullptr;
    LocOpResult op;      // first operation of a block value (cleared otherwise)
};

inline bool given_as_string(uint32_t form) { return form == DW_FORM_string || form == DW_FORM_strp; }
// A location expression: a block, or (DWARF 4 on) an exprloc.
inline bool given_as_block(uint32_t form) {
    return form == DW_FORM_block1 || form == DW_FORM_block || form == DW_FORM_exprloc;
}
inline bool given_as_address(uint32_t form) { return form == DW_FORM_addr; }
// A flag byte, or a flag that is true by being there.
inline bool given_as_flag(uint32_t form) { return form == DW_FORM_flag || form == DW_FORM_flag_present; }
// A plain number (DWARF 4 gives DW_AT_high_pc and member offsets this way).
inline bool given_as_constant(uint32_t form) { return form_row(form).cls == FormClass::constant; }
// An offset into .debug_ranges or .debug_rnglists (rnglistx arrives as sec_offset).
inline bool given_as_list_offset(uint32_t form) { return form == DW_FORM_data4 || form == DW_FORM_sec_offset; }
// A location-list offset: data4 up to DWARF 3, sec_offset from DWARF 3 on
// (and what loclistx resolves to).
inline bool given_as_list(uint32_t form, uint32_t version) {
    return form == DW_FORM_sec_offset || (form == DW_FORM_data4 && version <= 3);
}
inline uint8_t first_byte(const AttributeView& a) { return a.raw->bytes[0]; }

// Stores a name or type name, cut at 1024 characters.
inline void set_name(std::string& dest, const std::string& text) {
    if (text.size() <= static_cast<size_t>(kMaxNameLength))
        dest = text;
    else
        dest.assign(text, 0, kMaxNameLength);
}

// Follow the attribute's type reference with `nest` as the nesting depth of
// the entries it adds; afterwards the current index is set back to what it
// was before (always, or only while the root entry has no STRUCT flag).
// (Eight bytes without padding, so a rule returns it in one register.)
struct FollowRequest {
    enum class Restore : uint8_t { never, always, unless_root_struct };
    int32_t nest = 0;
    bool follow = false;
    Restore restore = Restore::never;
};

inline FollowRequest follow_with(int32_t nest, FollowRequest::Restore restore = FollowRequest::Restore::never) {
    return FollowRequest{nest, true, restore};
}
