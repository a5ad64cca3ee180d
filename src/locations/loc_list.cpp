#include "locations/loc_list.h"

#include "common/format.h"
#include "common/session.h"
#include "common/warnings.h"
#include "elf/elf_reader.h"
#include "locations/loc_expr.h"
#include "locations/loc_state.h"

namespace {

void warn_at_loc(Session& s, const char* what, size_t offset) { warn_at(s, what, ".debug_loc", offset); }

// Reads the list whose first entry is at image offset `pos` (inside the
// located section) and returns the image offset after it. Rows go into
// `rows` when given (the section dump passes none).
size_t read_list_at(Session& s, OutText& sym, uint32_t base, LocRows* rows, size_t pos) {
    const LocationState& loc = *s.loc;
    const LocTarget target = loc_target(s.elf);
    const unsigned address_size = target.address_size;
    ByteReader r = image_range(s, loc.start, loc.end - loc.start);
    seek(r, pos);

    // The result carries over from one operation to the next within a list:
    // an operation that sets no field leaves the values of the one before.
    LocOpResult result;
    int row = 0;
    std::string text, line;

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
        bool first = true;
        int index = 0;
        while (!expr.at_end()) {
            text.clear();
            decode_loc_op(target, text, result, expr, s.opt.trace);
            if (s.opt.trace) {
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
                line += text;
                line += '\n';
                trace_line(s, &sym, line);
            }
            first = false;
            if (row < kLocRows) {
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
                    warn_at_loc(s, "location operation runs past the end of its expression in the entry", offset);
                }
                break;
            }
        }
        if (expression_cut) {
            warn_at_loc(s, "location expression cut by the end of the section in the entry", offset);
            return r.end;
        }
        skip(r, length);
    }
}

}  // namespace

bool locate_loc_section(Session& s) {
    LocationState& loc = *s.loc;
    loc = LocationState{};
    loc.located = true;
    size_t offset = 0, length = 0;
    if (!section_bounds(s, s.elf.loc_index, offset, length)) return false;
    if (s.elf.sections[s.elf.loc_index].sh_offset == 0) return false;
    loc.present = true;
    loc.start = offset;
    loc.end = offset + length;
    return true;
}

size_t loc_section_start(const Session& s) { return s.loc->present ? s.loc->start : 0; }

size_t read_loc_list(Session& s, OutText& sym, uint32_t base, LocRows& rows, size_t list_offset) {
    if (s.opt.no_locals) return list_offset;
    if (!s.loc->located) locate_loc_section(s);
    const LocationState& loc = *s.loc;
    if (!loc.present) return list_offset;
    if (list_offset >= loc.end - loc.start) {
        warn_at_loc(s, "location list reference outside the section", list_offset);
        return list_offset;
    }
    size_t after = read_list_at(s, sym, base, &rows, loc.start + list_offset);
    return after - loc.start;
}

void dump_loc_section(Session& s, OutText& sym) {
    if (!locate_loc_section(s)) return;
    const LocationState& loc = *s.loc;
    size_t pos = loc.start;
    int list_number = 0;
    std::string line;
    while (pos < loc.end) {
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
