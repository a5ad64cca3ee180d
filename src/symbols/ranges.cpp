#include "symbols/ranges.h"

#include <string>

#include "common/dwarf_codes.h"
#include "common/format.h"
#include "common/session.h"
#include "common/warnings.h"
#include "elf/elf_reader.h"

namespace {

constexpr const char* kSection = ".debug_ranges";
constexpr const char* kRnglists = ".debug_rnglists";

uint32_t all_ones(unsigned address_size) {
    return address_size >= 4 ? 0xFFFFFFFFu : (1u << (8 * address_size)) - 1;
}

// What each entry reads, by its kind.
constexpr ListOperands kRleOperands[] = {
    ListOperands::none,        ListOperands::index,   ListOperands::index_index,  ListOperands::index_length,
    ListOperands::offset_pair, ListOperands::address, ListOperands::address_pair, ListOperands::address_length,
};
static_assert(sizeof kRleOperands / sizeof kRleOperands[0] == DW_RLE_start_length + 1, "one row per entry kind");

}  // namespace

RangeResult first_range_at(ByteReader r, unsigned address_size, uint32_t base, AddressRange& range) {
    if (address_size == 0) return RangeResult::cut;
    for (;;) {
        const uint32_t begin = read_address(r, address_size);
        const uint32_t end = read_address(r, address_size);
        if (r.overrun) return RangeResult::cut;
        if (begin == 0 && end == 0) return RangeResult::empty;
        if (begin == all_ones(address_size)) {
            base = end;
            continue;
        }
        range.low = base + begin;
        range.high = base + end;
        return RangeResult::found;
    }
}

bool first_range(Session& s, uint32_t offset, uint32_t base, AddressRange& range) {
    size_t start = 0, length = 0;
    for (size_t i = 1; i < s.elf.sections.size() && i < s.elf.section_names.size(); ++i) {
        if (s.elf.section_names[i] == kSection) {
            section_bounds(s, static_cast<uint32_t>(i), start, length);
            break;
        }
    }
    if (offset >= length) {
        warn_at(s, "address range list outside the section", kSection, offset);
        return false;
    }
    ByteReader r = image_range(s, start, length);
    r.pos = start + offset;
    const RangeResult result = first_range_at(r, s.elf.address_size, base, range);
    if (result == RangeResult::cut) warn_at(s, "address range list cut by the end of the section", kSection, offset);
    return result == RangeResult::found;
}

bool first_rnglists_range(Session& s, const ListUnit& unit, uint32_t base, size_t offset, uint32_t& low,
                          uint32_t& high) {
    size_t begin = 0, length = 0;
    if (s.elf.rnglists_index == 0 || !section_bounds(s, s.elf.rnglists_index, begin, length)) {
        warn(s, "DW_AT_ranges refers to .debug_rnglists, which is absent");
        return false;
    }
    if (offset >= length) {
        warn_at(s, "range list reference outside the section", kRnglists, offset);
        return false;
    }
    ByteReader r = image_range(s, begin, length);
    seek(r, begin + offset);
    for (;;) {
        const size_t entry = r.pos - begin;
        if (r.at_end()) {
            warn_at(s, "range list has no end-of-list entry before the end of the section", kRnglists, entry);
            return false;
        }
        const uint8_t kind = read_u8(r);
        if (kind > DW_RLE_start_length) {
            std::string subject;
            append_printf(subject, "range list entry of unknown kind 0x%02X", kind);
            warn_at(s, subject, kRnglists, entry);
            return false;
        }
        if (kind == DW_RLE_end_of_list) return false;
        const ListOperands operands = kRleOperands[kind];
        const bool resolved = read_list_operands(s, unit, operands, r, base, low, high);
        if (r.overrun) {
            warn_at(s, "range list entry cut by the end of the section", kRnglists, entry);
            return false;
        }
        if (!resolved) {
            warn_at(s, "range list entry names an address outside .debug_addr", kRnglists, entry);
            return false;
        }
        if (operands != ListOperands::index && operands != ListOperands::address) return true;
    }
}
