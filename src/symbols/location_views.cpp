#include "symbols/location_views.h"

#include <algorithm>

#include "common/dwarf_codes.h"
#include "common/session.h"
#include "elf/elf_reader.h"
#include "symbols/attributes.h"
#include "symbols/die_cursor.h"

namespace {

struct Declaration {
    uint32_t code = 0;
    uint8_t children = 0;
    size_t pairs = 0;
};

// Whether any declaration of .debug_abbrev names DW_AT_GNU_locviews.
bool declares_views(ByteReader r) {
    while (!r.at_end()) {
        if (read_uleb128(r) == 0) continue;  // the end of one unit's declarations
        read_uleb128(r);                     // tag
        read_u8(r);                          // children
        for (;;) {
            const uint32_t attr = read_uleb128(r);
            const uint32_t form = read_uleb128(r);
            if (r.overrun) return false;
            if (attr == 0 && form == 0) break;
            if (attr == DW_AT_GNU_locviews) return true;
        }
    }
    return false;
}

// The declarations at `r` up to the 0 code, sorted by code.
std::vector<Declaration> load_declarations(ByteReader r) {
    std::vector<Declaration> decls;
    while (!r.at_end()) {
        Declaration d;
        d.code = read_uleb128(r);
        if (d.code == 0 || r.overrun) break;
        read_uleb128(r);
        d.children = read_u8(r);
        d.pairs = r.pos;
        while (!r.overrun && (read_uleb128(r) | read_uleb128(r)) != 0) {
        }
        decls.push_back(d);
    }
    std::stable_sort(decls.begin(), decls.end(),
                     [](const Declaration& a, const Declaration& b) { return a.code < b.code; });
    return decls;
}

const Declaration* find(const std::vector<Declaration>& decls, uint32_t code) {
    auto it = std::lower_bound(decls.begin(), decls.end(), code,
                               [](const Declaration& d, uint32_t c) { return d.code < c; });
    // A later declaration of the same code replaces the earlier one.
    const Declaration* found = nullptr;
    for (; it != decls.end() && it->code == code; ++it) found = &*it;
    return found;
}

// The DIEs of one unit: every DIE with both attributes gives a block.
void scan_unit(const FormContext& ctx, ByteReader abbrev, ByteReader dies,
               std::vector<LocViewBlock>& blocks) {
    const std::vector<Declaration> decls = load_declarations(abbrev);
    while (!dies.at_end()) {
        const uint32_t code = read_uleb128(dies);
        if (dies.overrun) return;
        if (code == 0) continue;
        const Declaration* d = find(decls, code);
        if (!d) return;
        ByteReader pairs = abbrev;
        pairs.pos = d->pairs;
        bool has_views = false, has_list = false;
        uint32_t views = 0, list = 0;
        for (;;) {
            const uint32_t attr = read_uleb128(pairs);
            uint32_t form = read_uleb128(pairs);
            if (pairs.overrun || (attr == 0 && form == 0)) break;
            const bool wanted = (attr == DW_AT_GNU_locviews || attr == DW_AT_location) &&
                                (form == DW_FORM_data4 || form == DW_FORM_sec_offset);
            if (wanted) {
                const uint32_t value = read_target32(dies);
                if (attr == DW_AT_GNU_locviews) {
                    has_views = true;
                    views = value;
                } else {
                    has_list = true;
                    list = value;
                }
            } else {
                skip_value(ctx, form, dies);
            }
            if (dies.overrun) return;
        }
        if (has_views && has_list) blocks.push_back(LocViewBlock{views, list});
    }
}

}  // namespace

std::vector<LocViewBlock> find_location_views(Session& s) {
    std::vector<LocViewBlock> blocks;
    size_t info = 0, info_length = 0, abbrev = 0, abbrev_length = 0;
    if (!section_bounds(s, s.elf.info_index, info, info_length) ||
        !section_bounds(s, s.elf.abbrev_index, abbrev, abbrev_length))
        return blocks;
    const ByteReader abbrevs = image_range(s, abbrev, abbrev_length);
    if (!declares_views(abbrevs)) return blocks;

    const FormContext ctx = form_context(s);
    ByteReader r = image_range(s, info, info_length);
    while (r.remaining() >= kUnitHeaderSize) {
        const size_t unit = r.pos;
        const uint32_t length = read_target32(r);
        const uint32_t version = read_target16(r);
        const uint32_t abbrev_offset = read_target32(r);
        read_u8(r);
        if (length >= DW_LENGTH_lo_reserved || length < kUnitHeaderSize - 4) break;
        const size_t next = unit + 4 + static_cast<size_t>(length);
        // Units of version 5 keep their lists in .debug_loclists.
        if (version >= 2 && version <= 4 && abbrev_offset < abbrev_length) {
            ByteReader decls = abbrevs;
            decls.pos = abbrev + abbrev_offset;
            ByteReader dies = r;
            dies.end = std::min(next, r.end);
            scan_unit(ctx, decls, dies, blocks);
        }
        if (next >= r.end) break;
        r.pos = next;
    }
    std::sort(blocks.begin(), blocks.end(),
              [](const LocViewBlock& a, const LocViewBlock& b) { return a.views < b.views; });
    return blocks;
}
