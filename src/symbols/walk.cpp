#include "symbols/walk.h"

#include <memory>

#include "common/format.h"
#include "common/session.h"
#include "elf/elf_reader.h"
#include "symbols/build.h"
#include "symbols/dwarf_names.h"
#include "symbols/sym_writer.h"
#include "symbols/symbol_table.h"
#include "symbols/type_rules.h"
#include "symbols/units.h"

namespace {

void trace_die(Session& s, OutText& sym, const WalkContext& ctx, size_t die_start, const char* tag_text,
               uint32_t code) {
    if (!s.opt.trace) return;
    std::string line;
    append_printf(line, "/[0x%04X]{0x%04X} Tag[", static_cast<unsigned>(die_start - ctx.info_start),
                  static_cast<unsigned>(die_start - ctx.unit_start));
    line += tag_text;
    append_printf(line, "] Used .debug_addrev Section[% 3d] *\n", static_cast<int>(code));
    trace_line(s, &sym, line);
}

}  // namespace

size_t walk_unit_dies(Session& s, OutText& sym, size_t first_die, size_t unit_end, size_t info_start,
                      size_t unit_start) {
    SymbolState& t = *s.sym;
    reset_symbol_table(s, true);
    t.current = 0;

    // The context is large (it holds a scratch entry); keep it off the stack.
    auto ctx = std::make_unique<WalkContext>();
    ctx->info_start = info_start;
    size_t info_offset = 0, info_length = 0;
    if (section_bounds(s, s.elf.info_index, info_offset, info_length) && info_offset == info_start)
        ctx->info_end = info_offset + info_length;
    else
        ctx->info_end = s.image.size();
    ctx->unit_start = unit_start;
    ctx->unit_end = unit_end < ctx->info_end ? unit_end : ctx->info_end;

    size_t pos = first_die;
    std::string label;
    while (pos < ctx->unit_end) {
        const size_t die_start = pos;
        ByteReader r = image_range(s, pos, ctx->unit_end - pos);
        const uint32_t code = read_uleb128(r);
        if (r.overrun) {
            std::string text = "abbreviation code cut off by the end of the unit";
            append_printf(text, " at offset 0x%lX of .debug_info", static_cast<unsigned long>(die_start - info_start));
            warn(s, text);
            pos = r.pos;
            break;
        }
        const AbbrevSlot* decl = find_abbreviation(s, code);
        if (!decl) {
            trace_die(s, sym, *ctx, die_start, "Null entry", code);
            pos = r.pos;
            continue;
        }
        if (s.opt.trace) {
            tag_label(label, decl->tag);
            trace_die(s, sym, *ctx, die_start, label.c_str(), code);
        }
        // The DIEs after the current function's subtree are outside it.
        if (t.func_sibling != 0 && die_start - unit_start >= t.func_sibling) t.func_sibling = 0;

        pos = build_symbol(s, sym, *ctx, r.pos, decl->tag, decl->specs, decl->children == DW_CHILDREN_yes,
                           t.entries[0].nest, t.current);
        if (!t.entries[0].name.empty()) {
            count_symbol(s);
            finish_symbols(s);
            write_sym_records(s, sym);
        }
        reset_symbol_table(s, false);
        if (ctx->member_index_active) {
            ctx->member_index.clear();
            ctx->member_index_active = false;
        }
        if (ctx->cut) break;  // the rest of the unit cannot be located
    }
    return pos;
}
