#include "symbols/ranges.h"

#include "common/session.h"
#include "common/warnings.h"
#include "elf/elf_reader.h"

namespace {

constexpr const char* kSection = ".debug_ranges";

uint32_t all_ones(unsigned address_size) {
    return address_size >= 4 ? 0xFFFFFFFFu : (1u << (8 * address_size)) - 1;
}

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
