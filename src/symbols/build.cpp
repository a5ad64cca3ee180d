#include "symbols/build.h"

#include <cstring>

#include "common/format.h"
#include "common/session.h"
#include "locations/loc_list.h"
#include "locations/registers.h"
#include "symbols/dwarf_names.h"
#include "symbols/type_rules.h"
#include "symbols/units.h"

namespace {

// The register operation of row 0 and the rows of a list read into the
// scratch entry; a frame base also takes the operation indices (floc_seq).
// The whole arrays are taken over; beyond both entries' written rows they are
// zero on both sides, so only those rows are copied.
void take_list_rows(SymbolEntry& root, const SymbolEntry& list, bool with_seq) {
    root.regcode = list.floc_code[0];
    root.regop1 = list.floc_op1[0];
    root.regop2 = list.floc_op2[0];
    int32_t rows = root.floc_rows > list.floc_rows ? root.floc_rows : list.floc_rows;
    if (rows > kLocRows) rows = kLocRows;
    const size_t bytes = static_cast<size_t>(rows) * sizeof root.floc_seq[0];
    if (with_seq) std::memcpy(root.floc_seq, list.floc_seq, bytes);
    std::memcpy(root.floc_begin, list.floc_begin, bytes);
    std::memcpy(root.floc_end, list.floc_end, bytes);
    std::memcpy(root.floc_code, list.floc_code, bytes);
    std::memcpy(root.floc_op1, list.floc_op1, bytes);
    std::memcpy(root.floc_op2, list.floc_op2, bytes);
    root.floc_rows = rows;
}


constexpr uint8_t DW_OP_addr = 0x03;
constexpr uint8_t DW_OP_reg7 = 0x57;
constexpr uint8_t DW_OP_breg0 = 0x70;
constexpr uint8_t DW_OP_regx = 0x90;
constexpr uint8_t DW_OP_fbreg = 0x91;
constexpr uint8_t DW_OP_bregx = 0x92;
constexpr uint8_t DW_OP_piece = 0x93;

std::string at_info(const char* what, size_t info_offset) {
    std::string text = what;
    append_printf(text, " at offset 0x%lX of .debug_info", static_cast<unsigned long>(info_offset));
    return text;
}

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

// Reads the list at `list_offset` of .debug_loc into the cleared scratch entry.
SymbolEntry& read_scratch_list(Session& s, OutText& sym, WalkContext& ctx, uint32_t list_offset) {
    clear_symbol_entry(ctx.scratch);
    read_loc_list(s, sym, static_cast<uint32_t>(s.sym->scope.unit_low_pc), ctx.scratch, list_offset);
    return ctx.scratch;
}

void compile_unit_rule(Session& s, const AttributeView& a, int& current) {
    SymbolState& t = *s.sym;
    SymbolEntry& root = t.entries[0];
    current = 0;
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

void label_rule(Session& s, const AttributeView& a) {
    SymbolState& t = *s.sym;
    SymbolEntry& root = t.entries[0];
    if (a.attr == DW_AT_name && given_as_string(a.form)) {
        if (root.external != 0) {
            set_name(root.name, a.raw->text);
            root.ident = kIdentLabel;
            root.kind = 0;
        }
    } else if (a.attr == DW_AT_external && a.form == DW_FORM_flag) {
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

void follow_restoring(Session& s, OutText& sym, WalkContext& ctx, const AttributeView& a, int32_t nest, int& target,
                      int& current) {
    target = current;
    const int remembered = current;
    follow_reference(s, sym, ctx, a, nest, current);
    current = remembered;
}

void subprogram_rule(Session& s, OutText& sym, WalkContext& ctx, const AttributeView& a, int& target, int& current) {
    SymbolState& t = *s.sym;
    WalkScope& w = t.scope;
    SymbolEntry& root = t.entries[0];
    switch (a.attr) {
    case DW_AT_decl_file:
        // A new function begins: the previous one's scope ends here.
        w.func_low_pc = w.func_high_pc = 0;
        w.frame_base_list = 0;
        w.frame_base_code = w.frame_base_op1 = w.frame_base_op2 = 0;
        t.func_sibling = 0;
        ctx.frame_base_is_list = false;
        break;
    case DW_AT_name:
        if (given_as_string(a.form)) {
            set_name(root.name, a.raw->text);
            set_name(w.function_name, a.raw->text);
        }
        break;
    case DW_AT_external:
        if (a.form == DW_FORM_flag) root.external = first_byte(a);
        break;
    case DW_AT_type:
        follow_restoring(s, sym, ctx, a, root.nest + 1, target, current);
        break;
    case DW_AT_frame_base:
        if (a.form == DW_FORM_data4) {
            w.frame_base_list = a.value;
            ctx.frame_base_is_list = true;
            take_list_rows(root, read_scratch_list(s, sym, ctx, a.value), true);
            name_register(s, root);
        } else if (given_as_block(a.form)) {
            w.frame_base_code = a.op.code;
            w.frame_base_op1 = a.op.op1;
            w.frame_base_op2 = a.op.op2;
        }
        break;
    case DW_AT_low_pc:
        if (given_as_address(a.form)) {
            w.func_low_pc = static_cast<int32_t>(a.value);
            root.location = static_cast<int32_t>(a.value);
            if (root.external != 0) {
                root.ident = kIdentProgram;
                root.fstart = root.fend = 0;
            } else {
                root.ident = kIdentSProgram;
                root.fstart = w.unit_low_pc;
                root.fend = w.unit_high_pc;
            }
        }
        break;
    case DW_AT_high_pc:
        if (given_as_address(a.form)) w.func_high_pc = static_cast<int32_t>(a.value);
        break;
    case DW_AT_sibling:
        t.func_sibling = a.value;
        break;
    default:
        break;
    }
}

// DW_AT_location given as a block: the category and place follow from the
// block's first operation.
void location_block_rule(Session& s, const AttributeView& a) {
    SymbolState& t = *s.sym;
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
    } else if ((op >= 0x50 && op < DW_OP_regx) || op == DW_OP_bregx) {
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
            root.regcode = w.frame_base_code >= DW_OP_breg0 ? w.frame_base_code : w.frame_base_code + 0x20;
            root.regop1 = a.op.op1;
            root.regop2 = a.op.op2;
        }
        name_register(s, root);
    }
}

void no_locals_rule(Session& s, SymbolEntry& root) {
    if (s.opt.no_locals && (root.ident == kIdentLocalR || root.ident == kIdentLocalF)) root.name.clear();
}

void variable_rule(Session& s, OutText& sym, WalkContext& ctx, uint32_t tag, const AttributeView& a, int& target,
                   int& current) {
    SymbolState& t = *s.sym;
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
        if (a.form == DW_FORM_flag) {
            root.external = first_byte(a);
            root.ident = root.external != 0 ? kIdentVariable : kIdentLocalS;
        }
        break;
    case DW_AT_declaration:
        if (a.form == DW_FORM_flag && first_byte(a) != 0) root.ident = kIdentNon;
        break;
    case DW_AT_type:
        follow_restoring(s, sym, ctx, a, root.nest + 1, target, current);
        break;
    case DW_AT_location:
        if (given_as_block(a.form)) {
            location_block_rule(s, a);
            no_locals_rule(s, root);
        } else if (a.form == DW_FORM_data4) {
            root.ident = kIdentLocalF;
            set_function_range(root, w);
            take_list_rows(root, read_scratch_list(s, sym, ctx, a.value), false);
            if (root.regcode == DW_OP_fbreg) {
                // The variable lives relative to the frame base, whose own
                // list gives the places. Only a frame base that was itself a
                // list has one; otherwise the variable keeps its own rows.
                if (ctx.frame_base_is_list)
                    read_loc_list(s, sym, static_cast<uint32_t>(w.unit_low_pc), root, w.frame_base_list);
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
}

void scope_rule(Session& s, OutText& sym, WalkContext& ctx, uint32_t tag, const AttributeView& a, int& target,
                int& current) {
    switch (tag) {
    case DW_TAG_compile_unit: compile_unit_rule(s, a, current); break;
    case DW_TAG_label: label_rule(s, a); break;
    case DW_TAG_subprogram: subprogram_rule(s, sym, ctx, a, target, current); break;
    case DW_TAG_variable:
    case DW_TAG_formal_parameter: variable_rule(s, sym, ctx, tag, a, target, current); break;
    default: break;
    }
}

// A static symbol is written a second time as a global (-g) under the name
// name@function inside a function, name@unit outside.
void make_global_copy(Session& s) {
    SymbolState& t = *s.sym;
    const SymbolEntry& root = t.entries[0];
    touch_entry(t, kGlobalBankStart);
    SymbolEntry& copy = t.entries[kGlobalBankStart];
    copy = root;
    copy.ident = kIdentVariable;
    std::string name = root.name;
    name += '@';
    name += t.func_sibling != 0 ? t.scope.function_name : t.scope.unit_name;
    set_name(copy.name, name);
}

bool on_chain_without_new_entry(const WalkContext& ctx, size_t die) {
    for (int i = 0; i < ctx.chain_length; ++i)
        if (ctx.chain[i].die == die && ctx.chain[i].allocations == ctx.allocations) return true;
    return false;
}

}  // namespace

void set_name(std::string& dest, const std::string& text) {
    if (text.size() <= static_cast<size_t>(kMaxNameLength))
        dest = text;
    else
        dest.assign(text, 0, kMaxNameLength);
}

size_t list_limit(const WalkContext& ctx, size_t pos) {
    if (pos >= ctx.unit_start && pos < ctx.unit_end) return ctx.unit_end;
    return ctx.info_end;
}

void allocate_entry(Session& s, WalkContext& ctx, int& current) {
    advance_symbol_index(s, current);
    ++ctx.allocations;
}

size_t build_symbol(Session& s, OutText& sym, WalkContext& ctx, size_t values, uint32_t tag, size_t specs,
                    bool has_children, int32_t nest, int& current) {
    SymbolState& t = *s.sym;
    SymbolEntries& e = t.entries;

    if (tag == DW_TAG_member && !e[0].name.empty()) {
        // A member already in the tree (a structure reached again through a
        // pointer to itself) is refused; this ends cyclic types.
        constexpr int kIndexThreshold = 32;
        if (!ctx.member_index_active && current < kIndexThreshold) {
            for (int i = 0; i <= current; ++i)
                if (e[i].die_pos == values) return values;
        } else {
            if (!ctx.member_index_active) {
                for (int i = 1; i <= current; ++i) ctx.member_index.emplace(e[i].die_pos, i);
                ctx.member_index_active = true;
            }
            auto range = ctx.member_index.equal_range(values);
            for (auto it = range.first; it != range.second; ++it)
                if (it->second <= current && e[it->second].die_pos == values) return values;
        }
        allocate_entry(s, ctx, current);
        e[current].nest = nest;
        e[current].die_pos = values;
        if (ctx.member_index_active) ctx.member_index.emplace(values, current);
    }
    int target = current;
    ++ctx.depth;

    const bool tracing = s.opt.trace && nest == 0;
    const size_t limit = list_limit(ctx, values);
    ByteReader r = image_range(s, values, limit > values ? limit - values : 0);
    ByteReader attr_list = abbrev_reader(s, specs);
    const size_t level = static_cast<size_t>(ctx.depth);
    while (ctx.values.size() <= level) ctx.values.push_back(std::make_unique<AttributeValue>());
    AttributeValue& v = *ctx.values[level];
    clear_attribute_value(v);
    v.size = 0;
    v.hex_text = tracing;
    std::string loc_text, line, attr_label, form_label_text;
    bool cut = false;

    for (;;) {
        const uint32_t attr = read_uleb128(attr_list);
        uint32_t form = read_uleb128(attr_list);
        if ((attr == 0 && form == 0) || attr_list.overrun) break;
        const uint32_t spec_form = form;
        clear_attribute_value(v);
        const bool was_overrun = r.overrun;
        decode_attribute(s, form, v, r);
        if (r.overrun && !was_overrun) {
            cut = true;
            break;
        }

        AttributeView a;
        a.attr = attr;
        a.form = form;
        a.value = v.number();
        a.raw = &v;
        loc_text.clear();
        if (form == DW_FORM_block1 || form == DW_FORM_block) {
            // Only the first operation of the block is decoded. The value
            // buffer was cleared before the decode, so an operand reaching
            // past the block reads zeros and never leaves the buffer.
            ByteReader expr = make_reader(v.bytes, kValueBytes, 0, kValueBytes, s.elf.big_endian);
            decode_loc_op(s, loc_text, a.op, expr, tracing);
        } else if (attr == DW_AT_encoding && form == DW_FORM_data1) {
            if (tracing) encoding_label(loc_text, v.byte());
        } else if (attr == DW_AT_type && form == DW_FORM_ref2) {
            const uint32_t here = static_cast<uint32_t>(r.pos - ctx.info_start);
            a.value += unit_start_for_offset(s, here);
            a.form = DW_FORM_ref_addr;
        }

        scope_rule(s, sym, ctx, tag, a, target, current);
        if (!e[0].name.empty()) apply_type_rule(s, sym, ctx, tag, a, target, current);

        if (tracing) {
            attribute_label(attr_label, attr);
            form_label(form_label_text, spec_form);
            line = "/ ";
            line += attr_label;
            line += ' ';
            line += form_label_text;
            line += ' ';
            line += v.text;
            line += ' ';
            line += loc_text;
            line += '\n';
            trace_line(s, &sym, line);
        }
    }

    SymbolEntry& root = e[0];
    if (root.ident == kIdentLocalS) {
        if (root.location == 0 && root.one_byte == 0)
            root.name.clear();
        else if (s.opt.globalize_statics)
            make_global_copy(s);
    }
    if (cut) ctx.cut = true;
    if (!root.name.empty() && has_children && !cut) {
        if (ctx.depth > kMaxTypeDepth) {
            if (!ctx.warned_depth) {
                ctx.warned_depth = true;
                warn(s, at_info("types nested too deeply; members not followed", values - ctx.info_start));
            }
        } else if (tag == DW_TAG_array_type) {
            int private_index = target;
            walk_children(s, sym, ctx, r.pos, DW_TAG_subrange_type, e[target].nest + 1, private_index);
        } else if (tag == DW_TAG_structure_type || tag == DW_TAG_union_type) {
            walk_children(s, sym, ctx, r.pos, DW_TAG_member, e[target].nest + 1, current);
        }
    }
    --ctx.depth;
    return r.pos;
}

size_t follow_type(Session& s, OutText& sym, WalkContext& ctx, size_t die, int32_t nest, int& current) {
    if (die < ctx.info_start || die >= ctx.info_end) {
        if (!ctx.warned_reference) {
            ctx.warned_reference = true;
            warn(s, at_info("type reference outside .debug_info", die - ctx.info_start));
        }
        return die;
    }
    if (ctx.depth > kMaxTypeDepth || ctx.chain_length >= kMaxTypeDepth) {
        if (!ctx.warned_depth) {
            ctx.warned_depth = true;
            warn(s, at_info("types nested too deeply; type reference not followed", die - ctx.info_start));
        }
        return die;
    }
    if (on_chain_without_new_entry(ctx, die)) {
        if (!ctx.warned_cycle) {
            ctx.warned_cycle = true;
            warn(s, at_info("cyclic type reference; following stopped", die - ctx.info_start));
        }
        return die;
    }
    const size_t limit = list_limit(ctx, die);
    ByteReader r = image_range(s, die, limit - die);
    const uint32_t code = read_uleb128(r);
    const AbbrevSlot* decl = r.overrun ? nullptr : find_abbreviation(s, code);
    if (!decl) return r.pos;

    ctx.chain[ctx.chain_length++] = WalkContext::Link{die, ctx.allocations};
    size_t after = build_symbol(s, sym, ctx, r.pos, decl->tag, decl->specs, decl->children == DW_CHILDREN_yes, nest,
                                current);
    --ctx.chain_length;
    return after;
}

void follow_reference(Session& s, OutText& sym, WalkContext& ctx, const AttributeView& a, int32_t nest,
                      int& current) {
    size_t die;
    if (a.form == DW_FORM_ref_addr)
        die = ctx.info_start + a.value;
    else if (a.form == DW_FORM_ref4)
        die = ctx.unit_start + a.value;
    else
        return;
    follow_type(s, sym, ctx, die, nest, current);
}
