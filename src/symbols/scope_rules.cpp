#include "symbols/scope_rules.h"

#include "common/session.h"
#include "locations/loc_list.h"
#include "locations/registers.h"
#include "symbols/ranges.h"

namespace {

// The address operand of a DW_OP_addr: 16 bits on targets with 2-byte
// addresses, 32 bits otherwise.
uint32_t address_operand(const Session& s, const LocOpResult& op) {
    return loc_result_value(op, s.elf.address_size == 2 ? 2 : 4);
}

// The text after the last colon, back slash or slash.
std::string base_name(const std::string& path) {
    size_t cut = path.find_last_of(":\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

void set_function_range(SymbolEntry& root, const WalkScope& w) {
    root.fstart = w.func_low_pc;
    root.fend = w.func_high_pc;
}

void name_register(const Session& s, SymbolEntry& root) {
    name_location(root.regn, s.elf.header.e_machine, root.regcode, root.regop1, root.regop2);
}

void take_operation(SymbolEntry& root, const LocOpResult& op) {
    root.regcode = op.code;
    root.regop1 = op.op1;
    root.regop2 = op.op2;
}

// Reads the list at `list_offset` of .debug_loc into the cleared scratch rows.
const LocRows& read_scratch_list(ScopeRuleContext& c, uint32_t list_offset) {
    clear_loc_rows(c.scratch);
    read_loc_list(c.s, c.sym, c.t.scope.unit_base, c.scratch, list_offset, &c.unit);
    return c.scratch;
}

// The register operation of row 0 and the rows of a list; a frame base also
// takes the operation indices (seq).
void take_list_rows(SymbolEntry& root, const LocRows& list, bool with_seq) {
    root.regcode = list.code[0];
    root.regop1 = list.op1[0];
    root.regop2 = list.op2[0];
    copy_loc_rows(root.floc, list, with_seq);
}

// A DW_AT_type of a function or variable: the type's entries hang below the
// root, and the index comes back to the root's afterwards.
FollowRequest follow_from_root(SymbolState& t, int& target) {
    target = t.current;
    return follow_with(t.entries[0].nest + 1, FollowRequest::Restore::always);
}

// The first range of a DWARF 5 range list (DW_AT_ranges), counted from
// the unit's base address; false when there is none.
bool first_range(ScopeRuleContext& c, const AttributeView& a, int32_t& low, int32_t& high) {
    if (c.unit.version < 5 || a.form != DW_FORM_sec_offset) return false;
    uint32_t from = 0, to = 0;
    if (!first_rnglists_range(c.s, c.unit, c.t.scope.unit_base, a.value, from, to))
        return false;
    low = static_cast<int32_t>(from);
    high = static_cast<int32_t>(to);
    return true;
}

void compile_unit_rule(ScopeRuleContext& c, const AttributeView& a) {
    SymbolState& t = c.t;
    SymbolEntry& root = t.entries[0];
    t.current = 0;
    if (a.attr == DW_AT_high_pc && given_as_constant(a.form)) {
        // An offset from low_pc.
        t.scope.unit_high_pc = static_cast<int32_t>(t.scope.unit_base + a.value);
        root.fend = t.scope.unit_high_pc;
        return;
    }
    if (a.attr == DW_AT_ranges) {
        int32_t low = 0, high = 0;
        if (!first_range(c, a, low, high)) return;
        t.scope.unit_low_pc = root.fstart = low;
        t.scope.unit_high_pc = root.fend = high;
        t.scope.unit_ranges = true;
        return;
    }
    if (a.attr == DW_AT_low_pc && given_as_address(a.form)) t.scope.unit_base = a.value;
    if (t.scope.unit_ranges && a.attr == DW_AT_low_pc) return;
    if (a.attr == DW_AT_name && given_as_string(a.form)) {
        set_name(root.name, base_name(a.raw->text));
        t.scope.unit_name = root.name;
        root.ident = kIdentUnit;
    } else if (a.attr == DW_AT_low_pc && given_as_address(a.form)) {
        t.scope.unit_low_pc = static_cast<int32_t>(a.value);
        root.fstart = static_cast<int32_t>(a.value);
    } else if (a.attr == DW_AT_high_pc && given_as_address(a.form)) {
        t.scope.unit_high_pc = static_cast<int32_t>(a.value);
        root.fend = static_cast<int32_t>(a.value);
    }
}

void label_rule(const Session& s, SymbolState& t, const AttributeView& a) {
    SymbolEntry& root = t.entries[0];
    if (a.attr == DW_AT_name && given_as_string(a.form)) {
        if (root.external != 0) {
            set_name(root.name, a.raw->text);
            root.ident = kIdentLabel;
            root.kind = 0;
        }
    } else if (a.attr == DW_AT_external && given_as_flag(a.form)) {
        root.external = first_byte(a);
    } else if (a.attr == DW_AT_low_pc || a.attr == DW_AT_location) {
        if (given_as_address(a.form)) {
            if (a.attr == DW_AT_low_pc)
                t.scope.func_low_pc = static_cast<int32_t>(a.value);
            else
                t.scope.func_high_pc = static_cast<int32_t>(a.value);
            root.location = static_cast<int32_t>(a.value);
        } else if (given_as_block(a.form) && first_byte(a) == DW_OP_addr) {
            root.location = static_cast<int32_t>(address_operand(s, a.op));
        }
    }
}

// A function's start address (its low_pc).
void set_function_start(WalkScope& w, SymbolEntry& root, int32_t low_pc) {
    w.func_low_pc = low_pc;
    root.location = low_pc;
    if (root.external != 0) {
        root.ident = kIdentProgram;
        root.fstart = root.fend = 0;
    } else {
        root.ident = kIdentSProgram;
        root.fstart = w.unit_low_pc;
        root.fend = w.unit_high_pc;
    }
}

FollowRequest subprogram_rule(ScopeRuleContext& c, const AttributeView& a, int& target) {
    SymbolState& t = c.t;
    WalkScope& w = t.scope;
    SymbolEntry& root = t.entries[0];
    switch (a.attr) {
    case DW_AT_decl_file:
        // A new function begins: the previous one's scope ends here.
        w.func_low_pc = w.func_high_pc = 0;
        w.frame_base_list = 0;
        w.frame_base_code = w.frame_base_op1 = w.frame_base_op2 = 0;
        t.func_sibling = 0;
        c.frame_base_is_list = false;
        break;
    case DW_AT_name:
        if (given_as_string(a.form)) {
            set_name(root.name, a.raw->text);
            set_name(w.function_name, a.raw->text);
        }
        break;
    case DW_AT_external:
        if (given_as_flag(a.form)) root.external = first_byte(a);
        break;
    case DW_AT_type:
        return follow_from_root(t, target);
    case DW_AT_frame_base:
        if (given_as_list(a.form, c.unit.version)) {
            w.frame_base_list = a.value;
            c.frame_base_is_list = true;
            take_list_rows(root, read_scratch_list(c, a.value), true);
            name_register(c.s, root);
        } else if (given_as_block(a.form)) {
            w.frame_base_code = a.op.code;
            w.frame_base_op1 = a.op.op1;
            w.frame_base_op2 = a.op.op2;
        }
        break;
    case DW_AT_low_pc:
        if (given_as_address(a.form)) set_function_start(w, root, static_cast<int32_t>(a.value));
        break;
    case DW_AT_high_pc:
        if (given_as_address(a.form))
            w.func_high_pc = static_cast<int32_t>(a.value);
        else if (given_as_constant(a.form))
            w.func_high_pc = w.func_low_pc + static_cast<int32_t>(a.value);  // an offset from low_pc
        break;
    case DW_AT_ranges: {
        int32_t low = 0, high = 0;
        if (first_range(c, a, low, high)) {
            set_function_start(w, root, low);
            w.func_high_pc = high;
        }
        break;
    }
    case DW_AT_sibling:
        t.func_sibling = a.value;
        break;
    default:
        break;
    }
    return FollowRequest{};
}

// DW_AT_location given as a block: the category and place follow from the
// block's first operation.
void location_block_rule(const Session& s, SymbolState& t, const AttributeView& a) {
    const WalkScope& w = t.scope;
    SymbolEntry& root = t.entries[0];
    const uint8_t op = first_byte(a);
    if (op == 0) {
        root.ident = kIdentNon;
        set_function_range(root, w);
    } else if (op == DW_OP_addr) {
        if (root.ident == kIdentNon) root.ident = kIdentLocalS;
        if (t.func_sibling != 0) {
            set_function_range(root, w);
        } else {
            root.fstart = w.unit_low_pc;
            root.fend = w.unit_high_pc;
        }
        root.location = static_cast<int32_t>(address_operand(s, a.op));
    } else if ((op >= DW_OP_reg0 && op < DW_OP_regx) || op == DW_OP_bregx) {
        root.ident = kIdentLocalR;
        set_function_range(root, w);
        take_operation(root, a.op);
        name_register(s, root);
    } else if (op == DW_OP_regx) {
        root.ident = kIdentLocalR;
        set_function_range(root, w);
        // A register variable split into pieces (DW_OP_regx n, DW_OP_piece m)
        // is written as register 7.
        const uint8_t third = a.raw->bytes[2];
        if (third == 0) {
            take_operation(root, a.op);
        } else if (third == DW_OP_piece) {
            root.regcode = DW_OP_reg7;
            root.regop1 = root.regop2 = 0;
        }
        name_register(s, root);
    } else if (op == DW_OP_fbreg) {
        root.ident = kIdentLocalF;
        set_function_range(root, w);
        if (w.frame_base_code == 0) {
            take_operation(root, a.op);
        } else {
            // Frame base plus offset becomes the frame-base register plus
            // offset: a DW_OP_regN frame base turns into DW_OP_bregN.
            root.regcode = w.frame_base_code >= DW_OP_breg0 ? w.frame_base_code
                                                            : w.frame_base_code + (DW_OP_breg0 - DW_OP_reg0);
            root.regop1 = a.op.op1;
            root.regop2 = a.op.op2;
        }
        name_register(s, root);
    }
}

void no_locals_rule(const Session& s, SymbolEntry& root) {
    if (s.opt.no_locals && (root.ident == kIdentLocalR || root.ident == kIdentLocalF)) root.name.clear();
}

FollowRequest variable_rule(ScopeRuleContext& c, uint32_t tag, const AttributeView& a, int& target) {
    Session& s = c.s;
    SymbolState& t = c.t;
    const WalkScope& w = t.scope;
    SymbolEntry& root = t.entries[0];
    switch (a.attr) {
    case DW_AT_name:
        if (given_as_string(a.form)) {
            set_name(root.name, a.raw->text);
            root.ident = kIdentNon;
            if (tag == DW_TAG_formal_parameter && s.opt.no_locals) root.name.clear();
        }
        break;
    case DW_AT_external:
        if (given_as_flag(a.form)) {
            root.external = first_byte(a);
            root.ident = root.external != 0 ? kIdentVariable : kIdentLocalS;
        }
        break;
    case DW_AT_declaration:
        if (given_as_flag(a.form) && first_byte(a) != 0) root.ident = kIdentNon;
        break;
    case DW_AT_type:
        return follow_from_root(t, target);
    case DW_AT_location:
        if (given_as_block(a.form)) {
            location_block_rule(s, t, a);
            no_locals_rule(s, root);
        } else if (given_as_list(a.form, c.unit.version)) {
            root.ident = kIdentLocalF;
            set_function_range(root, w);
            take_list_rows(root, read_scratch_list(c, a.value), false);
            if (root.regcode == DW_OP_fbreg) {
                // The variable lives relative to the frame base, whose own
                // list gives the places. Only a frame base that was itself a
                // list has one; otherwise the variable keeps its own rows.
                if (c.frame_base_is_list)
                    read_loc_list(s, c.sym, w.unit_base, root.floc, w.frame_base_list, &c.unit);
            } else {
                root.ident = kIdentLocalR;
            }
            name_register(s, root);
            no_locals_rule(s, root);
        }
        break;
    default:
        break;
    }
    return FollowRequest{};
}

}  // namespace

FollowRequest apply_scope_rule(ScopeRuleContext& c, uint32_t tag, const AttributeView& a, int& target) {
    switch (tag) {
    case DW_TAG_compile_unit: compile_unit_rule(c, a); break;
    case DW_TAG_label: label_rule(c.s, c.t, a); break;
    case DW_TAG_subprogram: return subprogram_rule(c, a, target);
    case DW_TAG_variable:
    case DW_TAG_formal_parameter: return variable_rule(c, tag, a, target);
    default: break;
    }
    return FollowRequest{};
}

void finish_static_root(ScopeRuleContext& c) {
    SymbolState& t = c.t;
    SymbolEntry& root = t.entries[0];
    if (root.location == 0 && root.one_byte == 0) {
        root.name.clear();
        return;
    }
    if (!c.s.opt.globalize_statics) return;
    // A static symbol is written a second time as a global (-g) under the
    // name name@function inside a function, name@unit outside.
    touch_entry(t, kGlobalBankStart);
    SymbolEntry& copy = t.entries[kGlobalBankStart];
    copy = root;
    copy.ident = kIdentVariable;
    std::string name = root.name;
    name += '@';
    name += t.func_sibling != 0 ? t.scope.function_name : t.scope.unit_name;
    set_name(copy.name, name);
}
