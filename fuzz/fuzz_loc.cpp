// Target "loc": .debug_loc, read by the section dump and through the
// locations of a function and its locals.
//
// After the two shared bytes:
//   byte 2   the address size (of the unit and of the list entries)
//   byte 3   n: how many list offsets follow (taken modulo 9)
//   then n offsets of 2 bytes each (little-endian): the first is the
//   function's frame base, each further one the location of one local of
//   the sample unit; then the .debug_loc bytes up to the end.
#include <algorithm>

#include "common/bytes.h"
#include "common/session.h"
#include "fuzz_targets.h"
#include "sample_dwarf.h"

namespace {

constexpr size_t kMaxLists = 8;

FuzzCase prepare(FuzzBytes in) {
    FuzzCase c;
    const uint8_t config = read_shared_bytes(in, c);
    const uint8_t address_size = in.u8();
    const size_t count = in.u8() % (kMaxLists + 1);
    std::vector<uint32_t> lists;
    for (size_t i = 0; i < count; ++i) lists.push_back(in.u16());

    ImageLayout layout = layout_for(config);
    SampleUnit u = sample_unit(layout.big_endian, address_size, lists, false);
    layout.sections.push_back({".debug_info", kSectionProgbits, 0, 0, std::move(u.info)});
    layout.sections.push_back({".debug_abbrev", kSectionProgbits, 0, 0, std::move(u.abbrev)});
    layout.sections.push_back({".debug_str", kSectionProgbits, 0, 0, std::move(u.str)});
    layout.sections.push_back({".debug_loc", kSectionProgbits, 0, 0, in.rest()});
    c.image = build_image(layout);
    return c;
}

// The offsets where the lists of a .debug_loc section begin.
std::vector<uint32_t> list_starts(const std::vector<uint8_t>& loc, bool big_endian, unsigned address_size) {
    std::vector<uint32_t> starts;
    if (address_size == 0) return starts;
    ByteReader r = make_reader(loc.data(), loc.size(), 0, loc.size(), big_endian);
    bool at_start = true;
    while (!r.at_end()) {
        if (at_start) starts.push_back(static_cast<uint32_t>(r.pos));
        const uint32_t begin = read_address(r, address_size);
        const uint32_t end = read_address(r, address_size);
        at_start = begin == 0 && end == 0;
        if (!at_start) skip(r, read_target16(r));
        if (r.overrun) break;
    }
    return starts;
}

// The file's lists eight at a time: each seed holds the bytes of its
// eight lists only, with the offsets moved to match.
void seeds_from(const Session& file, Seeds& out) {
    if (file.elf.loc_index == 0) return;
    const std::vector<uint8_t> loc = section_bytes(file, file.elf.loc_index);
    const std::vector<uint32_t> starts = list_starts(loc, file.elf.big_endian, file.elf.address_size);
    size_t first = 0, seed_number = 0;
    do {
        const size_t count = std::min(kMaxLists, starts.size() - first);
        const size_t begin = count ? starts[first] : 0;
        const size_t end = first + count < starts.size() ? starts[first + count] : loc.size();
        Emitter seed;
        seed.u8(kSeedOptions[seed_number++ % 5]).u8(config_of(file)).u8(file.elf.address_size).u8(count);
        for (size_t i = 0; i < count; ++i) seed.u16(static_cast<uint32_t>(starts[first + i] - begin));
        seed.bytes.insert(seed.bytes.end(), loc.begin() + static_cast<std::ptrdiff_t>(begin),
                          loc.begin() + static_cast<std::ptrdiff_t>(end));
        out.push_back(std::move(seed.bytes));
        first += count;
    } while (first < starts.size());
}

}  // namespace

FuzzTarget loc_target() { return {"loc", 1 << 16, prepare, seeds_from}; }
