#include "symbols/scope_rules.h"

#include <algorithm>

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

// DW_AT_high_pc: an address, or (DWARF 4 on) the size of the code from low_pc.
uint32_t high_pc(const AttributeView& a, int32_t low_pc) {
    return given_as_address(a.form) ? a.value : static_cast<uint32_t>(low_pc) + a.value;
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
const LocRows& read_scratch_list(ScopeRuleContext& c, uint32_t list_offset, LocListStats* stats = nullptr) {
    clear_loc_rows(c.scratch);
    read_loc_list(c.s, c.sym, static_cast<uint32_t>(c.t.scope.unit_base), c.scratch, list_offset, &c.unit, stats);
    return c.scratch;
}

// The register operation of row 0 and the rows of a list; a frame base also
// takes the operation indices (seq).
void take_list_rows(SymbolEntry& root, const LocRows& list, bool with_seq) {
    root.regcode = list.code[0];
    root.regop1 = list.op1[0];
    root.regop2 = list.op2[0];
    copy_loc_rows(*root.floc, list, with_seq);
}

// Overwrites rows 0 to n-1 of `to` with the n rows of `from`, all six
// columns, as reading that list straight into `to` would.
void overwrite_rows(LocRows& to, const LocRows& from) {
    for (int i = 0; i < from.count; ++i) {
        to.seq[i] = from.seq[i];
        to.begin[i] = from.begin[i];
        to.end[i] = from.end[i];
        to.code[i] = from.code[i];
        to.op1[i] = from.op1[i];
        to.op2[i] = from.op2[i];
    }
    if (from.count > to.count) to.count = from.count;
}

// A frame base that is the canonical frame address: the call-frame rules
// over the function's code are taken as the frame base would have been
// written as register plus offset, one rule as an expression, several as
// a location list.
void frame_base_from_cfa(ScopeRuleContext& c, SymbolEntry& root) {
    WalkScope& w = c.t.scope;
    c.frame_rows = frame_base_rows(c.s, static_cast<uint32_t>(w.func_low_pc), static_cast<uint32_t>(w.func_high_pc));
    const LocRows& rows = c.frame_rows;
    if (rows.count == 1) {
        w.frame_base_code = rows.code[0];
        w.frame_base_op1 = rows.op1[0];
        w.frame_base_op2 = rows.op2[0];
    } else if (rows.count > 1) {
        c.frame_base_is_list = true;
        c.frame_base_from_cfa = true;
        // No rows without locals, as a list in .debug_loc gives none then.
        if (c.s.opt.no_locals) clear_loc_rows(c.frame_rows);
        clear_loc_rows(c.scratch);
        take_list_rows(root, c.frame_rows, true);
        name_register(c.s, root);
    }
}

// A DW_AT_type of a function or variable: the type's entries hang below the
// root, and the index comes back to the root's afterwards.
FollowRequest follow_from_root(SymbolState& t, int& target) {
    target = t.current;
    return follow_with(t.entries[0].nest + 1, FollowRequest::Restore::always);
}

// The first range of the unit's DW_AT_ranges list at `offset`, counted from
// the unit's base address: .debug_ranges up to DWARF 4, .debug_rnglists from
// DWARF 5 on. False when there is none.
bool first_range_of(ScopeRuleContext& c, uint32_t offset, AddressRange& range) {
    const uint32_t base = static_cast<uint32_t>(c.t.scope.unit_base);
    if (c.unit.version >= 5) return first_rnglists_range(c.s, c.unit, base, offset, range.low, range.high);
    return first_range(c.s, offset, base, range);
}

void compile_unit_rule(ScopeRuleContext& c, const AttributeView& a) {
    SymbolState& t = c.t;
    SymbolEntry& root = t.entries[0];
    t.current = 0;
    if (a.attr == DW_AT_name && given_as_string(a.form)) {
        set_name(root.name, base_name(a.raw->text));
        t.scope.unit_name = root.name;
        root.ident = kIdentUnit;
    } else if (a.attr == DW_AT_ranges && given_as_list_offset(a.form)) {
        t.scope.unit_has_ranges = true;
        t.scope.unit_ranges = a.value;
    } else if (a.attr == DW_AT_low_pc && given_as_address(a.form)) {
        t.scope.unit_low_pc = static_cast<int32_t>(a.value);
        t.scope.unit_base = static_cast<int32_t>(a.value);
        root.fstart = static_cast<int32_t>(a.value);
    } else if (a.attr == DW_AT_high_pc && (given_as_address(a.form) || given_as_constant(a.form))) {
        t.scope.unit_high_pc = static_cast<int32_t>(high_pc(a, t.scope.unit_low_pc));
        root.fend = t.scope.unit_high_pc;
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

// A function's code starts at `low`: its place and, by DW_AT_external seen
// before, its category.
void function_starts(SymbolState& t, uint32_t low) {
    WalkScope& w = t.scope;
    SymbolEntry& root = t.entries[0];
    w.func_low_pc = static_cast<int32_t>(low);
    root.location = static_cast<int32_t>(low);
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
        set_func_sibling(t, 0);
        c.frame_base_is_list = false;
        c.frame_base_from_cfa = false;
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
        } else if (given_as_block(a.form) && first_byte(a) == DW_OP_call_frame_cfa) {
            frame_base_from_cfa(c, root);
        } else if (given_as_block(a.form)) {
            w.frame_base_code = a.op.code;
            w.frame_base_op1 = a.op.op1;
            w.frame_base_op2 = a.op.op2;
        }
        break;
    case DW_AT_low_pc:
        if (given_as_address(a.form)) function_starts(t, a.value);
        break;
    case DW_AT_ranges:
        // Code in several pieces: the first piece stands for the function.
        if (given_as_list_offset(a.form)) {
            AddressRange range;
            if (first_range_of(c, a.value, range)) {
                function_starts(t, range.low);
                w.func_high_pc = static_cast<int32_t>(range.high);
            }
        }
        break;
    case DW_AT_high_pc:
        if (given_as_address(a.form) || given_as_constant(a.form))
            w.func_high_pc = static_cast<int32_t>(high_pc(a, w.func_low_pc));
        break;
    case DW_AT_sibling:
        set_func_sibling(t, a.value);
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
        if (in_function(t)) {
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

// The bytes of a block value, in the target byte order.
ByteReader block_reader(const Session& s, const AttributeView& a) {
    const size_t n = a.raw->size < 0 ? 0 : std::min<size_t>(static_cast<size_t>(a.raw->size), kValueBytes);
    return make_reader(a.raw->bytes, n, 0, n, s.elf.big_endian);
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
            // A value, not a place: as if the variable had no location.
            if (describes_value(loc_target(s.elf, 3), block_reader(s, a))) break;
            location_block_rule(s, t, a);
            no_locals_rule(s, root);
        } else if (given_as_list(a.form, c.unit.version)) {
            LocListStats stats;
            const LocRows& rows = read_scratch_list(c, a.value, &stats);
            // Nothing but values: as if the variable had no location.
            if (rows.count == 0 && stats.values_dropped > 0) break;
            root.ident = kIdentLocalF;
            set_function_range(root, w);
            take_list_rows(root, rows, false);
            if (root.regcode == DW_OP_fbreg) {
                // The variable lives relative to the frame base, whose own
                // list gives the places. Only a frame base that was itself a
                // list has one; otherwise the variable keeps its own rows.
                if (c.frame_base_from_cfa)
                    overwrite_rows(*root.floc, c.frame_rows);
                else if (c.frame_base_is_list)
                    read_loc_list(s, c.sym, static_cast<uint32_t>(w.unit_base), *root.floc, w.frame_base_list, &c.unit);
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

void finish_unit_attributes(ScopeRuleContext& c) {
    WalkScope& w = c.t.scope;
    if (!w.unit_has_ranges) return;
    AddressRange range;
    if (!first_range_of(c, w.unit_ranges, range)) return;
    SymbolEntry& root = c.t.entries[0];
    w.unit_low_pc = root.fstart = static_cast<int32_t>(range.low);
    w.unit_high_pc = root.fend = static_cast<int32_t>(range.high);
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
    name += in_function(t) ? t.scope.function_name : t.scope.unit_name;
    set_name(copy.name, name);
}
