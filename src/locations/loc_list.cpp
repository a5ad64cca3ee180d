#include "locations/loc_list.h"

#include <string>

#include "common/dwarf_codes.h"
#include "common/format.h"
#include "common/session.h"
#include "common/warnings.h"
#include "elf/elf_reader.h"
#include "locations/loc_expr.h"
#include "locations/loc_state.h"

namespace {

void warn_at_loc(Session& s, const char* what, size_t offset) { warn_at(s, what, ".debug_loc", offset); }

// The rows and trace lines of one list entry's expression: one row per
// operation, numbered on from `row` (rows beyond kLocRows are traced only).
// `result` carries over from one operation to the next within a list.
struct EntryWriter {
    Session& s;
    OutText& sym;
    LocRows* rows;
    const char* section;
    LocTarget target;
    LocListStats* stats;
    LocOpResult result;
    int row = 0;
    std::string line;

    // Decodes the expression in `expr`; false when an operation ran past
    // its end (reported against the entry at `offset`).
    bool write(ByteReader expr, bool expression_cut, size_t offset, uint32_t begin, uint32_t end) {
        // An entry that describes a value gives no place: it is traced but
        // stores no row and leaves the result as it was.
        const bool value = rows && describes_value(target, expr);
        LocOpResult value_result;
        if (value && stats) stats->values_dropped += 1;
        bool first = true;
        int index = 0;
        while (!expr.at_end()) {
            if (s.opt.trace) {
                // The operation's text goes straight after the entry's heading.
                line.clear();
                if (first) {
                    line += "/[0x";
                    append_hex(line, offset, 4);
                    line += "] beginning[0x";
                    append_hex(line, begin, 8);
                    line += "] ending[0x";
                    append_hex(line, end, 8);
                    line += "] ";
                } else {
                    line += "/[------] beginning[----------] ending[----------] ";
                }
                decode_loc_op(target, line, value ? value_result : result, expr, true);
                line += '\n';
                trace_line(s, &sym, line);
            } else {
                decode_loc_op(target, line, value ? value_result : result, expr, false);
            }
            first = false;
            if (!value && row < kLocRows) {
                if (rows) {
                    rows->seq[row] = index;
                    rows->begin[row] = static_cast<int32_t>(begin);
                    rows->end[row] = static_cast<int32_t>(end);
                    rows->code[row] = result.code;
                    rows->op1[row] = result.op1;
                    rows->op2[row] = result.op2;
                    if (row >= rows->count) rows->count = row + 1;
                }
                ++index;
                ++row;
            }
            if (expr.overrun) {
                if (!expression_cut) {
                    warn_at(s, "location operation runs past the end of its expression in the entry", section,
                            offset);
                }
                return false;
            }
        }
        return true;
    }
};

// Reads the list whose first entry is at image offset `pos` (inside the
// located section) and returns the image offset after it. Rows go into
// `rows` when given (the section dump passes none).
size_t read_list_at(Session& s, OutText& sym, uint32_t base, LocRows* rows, size_t pos, LocListStats* stats = nullptr) {
    const LocationState& loc = *s.loc;
    EntryWriter writer{s, sym, rows, ".debug_loc", loc_target(s.elf), stats, {}, 0, {}};
    const unsigned address_size = writer.target.address_size;
    const uint32_t max_address = address_size >= 4 ? 0xFFFFFFFFu : (1u << (8 * address_size)) - 1;
    std::string line;
    ByteReader r = image_range(s, loc.start, loc.end - loc.start);
    seek(r, pos);

    for (;;) {
        const size_t entry_pos = r.pos;
        const size_t offset = entry_pos - loc.start;
        if (r.at_end()) {
            warn_at_loc(s, "location list has no end-of-list entry before the end of the section", offset);
            return r.pos;
        }
        uint32_t begin = read_address(r, address_size);
        uint32_t end = read_address(r, address_size);
        if (r.overrun) {
            warn_at_loc(s, "location list entry cut by the end of the section", offset);
            return r.pos;
        }
        if (begin == 0 && end == 0) return r.pos;
        if (begin == max_address) {
            // A base-address selection entry: the entries after it count from `end`.
            base = end;
            if (s.opt.trace) {
                line.clear();
                append_printf(line, "/[0x%04lX] base_address[0x%08X]\n", static_cast<unsigned long>(offset), end);
                trace_line(s, &sym, line);
            }
            continue;
        }
        begin += base;
        end += base;
        uint32_t length = read_target16(r);
        if (r.overrun) {
            warn_at_loc(s, "location list entry cut by the end of the section", offset);
            return r.pos;
        }

        // The expression is decoded only within its own length (and the section).
        ByteReader expr = sub_reader(r, length);
        const bool expression_cut = expr.overrun;
        expr.overrun = false;
        writer.write(expr, expression_cut, offset, begin, end);
        if (expression_cut) {
            warn_at_loc(s, "location expression cut by the end of the section in the entry", offset);
            return r.end;
        }
        skip(r, length);
    }
}

struct LleRow {
    const char* label;
    ListOperands operands;
    bool expression;  // an expression follows
};

constexpr LleRow kLleRows[] = {
    {"DW_LLE_end_of_list", ListOperands::none, false},
    {"DW_LLE_base_addressx", ListOperands::index, false},
    {"DW_LLE_startx_endx", ListOperands::index_index, true},
    {"DW_LLE_startx_length", ListOperands::index_length, true},
    {"DW_LLE_offset_pair", ListOperands::offset_pair, true},
    {"DW_LLE_default_location", ListOperands::none, true},
    {"DW_LLE_base_address", ListOperands::address, false},
    {"DW_LLE_start_end", ListOperands::address_pair, true},
    {"DW_LLE_start_length", ListOperands::address_length, true},
    {"DW_LLE_GNU_view_pair", ListOperands::views, false},
};
static_assert(sizeof kLleRows / sizeof kLleRows[0] == DW_LLE_GNU_view_pair + 1, "one row per entry kind");

// Reads the .debug_loclists list at image offset `pos` of the section
// [begin, end) and returns the image offset after it.
size_t read_loclists_at(Session& s, OutText& sym, uint32_t base, LocRows* rows, size_t pos, size_t begin,
                        size_t end, const ListUnit& unit, LocListStats* stats) {
    constexpr const char* kSection = ".debug_loclists";
    EntryWriter writer{s, sym, rows, kSection, loc_target(s.elf, unit.version), stats, {}, 0, {}};
    ByteReader r = image_range(s, begin, end - begin);
    seek(r, pos);
    std::string line;
    for (;;) {
        const size_t offset = r.pos - begin;
        if (r.at_end()) {
            warn_at(s, "location list has no end-of-list entry before the end of the section", kSection, offset);
            return r.pos;
        }
        const uint8_t kind = read_u8(r);
        if (kind > DW_LLE_GNU_view_pair) {
            std::string subject;
            append_printf(subject, "location list entry of unknown kind 0x%02X", kind);
            warn_at(s, subject, kSection, offset, "; the rest of the list is skipped");
            return r.pos;
        }
        const LleRow& row = kLleRows[kind];
        uint32_t low = 0, high = 0;
        const bool resolved = read_list_operands(s, unit, row.operands, r, base, low, high);
        if (r.overrun) {
            warn_at(s, "location list entry cut by the end of the section", kSection, offset);
            return r.pos;
        }
        if (!resolved) warn_at(s, "location list entry names an address outside .debug_addr", kSection, offset);
        if (kind == DW_LLE_end_of_list) return r.pos;
        if (!row.expression) {
            if (s.opt.trace) {
                line.clear();
                append_printf(line, "/[0x%04lX] %s(0x%02X) base[0x%08X]\n", static_cast<unsigned long>(offset),
                              row.label, kind, base);
                trace_line(s, &sym, line);
            }
            continue;
        }
        const uint32_t length = read_uleb128(r);
        ByteReader expr = sub_reader(r, length);
        const bool expression_cut = expr.overrun || r.overrun;
        expr.overrun = false;
        writer.write(expr, expression_cut, offset, low, high);
        if (expression_cut) {
            warn_at(s, "location expression cut by the end of the section in the entry", kSection, offset);
            return r.end;
        }
        skip(r, length);
    }
}

}  // namespace

bool locate_loc_section(Session& s) {
    LocationState& loc = *s.loc;
    std::shared_ptr<CallFrames> frames = std::move(loc.frames);
    loc = LocationState{};
    loc.frames = std::move(frames);
    loc.located = true;
    size_t offset = 0, length = 0;
    if (!section_bounds(s, s.elf.loc_index, offset, length)) return false;
    if (s.elf.sections[s.elf.loc_index].sh_offset == 0) return false;
    loc.present = true;
    loc.start = offset;
    loc.end = offset + length;
    return true;
}

namespace {

// Takes the shared table, indexing it first when no worker has; what
// indexing prints is kept aside for the place each run first asks.
void take_shared_frames(Session& s, SharedFrames& shared) {
    LocationState& loc = *s.loc;
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (!shared.indexed) {
        shared.frames = std::make_shared<CallFrames>();
        Console saved = std::move(s.console);
        s.console = Console{};
        s.console.to_memory = true;
        read_call_frames(s, *shared.frames);
        shared.warning = std::move(s.console.text);
        s.console = std::move(saved);
        shared.warned = shared.frames->warned;
        shared.indexed = true;
    }
    loc.frames = shared.frames;
    loc.index_warned = shared.warned;
    loc.index_warning = shared.warning;
}

}  // namespace

LocRows frame_base_rows(Session& s, uint32_t low, uint32_t high) {
    LocationState& loc = *s.loc;
    if (!loc.frames && loc.shared_frames) take_shared_frames(s, *loc.shared_frames);
    if (!loc.frames) {
        loc.frames = std::make_shared<CallFrames>();
        read_call_frames(s, *loc.frames);
    }
    if (loc.frames_shared && !loc.frames_asked) {
        loc.frames_asked = true;
        if (loc.index_warned) s.console.once_notes.push_back(Console::OnceNote{s.console.text.size(), loc.index_warning});
    }
    LocRows rows;
    if (!loc.frames->section || high <= low) return rows;
    for (const CfaRule& rule : cfa_rules(s, *loc.frames, low, high, true)) {
        if (rows.count >= kLocRows) break;
        const int i = rows.count++;
        rows.begin[i] = static_cast<int32_t>(rule.start);
        rows.end[i] = static_cast<int32_t>(rule.end);
        if (rule.reg < 32) {
            rows.code[i] = static_cast<int32_t>(DW_OP_breg0 + rule.reg);
            rows.op1[i] = rule.offset;
        } else {
            rows.code[i] = DW_OP_bregx;
            rows.op1[i] = static_cast<int32_t>(rule.reg);
            rows.op2[i] = rule.offset;
        }
    }
    return rows;
}

size_t loc_section_start(const Session& s) { return s.loc->present ? s.loc->start : 0; }

bool read_list_operands(const Session& s, const ListUnit& unit, ListOperands operands, ByteReader& r,
                        uint32_t& base, uint32_t& low, uint32_t& high) {
    uint32_t first = 0, second = 0;
    switch (operands) {
    case ListOperands::none: return true;
    case ListOperands::index: return list_unit_address(s, unit, read_uleb128(r), base);
    case ListOperands::index_index:
        first = read_uleb128(r);
        second = read_uleb128(r);
        return list_unit_address(s, unit, first, low) && list_unit_address(s, unit, second, high);
    case ListOperands::index_length: {
        first = read_uleb128(r);
        second = read_uleb128(r);
        const bool found = list_unit_address(s, unit, first, low);
        high = low + second;
        return found;
    }
    case ListOperands::offset_pair:
        low = base + read_uleb128(r);
        high = base + read_uleb128(r);
        return true;
    case ListOperands::address: base = read_address(r, unit.address_size); return true;
    case ListOperands::address_pair:
        low = read_address(r, unit.address_size);
        high = read_address(r, unit.address_size);
        return true;
    case ListOperands::address_length:
        low = read_address(r, unit.address_size);
        high = low + read_uleb128(r);
        return true;
    case ListOperands::views:
        read_uleb128(r);
        read_uleb128(r);
        return true;
    }
    return true;
}

bool list_unit_address(const Session& s, const ListUnit& unit, uint32_t index, uint32_t& address) {
    address = 0;
    const uint64_t at = uint64_t{index} * unit.address_size;
    if (unit.addr_end <= unit.addr_begin || at + unit.address_size > unit.addr_end - unit.addr_begin) return false;
    ByteReader r = image_range(s, unit.addr_begin + static_cast<size_t>(at), unit.address_size);
    address = read_address(r, unit.address_size);
    return !r.overrun;
}

size_t read_loc_list(Session& s, OutText& sym, uint32_t base, LocRows& rows, size_t list_offset,
                     const ListUnit* unit, LocListStats* stats) {
    if (s.opt.no_locals) return list_offset;
    if (unit && unit->version >= 5) {
        size_t begin = 0, length = 0;
        if (s.elf.loclists_index == 0 || !section_bounds(s, s.elf.loclists_index, begin, length)) return list_offset;
        if (list_offset >= length) {
            warn_at(s, "location list reference outside the section", ".debug_loclists", list_offset);
            return list_offset;
        }
        return read_loclists_at(s, sym, base, &rows, begin + list_offset, begin, begin + length, *unit, stats) - begin;
    }
    if (!s.loc->located) locate_loc_section(s);
    const LocationState& loc = *s.loc;
    if (!loc.present) return list_offset;
    if (list_offset >= loc.end - loc.start) {
        warn_at_loc(s, "location list reference outside the section", list_offset);
        return list_offset;
    }
    size_t after = read_list_at(s, sym, base, &rows, loc.start + list_offset, stats);
    return after - loc.start;
}

void dump_loc_section(Session& s, OutText& sym, const std::vector<LocViewBlock>& views) {
    if (!locate_loc_section(s)) return;
    const LocationState& loc = *s.loc;
    size_t pos = loc.start;
    int list_number = 0;
    std::string line;
    size_t view = 0;
    while (pos < loc.end) {
        // A block of view numbers runs up to its list.
        const size_t offset = pos - loc.start;
        while (view < views.size() && views[view].views < offset) ++view;
        if (view < views.size() && views[view].views == offset && views[view].list > offset &&
            views[view].list < loc.end - loc.start) {
            pos = loc.start + views[view].list;
            continue;
        }
        if (s.opt.trace) {
            line.clear();
            append_printf(line, "/.debug_loc Section[%d]\n", list_number);
            trace_line(s, &sym, line);
        }
        size_t next = read_list_at(s, sym, 0, nullptr, pos);
        if (next <= pos) {
            // Only an address size of 0 lets a list end without taking a byte.
            warn_at_loc(s, "location lists cannot be read with an address size of 0; dump stopped", pos - loc.start);
            break;
        }
        pos = next;
        ++list_number;
    }
}
