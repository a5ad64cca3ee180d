#include "symbols/tree_builder.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/format.h"
#include "common/session.h"
#include "common/warnings.h"
#include "locations/loc_expr.h"
#include "symbols/dwarf_names.h"
#include "symbols/scope_rules.h"
#include "symbols/sym_writer.h"
#include "symbols/type_rules.h"

namespace {

// The walk of one unit: the symbol table it fills, the cursor's view of the
// unit, and what the recursion through types and member lists keeps.
//
// build() processes one DIE's attributes through the scope and type rules;
// a rule's FollowRequest sends it through follow() to the referenced DIE,
// which is built in turn; the children of arrays, structures and unions are
// built by walk_children(). These three are the one recursion of the walk.
struct TreeBuilder {
    Session& s;
    OutText& sym;
    SymbolState& t;  // t.current is the index of the newest entry of the tree
    const UnitView& unit;
    const LocTarget target_machine;

    bool frame_base_is_list = false;
    LocRows scratch;
    ScopeRuleContext scope{s, sym, t, scratch, frame_base_is_list};

    // build() calls currently active.
    int depth = 0;
    // Member entries handed out so far in this unit; a type chain that comes
    // back to a DIE without a new member entry in between is a cycle.
    uint32_t allocations = 0;
    struct Link {
        size_t die;
        uint32_t allocations;
    };
    Link chain[kMaxTypeDepth + 2];  // the DIEs follow_die is inside of
    int chain_length = 0;

    // A value or DIE was cut by the end of its unit or section: the rest of
    // the unit cannot be located.
    bool cut = false;
    // One warning per kind and unit.
    bool warned_depth = false, warned_cycle = false, warned_reference = false;

    // Member entries by die_pos, built once a tree grows large, so that the
    // refusal test stays cheap for structures with hundreds of members.
    // Lookups re-check the entry, so stale positions are harmless.
    std::unordered_multimap<size_t, int> member_index;
    bool member_index_active = false;

    // One attribute value buffer per depth, reused from DIE to DIE: a fresh
    // buffer costs a 1 KB clear, and the nested calls a type reference makes
    // must not overwrite the value of the caller.
    std::vector<std::unique_ptr<AttributeValue>> values;

    TreeBuilder(Session& session, OutText& out, const UnitView& view)
        : s(session), sym(out), t(*session.sym), unit(view), target_machine(loc_target(session.elf)) {}

    void walk();
    size_t build(DieCursor& at, const AbbrevSlot& decl, int32_t nest);
    bool refuse_member(size_t values_at);
    void run(const FollowRequest& request, const AttributeView& a);
    void follow(const AttributeView& a, int32_t nest);
    void follow_die(size_t die, int32_t nest);
    void walk_children(DieCursor list, uint32_t wanted, int32_t nest);

    bool skip_attributes(DieCursor& at, const AbbrevSlot& decl);
    bool skip_children(DieCursor& at);
    void warn_cut(uint32_t form, size_t at);
    void warn_once(bool& warned, const char* subject, size_t die);
    void trace_die(const DieEntry& e, const char* tag_text);
    void trace_attribute(uint32_t attr, uint32_t declared_form, const AttributeValue& v, const std::string& loc_text);
};

void TreeBuilder::warn_cut(uint32_t form, size_t at) {
    warn_at(s, cut_value_subject(form), ".debug_info", at - unit.info_start, " is cut off by the end of its data");
}

void TreeBuilder::warn_once(bool& warned, const char* subject, size_t die) {
    if (warned) return;
    warned = true;
    warn_at(s, subject, ".debug_info", die - unit.info_start);
}

void TreeBuilder::trace_die(const DieEntry& e, const char* tag_text) {
    if (!s.opt.trace) return;
    std::string line = "/[0x";
    append_hex(line, static_cast<unsigned>(e.offset - unit.info_start), 4);
    line += "]{0x";
    append_hex(line, static_cast<unsigned>(e.offset - unit.unit_start), 4);
    line += "} Tag[";
    line += tag_text;
    line += "] Used .debug_addrev Section[";
    append_dec_blank(line, static_cast<int>(e.code), 3);
    line += "] *\n";
    trace_line(s, &sym, line);
}

void TreeBuilder::trace_attribute(uint32_t attr, uint32_t declared_form, const AttributeValue& v,
                                  const std::string& loc_text) {
    std::string line = "/ ";
    append_attribute_label(line, attr);
    line += ' ';
    append_form_label(line, declared_form);
    line += ' ';
    line += v.text;
    line += ' ';
    line += loc_text;
    line += '\n';
    trace_line(s, &sym, line);
}

bool TreeBuilder::skip_attributes(DieCursor& at, const AbbrevSlot& decl) {
    if (at.skip_attributes(decl)) return true;
    warn_cut(at.cut_form, at.cut_at);
    return false;
}

bool TreeBuilder::skip_children(DieCursor& at) {
    if (at.skip_children()) return true;
    if (at.value_cut) warn_cut(at.cut_form, at.cut_at);
    return false;
}

void TreeBuilder::walk() {
    reset_symbol_table(t, true);
    t.current = 0;
    DieCursor at = DieCursor::at(unit, unit.unit_start + kUnitHeaderSize);
    std::string label;
    while (at.pos() < unit.unit_end) {
        const DieEntry e = at.next();
        if (e.cut) {
            warn_at(s, "abbreviation code cut off by the end of the unit", ".debug_info", e.offset - unit.info_start);
            break;
        }
        if (!e.decl) {
            trace_die(e, "Null entry");
            continue;
        }
        if (s.opt.trace) {
            tag_label(label, e.decl->tag);
            trace_die(e, label.c_str());
        }
        // The DIEs after the current function's subtree are outside it.
        if (t.func_sibling != 0 && e.offset - unit.unit_start >= t.func_sibling) t.func_sibling = 0;

        build(at, *e.decl, t.entries[0].nest);
        if (!t.entries[0].name.empty()) {
            count_symbol(s);
            finish_symbols(t, s.elf.address_size);
            write_sym_records(s, sym);
        }
        reset_symbol_table(t, false);
        if (member_index_active) {
            member_index.clear();
            member_index_active = false;
        }
        if (cut) break;
    }
}

// A member already in the tree (a structure reached again through a pointer
// to itself) is refused; this ends cyclic types.
bool TreeBuilder::refuse_member(size_t values_at) {
    const SymbolEntries& e = t.entries;
    constexpr int kIndexThreshold = 32;
    if (!member_index_active && t.current < kIndexThreshold) {
        for (int i = 0; i <= t.current; ++i)
            if (e[i].die_pos == values_at) return true;
        return false;
    }
    if (!member_index_active) {
        for (int i = 1; i <= t.current; ++i) member_index.emplace(e[i].die_pos, i);
        member_index_active = true;
    }
    auto range = member_index.equal_range(values_at);
    for (auto it = range.first; it != range.second; ++it)
        if (it->second <= t.current && e[it->second].die_pos == values_at) return true;
    return false;
}

size_t TreeBuilder::build(DieCursor& at, const AbbrevSlot& decl, int32_t nest) {
    SymbolEntries& e = t.entries;
    const size_t values_at = at.pos();
    const uint32_t tag = decl.tag;

    if (tag == DW_TAG_member && !e[0].name.empty()) {
        if (refuse_member(values_at)) return values_at;
        advance_symbol_index(s, t.current);
        ++allocations;
        e[t.current].nest = nest;
        e[t.current].die_pos = values_at;
        if (member_index_active) member_index.emplace(values_at, t.current);
    }
    int target = t.current;
    ++depth;

    const bool tracing = s.opt.trace && nest == 0;
    const bool scope_tag = has_scope_rules(tag);
    // The values are bounded as a DIE list starting there would be.
    DieCursor in = at.moved_to(values_at);
    ByteReader& r = in.r;
    ByteReader pair = at.pairs(decl);
    const size_t level = static_cast<size_t>(depth);
    while (values.size() <= level) values.push_back(std::make_unique<AttributeValue>());
    AttributeValue& v = *values[level];
    clear_attribute_value(v);
    v.size = 0;
    v.hex_text = tracing;
    std::string loc_text;
    bool value_cut = false;

    for (;;) {
        const uint32_t attr = read_uleb128(pair);
        uint32_t form = read_uleb128(pair);
        if ((attr == 0 && form == 0) || pair.overrun) break;
        const uint32_t declared_form = form;
        clear_attribute_value(v);
        const bool was_overrun = r.overrun;
        const size_t start = r.pos;
        decode_attribute(unit.forms, form, v, r);
        if (r.overrun && !was_overrun) {
            warn_cut(form, start);
            value_cut = true;
            break;
        }
        if (attr == DW_AT_sibling) in.note_sibling(form, v.number());

        AttributeView a;
        a.attr = attr;
        a.form = form;
        a.value = v.number();
        a.raw = &v;
        loc_text.clear();
        if (given_as_block(form)) {
            // Only the first operation of the block is decoded. The value
            // buffer was cleared before the decode, so an operand reaching
            // past the block reads zeros and never leaves the buffer.
            ByteReader expr = make_reader(v.bytes, kValueBytes, 0, kValueBytes, unit.image.big_endian);
            decode_loc_op(target_machine, loc_text, a.op, expr, tracing);
        } else if (attr == DW_AT_encoding && form == DW_FORM_data1) {
            if (tracing) encoding_label(loc_text, v.byte());
        } else if (attr == DW_AT_type && form == DW_FORM_ref2) {
            // A 2-byte reference counts from the start of the unit that holds it.
            const uint32_t here = static_cast<uint32_t>(r.pos - unit.info_start);
            a.value += unit_start_for_offset(*unit.units, unit.unit_index, here);
            a.form = DW_FORM_ref_addr;
        }

        if (scope_tag) {
            const FollowRequest request = apply_scope_rule(scope, tag, a, target);
            if (request.follow) run(request, a);
        }
        if (!e[0].name.empty()) {
            const FollowRequest request = apply_type_rule(t, tag, a, target);
            if (request.follow) run(request, a);
        }
        if (tracing) trace_attribute(attr, declared_form, v, loc_text);
    }

    finish_root_attributes(scope);
    if (value_cut) cut = true;
    if (!e[0].name.empty() && decl.children == DW_CHILDREN_yes && !value_cut) {
        if (depth > kMaxTypeDepth) {
            warn_once(warned_depth, "types nested too deeply; members not followed", values_at);
        } else if (tag == DW_TAG_array_type) {
            // The subranges work on a copy of the index: whatever they add
            // is not kept.
            const int shared = t.current;
            t.current = target;
            walk_children(in.moved_to(r.pos), DW_TAG_subrange_type, e[target].nest + 1);
            t.current = shared;
        } else if (tag == DW_TAG_structure_type || tag == DW_TAG_union_type) {
            walk_children(in.moved_to(r.pos), DW_TAG_member, e[target].nest + 1);
        }
    }
    --depth;
    at.r.pos = r.pos;
    at.sibling = in.sibling;
    return r.pos;
}

void TreeBuilder::run(const FollowRequest& request, const AttributeView& a) {
    const int remembered = t.current;
    follow(a, request.nest);
    switch (request.restore) {
    case FollowRequest::Restore::always: t.current = remembered; break;
    case FollowRequest::Restore::unless_root_struct:
        if ((t.entries[0].kind & kKindStruct) == 0) t.current = remembered;
        break;
    case FollowRequest::Restore::never: break;
    }
}

// DW_FORM_ref_addr counts from the start of .debug_info, DW_FORM_ref4 from
// the start of the unit; other forms are not followed.
void TreeBuilder::follow(const AttributeView& a, int32_t nest) {
    if (a.form == DW_FORM_ref_addr)
        follow_die(unit.info_start + a.value, nest);
    else if (a.form == DW_FORM_ref4)
        follow_die(unit.unit_start + a.value, nest);
}

bool on_chain_without_new_entry(const TreeBuilder& b, size_t die) {
    for (int i = 0; i < b.chain_length; ++i)
        if (b.chain[i].die == die && b.chain[i].allocations == b.allocations) return true;
    return false;
}

// Builds the DIE at `die` as a type of the current tree. Stops without
// reading when the DIE lies outside .debug_info, when the chain is too deep,
// or when the DIE is already on the chain with no member entry added since
// (a cycle); a DIE whose code has no declaration is not built.
void TreeBuilder::follow_die(size_t die, int32_t nest) {
    if (die < unit.info_start || die >= unit.info_end) {
        warn_once(warned_reference, "type reference outside .debug_info", die);
        return;
    }
    if (depth > kMaxTypeDepth || chain_length >= kMaxTypeDepth) {
        warn_once(warned_depth, "types nested too deeply; type reference not followed", die);
        return;
    }
    if (on_chain_without_new_entry(*this, die)) {
        warn_once(warned_cycle, "cyclic type reference; following stopped", die);
        return;
    }
    DieCursor at = DieCursor::at(unit, die);
    const DieEntry e = at.next();
    if (e.cut || !e.decl) return;
    chain[chain_length++] = Link{die, allocations};
    build(at, *e.decl, nest);
    --chain_length;
}

// The children list at `list`: the children with tag `wanted` are built at
// depth `nest`, the others are stepped over with their own children. Ends
// at the null entry closing the list, at a code without declaration, or at
// the end of the list's bounds.
void TreeBuilder::walk_children(DieCursor list, uint32_t wanted, int32_t nest) {
    bool lowered = false;
    while (!list.at_end()) {
        const DieEntry child = list.next();
        if (child.cut || !child.decl) return;  // code 0 closes the list
        const size_t values_at = list.pos();
        if (child.decl->tag == wanted) {
            build(list, *child.decl, nest);
            if (cut) return;
            if (list.pos() == values_at) {
                // Refused: the member is already in the tree. The siblings
                // that follow belong to the level above; step up once only,
                // so no member of this list ends up above its parent's level.
                if (!skip_attributes(list, *child.decl)) return;
                if (!lowered) {
                    nest -= 1;
                    lowered = true;
                }
            }
        } else if (!skip_attributes(list, *child.decl)) {
            return;
        }
        // The child's own children are not part of this list.
        if (child.decl->children == DW_CHILDREN_yes && !skip_children(list)) return;
    }
}

}  // namespace

void walk_unit_dies(Session& s, OutText& sym, const UnitView& unit) {
    // The builder is large (it holds the type chain and scratch rows); keep it off the stack.
    auto builder = std::make_unique<TreeBuilder>(s, sym, unit);
    builder->walk();
}
