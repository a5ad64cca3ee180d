#include "symbols/tree_builder.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "common/format.h"
#include "common/session.h"
#include "common/warnings.h"
#include "locations/loc_expr.h"
#include "symbols/call_sites.h"
#include "symbols/dwarf_names.h"
#include "symbols/position_index.h"
#include "symbols/scope_rules.h"
#include "symbols/sym_writer.h"
#include "symbols/type_cache.h"
#include "symbols/type_rules.h"

// The walk's working storage, kept in the symbol state from unit to unit:
// each buffer grows to the largest unit once instead of being allocated,
// grown and freed for every unit. Every walk starts by emptying it.
struct WalkScratch {
    PositionIndex member_index;
    std::vector<std::unique_ptr<AttributeValue>> values;
    std::deque<std::string> loc_texts;  // a deque: growing keeps the outer depths in place
    std::string trace_text;
    ExpansionTable expansions;
    TypeJournal journal;
    std::vector<size_t> looked_up_log;
    struct Followed {
        size_t die;
        uint32_t allocations;
    };
    std::vector<Followed> follow_log;

    void start_unit() {
        member_index.clear();
        expansions.clear();
        journal.writes.clear();
        journal.texts.clear();
        looked_up_log.clear();
        follow_log.clear();
    }
};

void WalkScratchDeleter::operator()(WalkScratch* scratch) const { delete scratch; }

namespace {

// Whether anything the walk does with an attribute of a DIE with `tag` needs
// its value: a scope or type rule, the sibling a children list is stepped
// over with, or a member's DW_AT_data_bit_offset.
bool rules_read(uint32_t tag, bool scope_tag, bool member, uint32_t attr) {
    return attr == DW_AT_sibling || (member && attr == DW_AT_data_bit_offset) ||
           (scope_tag && scope_rule_reads(tag, attr)) || type_rule_reads(tag, attr);
}

// Values whose decoding says nothing of its own: every form but those
// looked up in a table of the unit (an index that names nothing warns), an
// indirect or unknown form, and (DWARF 5) an expression that may start with
// DW_OP_addrx.
bool steps_over_silently(uint32_t form) {
    switch (form_row(form).cls) {
    case FormClass::address:
    case FormClass::block:
    case FormClass::constant:
    case FormClass::flag:
    case FormClass::reference:
    case FormClass::string:
    case FormClass::section_offset:
    case FormClass::other: return true;
    default: return false;
    }
}

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
    WalkScratch& kept;
    const UnitView& unit;
    const LocTarget target_machine;

    bool frame_base_is_list = false;
    bool frame_base_from_cfa = false;
    LocRows scratch;
    LocRows frame_rows;
    const ListUnit list_unit;
    ScopeRuleContext scope{s, sym, t, scratch, frame_base_is_list, frame_rows, frame_base_from_cfa, list_unit};

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
    bool warned_depth = false, warned_cycle = false, warned_reference = false, warned_index = false;

    // Member entries by die_pos, built once a tree grows large, so that the
    // refusal test stays cheap for structures with hundreds of members.
    // Lookups re-check the entry, so stale positions are harmless.
    PositionIndex& member_index = kept.member_index;
    bool member_index_active = false;

    // One attribute value buffer per depth, reused from DIE to DIE: a fresh
    // buffer costs a 1 KB clear, and the nested calls a type reference makes
    // must not overwrite the value of the caller.
    std::vector<std::unique_ptr<AttributeValue>>& values = kept.values;
    // The trace text of a location operation, per depth like the values, and
    // the trace line being built: their room is reused from line to line.
    std::deque<std::string>& loc_texts = kept.loc_texts;
    std::string& trace_text = kept.trace_text;

    // Each type DIE is expanded once per situation and copied afterwards
    // (type_cache.h). A follow that may be kept is recorded while it runs:
    // a Recording notes what its result depended on, and is spoilt by
    // whatever makes the result depend on more (a limit, a warning, a cut
    // value, a trace line, a scope rule, a full table).
    struct Recording {
        TypeKey key;
        int target = 0;
        uint32_t allocations = 0;  // at the start
        int depth = 0, chain = 0;  // at the start
        int max_depth = 0, max_chain = 0;
        int top = 0;  // highest member entry handed out
        int32_t target_nest = 0;
        int lowest_refusal = kMainBankSize;  // lowest entry that refused a member
        bool spoilt = false;
        size_t writes_from = 0, looked_up_from = 0, follows_from = 0;  // where its part of the logs starts
    };
    ExpansionTable& expansions = kept.expansions;
    std::vector<Recording> recordings;  // innermost last
    // What recording noted, kept for the unit's kept expansions: the writes,
    // every member DIE checked for refusal, and every DIE followed with the
    // member count at that time.
    TypeJournal& journal = kept.journal;
    std::vector<size_t>& looked_up_log = kept.looked_up_log;
    using Followed = WalkScratch::Followed;
    std::vector<Followed>& follow_log = kept.follow_log;

    TreeBuilder(Session& session, OutText& out, const UnitView& view)
        : s(session),
          sym(out),
          t(*session.sym),
          kept(scratch_of(*session.sym)),
          unit(view),
          target_machine(loc_target(session.elf, view.header.version)),
          list_unit(list_unit_of(view)) {}

    static WalkScratch& scratch_of(SymbolState& state) {
        if (!state.walk_scratch) state.walk_scratch.reset(new WalkScratch);
        state.walk_scratch->start_unit();
        return *state.walk_scratch;
    }

    static ListUnit list_unit_of(const UnitView& view) {
        ListUnit u;
        u.version = view.header.version;
        u.address_size = view.forms.address_size;
        const ImageRange& addr = view.forms.addr;
        if (addr.end > addr.begin && view.forms.addr_base < addr.end - addr.begin) {
            u.addr_begin = addr.begin + view.forms.addr_base;
            u.addr_end = addr.end;
        }
        return u;
    }

    void walk();
    size_t build(DieCursor& at, const AbbrevSlot& decl, int32_t nest);
    int refusing_entry(size_t values_at);
    bool keyed_follow(const AbbrevSlot& decl, size_t die, int32_t nest, TypeKey& key) const;
    bool replay(const TypeExpansion& x);
    void record(DieCursor& at, const AbbrevSlot& decl, int32_t nest, const TypeKey& key, size_t die);
    void keep(const Recording& done);
    // (Field by field, as TypeJournal::note does.)
    void note_follow(size_t die) {
        Followed& f = follow_log.emplace_back();
        f.die = die;
        f.allocations = allocations;
    }
    void spoil() {
        if (!recordings.empty()) recordings.back().spoilt = true;
    }
    void run(const FollowRequest& request, const AttributeView& a);
    void follow(const AttributeView& a, int32_t nest);
    void follow_die(size_t die, int32_t nest);
    void walk_children(DieCursor list, uint32_t wanted, int32_t nest);

    bool skip_attributes(DieCursor& at, const AbbrevSlot& decl);
    bool steps_over_plainly(const DieEntry& e);
    bool skip_children(DieCursor& at);
    void warn_cut(uint32_t form, size_t at);
    void warn_once(bool& warned, const char* subject, size_t die);
    void trace_die(const DieEntry& e, const char* tag_text);
    void trace_attribute(uint32_t attr, uint32_t declared_form, const AttributeValue& v, const std::string& loc_text);
};

void TreeBuilder::warn_cut(uint32_t form, size_t at) {
    spoil();
    warn_at(s, cut_value_subject(form), ".debug_info", at - unit.info_start, " is cut off by the end of its data");
}

void TreeBuilder::warn_once(bool& warned, const char* subject, size_t die) {
    spoil();
    if (warned) return;
    warned = true;
    warn_at(s, subject, ".debug_info", die - unit.info_start);
}

void TreeBuilder::trace_die(const DieEntry& e, const char* tag_text) {
    if (!s.opt.trace) return;
    std::string& line = trace_text;
    line.assign("/[0x");
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
    std::string& line = trace_text;
    line.assign("/ ");
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
    DieCursor at = DieCursor::at(unit, unit.unit_start + unit.header.size);
    std::string label;
    const std::vector<size_t> call_site_only = call_site_only_declarations(unit);
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
        leave_function_at(t, e.offset - unit.unit_start);

        if (steps_over_plainly(e)) {
            // Nothing of it is written and the table stays as the last reset
            // left it. Its values are bounded as build() bounds them (values
            // that start at the end of the unit are read from the rest of
            // .debug_info).
            DieCursor values = at.moved_to(at.pos());
            const bool whole = skip_attributes(values, *e.decl);
            at.r.pos = values.r.pos;
            if (!whole) break;
            continue;
        }
        build(at, *e.decl, t.entries[0].nest);
        if (!t.entries[0].name.empty() && !std::binary_search(call_site_only.begin(), call_site_only.end(), e.offset)) {
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

// Whether the top-level DIE `e` can be stepped over instead of built: a DIE
// without scope rules starts no symbol, so building it only reads its values.
// Stepping over them reads as far and meets a cut value at the same place;
// declarations whose values could warn otherwise (a form read through a
// table of the unit, an indirect or unknown form, a DWARF 5 expression that
// may start with DW_OP_addrx, a cut declaration) and trace runs are built.
bool TreeBuilder::steps_over_plainly(const DieEntry& e) {
    if (s.opt.trace || has_scope_rules(e.decl->tag)) return false;
    const AbbrevSlot& d = *e.decl;
    return d.compiled && d.in_place && !(d.has_exprloc && unit.header.version >= 5);
}

// A member already in the tree (a structure reached again through a pointer
// to itself) is refused; this ends cyclic types. Returns the lowest entry
// 0..current that holds the member, or -1.
int TreeBuilder::refusing_entry(size_t values_at) {
    const SymbolEntries& e = t.entries;
    constexpr int kIndexThreshold = 32;
    if (!member_index_active && t.current < kIndexThreshold) {
        for (int i = 0; i <= t.current; ++i)
            if (e[i].die_pos == values_at) return i;
        return -1;
    }
    if (!member_index_active) {
        for (int i = 1; i <= t.current; ++i) member_index.insert(e[i].die_pos, i);
        member_index_active = true;
    }
    int lowest = -1;
    member_index.for_each(values_at, [&](int i) {
        if (i <= t.current && e[i].die_pos == values_at && (lowest < 0 || i < lowest)) lowest = i;
    });
    return lowest;
}

size_t TreeBuilder::build(DieCursor& at, const AbbrevSlot& decl, int32_t nest) {
    SymbolEntries& e = t.entries;
    const size_t values_at = at.pos();
    const uint32_t tag = decl.tag;

    int member_entry = t.current;
    if (tag == DW_TAG_member && !e[0].name.empty()) {
        const int refused_by = refusing_entry(values_at);
        if (!recordings.empty()) {
            looked_up_log.push_back(values_at);
            if (refused_by >= 0 && refused_by < recordings.back().lowest_refusal)
                recordings.back().lowest_refusal = refused_by;
            if (t.current + 1 >= kMainBankSize) spoil();
        }
        if (refused_by >= 0) return values_at;
        advance_symbol_index(s, t.current);
        ++allocations;
        if (!recordings.empty() && t.current > recordings.back().top) recordings.back().top = t.current;
        write_type_field(t, t.current, TypeField::nest, nest);
        write_type_field(t, t.current, TypeField::die_pos, static_cast<int64_t>(values_at));
        member_entry = t.current;
        if (member_index_active) member_index.insert(values_at, t.current);
    }
    int target = t.current;
    const bool member = tag == DW_TAG_member && !e[0].name.empty();
    const bool scope_tag = has_scope_rules(tag);
    bool has_data_bit_offset = false;
    uint32_t data_bit_offset = 0;
    ++depth;

    const bool tracing = s.opt.trace && nest == 0;
    if (!recordings.empty()) {
        Recording& rec = recordings.back();
        if (depth > rec.max_depth) rec.max_depth = depth;
        if (tracing || scope_tag) rec.spoilt = true;
    }
    // The values are bounded as a DIE list starting there would be.
    DieCursor in = at.moved_to(values_at);
    ByteReader& r = in.r;
    DeclPairs pairs = at.decl_pairs(decl);
    const size_t level = static_cast<size_t>(depth);
    while (values.size() <= level) values.push_back(std::make_unique<AttributeValue>());
    if (loc_texts.size() <= level) loc_texts.resize(level + 1);
    AttributeValue& v = *values[level];
    clear_attribute_value(v);
    v.size = 0;
    v.hex_text = tracing;
    std::string& loc_text = loc_texts[level];
    bool value_cut = false;

    const bool stepping = !s.opt.trace;
    AttrForm item;
    while (pairs.next(item)) {
        const uint32_t attr = item.attr;
        uint32_t form = item.form;
        if (stepping && !rules_read(tag, scope_tag, member, attr) && steps_over_silently(form)) {
            // No rule reads it: its value is only stepped over, which meets a
            // cut value where decoding it would.
            if (item.width >= 0 && r.remaining() >= static_cast<size_t>(item.width)) {
                r.pos += static_cast<size_t>(item.width);
                continue;
            }
            const bool was_overrun = r.overrun;
            const size_t start = r.pos;
            skip_value(unit.forms, form, r);
            if (r.overrun && !was_overrun) {
                warn_cut(form, start);
                value_cut = true;
                break;
            }
            continue;
        }
        const bool implicit = form == DW_FORM_implicit_const;
        const int32_t constant = item.constant;
        const uint32_t declared_form = form;
        clear_attribute_value(v);
        const bool was_overrun = r.overrun;
        const size_t start = r.pos;
        // The value as a number: taken from the decoder where it had it in
        // hand, else read from the (cleared) value bytes.
        uint32_t number = 0;
        if (implicit) {
            decode_implicit_const(constant, form, v);
            number = v.number();
        } else if (!decode_plain_number(form, v, r, number)) {
            decode_attribute_any(unit.forms, form, v, r);
            number = v.number();
        }
        if (r.overrun && !was_overrun) {
            warn_cut(form, start);
            value_cut = true;
            break;
        }
        if (v.unresolved) warn_once(warned_index, "value whose index names no entry of its table", values_at);
        if (attr == DW_AT_sibling) in.note_sibling(form, number);

        AttributeView a;
        a.attr = attr;
        a.form = form;
        a.value = number;
        a.raw = &v;
        loc_text.clear();
        if (given_as_block(form)) {
            // Only an expression (exprloc, from DWARF 4 on) is rewritten:
            // a block of data may begin with the same byte.
            if (form == DW_FORM_exprloc && unit.header.version >= 5 && v.bytes[0] == DW_OP_addrx &&
                !resolve_address_index(unit.forms, v))
                warn_once(warned_index, "value whose index names no entry of its table", values_at);
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
        if (member && attr == DW_AT_data_bit_offset && given_as_constant(form)) {
            has_data_bit_offset = true;
            data_bit_offset = a.value;
        }
        if (!e[0].name.empty()) {
            const FollowRequest request = apply_type_rule(t, tag, a, target);
            if (request.follow) run(request, a);
        }
        if (tracing) trace_attribute(attr, declared_form, v, loc_text);
    }

    if (has_data_bit_offset) take_data_bit_offset(t, member_entry, data_bit_offset, unit.image.big_endian);
    if (tag == DW_TAG_compile_unit) finish_unit_attributes(scope);
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
    if (!recordings.empty()) note_follow(die);
    DieCursor at = DieCursor::at(unit, die);
    const DieEntry e = at.next();
    if (e.cut || !e.decl) return;
    TypeKey key;
    if (keyed_follow(*e.decl, die, nest, key)) {
        const TypeExpansion* found = expansions.find(key);
        if (!found) {
            record(at, *e.decl, nest, key, die);
            return;
        }
        if (replay(*found)) return;
    }
    chain[chain_length++] = Link{die, allocations};
    build(at, *e.decl, nest);
    --chain_length;
}

// Whether following `die` now may use or make a kept expansion, and its key.
// Members and DIEs with scope rules (reached through a broken reference)
// depend on more than the key says; so do a root without a name (nothing is
// written) and a static root (every DIE may rewrite it).
bool TreeBuilder::keyed_follow(const AbbrevSlot& decl, size_t die, int32_t nest, TypeKey& key) const {
    if (!t.keep_type_expansions) return false;
    if (decl.tag == DW_TAG_member || has_scope_rules(decl.tag)) return false;
    if (s.opt.trace && nest == 0) return false;
    const SymbolEntries& e = t.entries;
    if (e[0].name.empty() || e[0].ident == kIdentLocalS) return false;
    const int target = t.current;
    key.die = die;
    key.target_is_root = target == 0;
    key.root_struct = (e[0].kind & kKindStruct) != 0;
    key.trace_nest = s.opt.trace ? e[target].nest : 0;
    return true;
}

// Copies a kept expansion into the table when, here, building the DIE again
// would give the same: no limit reached, no member it looked up already in
// the entries up to the target, no DIE it followed before its first member
// entry on the chain, room in the table. False leaves everything untouched.
bool TreeBuilder::replay(const TypeExpansion& x) {
    const int target = t.current;
    if (target + x.top_step >= kMainBankSize) return false;
    if (depth + x.depth_span > kMaxTypeDepth || chain_length + x.chain_span > kMaxTypeDepth) return false;
    for (size_t i = x.early_follows.from; i < x.early_follows.to; ++i)
        if (on_chain_without_new_entry(*this, follow_log[i].die)) return false;
    if (target > 0)
        for (size_t i = x.looked_up.from; i < x.looked_up.to; ++i)
            if (refusing_entry(looked_up_log[i]) >= 0) return false;

    if (!recordings.empty()) {
        Recording& rec = recordings.back();
        rec.max_depth = std::max(rec.max_depth, depth + x.depth_span);
        rec.max_chain = std::max(rec.max_chain, chain_length + x.chain_span);
        if (x.top_step > 0) rec.top = std::max(rec.top, target + x.top_step);
        for (size_t i = x.looked_up.from; i < x.looked_up.to; ++i) looked_up_log.push_back(looked_up_log[i]);
        for (size_t i = x.early_follows.from; i < x.early_follows.to; ++i)
            note_follow(follow_log[i].die);
    }
    apply_expansion(t, journal, target, x);
    allocations += x.allocations;
    if (member_index_active) {
        for (size_t i = x.writes.from; i < x.writes.to; ++i) {
            const TypeWrite& w = journal.writes[i];
            if (w.field == TypeField::die_pos)
                member_index.insert(static_cast<size_t>(w.value), w.entry - x.target + target);
        }
    }
    return true;
}

// Builds the DIE as follow_die would, and keeps the result when nothing
// spoilt it and no member was refused by an entry up to the target.
void TreeBuilder::record(DieCursor& at, const AbbrevSlot& decl, int32_t nest, const TypeKey& key, size_t die) {
    Recording rec;
    rec.key = key;
    rec.target = t.current;
    rec.allocations = allocations;
    rec.depth = rec.max_depth = depth;
    rec.chain = chain_length;
    rec.max_chain = chain_length + 1;
    rec.top = t.current;
    rec.target_nest = t.entries[static_cast<size_t>(t.current)].nest;
    rec.writes_from = journal.writes.size();
    rec.looked_up_from = looked_up_log.size();
    rec.follows_from = follow_log.size();
    recordings.push_back(rec);
    t.journal = &journal;

    chain[chain_length++] = Link{die, allocations};
    build(at, decl, nest);
    --chain_length;

    const Recording done = recordings.back();
    recordings.pop_back();
    if (!done.spoilt && done.lowest_refusal > done.target) keep(done);
    if (recordings.empty()) {
        t.journal = nullptr;
        return;
    }
    Recording& outer = recordings.back();
    outer.top = std::max(outer.top, done.top);
    outer.max_depth = std::max(outer.max_depth, done.max_depth);
    outer.max_chain = std::max(outer.max_chain, done.max_chain);
    outer.lowest_refusal = std::min(outer.lowest_refusal, done.lowest_refusal);
    outer.spoilt = outer.spoilt || done.spoilt;
}

void TreeBuilder::keep(const Recording& done) {
    TypeExpansion x;
    x.writes = LogRange{done.writes_from, journal.writes.size()};
    x.target = done.target;
    x.target_nest = done.target_nest;
    x.top_step = done.top - done.target;
    x.current_step = t.current - done.target;
    x.allocations = allocations - done.allocations;
    x.depth_span = done.max_depth - done.depth;
    x.chain_span = done.max_chain - done.chain;
    x.looked_up = LogRange{done.looked_up_from, looked_up_log.size()};
    // The member count only grows: the follows before the first member
    // entry are the first ones of this part of the log.
    size_t early_end = done.follows_from;
    while (early_end < follow_log.size() && follow_log[early_end].allocations == done.allocations) ++early_end;
    x.early_follows = LogRange{done.follows_from, early_end};
    expansions.insert(done.key, x);
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
