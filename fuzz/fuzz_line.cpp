// Target "line": .debug_line, through the LXX text (a file only with -d) and the LIN builder.
//
// After the two shared bytes, the rest is the whole .debug_line section
// (one or more line-number programs, headers included).
#include "common/bytes.h"
#include "common/session.h"
#include "fuzz_targets.h"

namespace {

FuzzCase prepare(FuzzBytes in) {
    FuzzCase c;
    ImageLayout layout = layout_for(read_shared_bytes(in, c));
    layout.sections.push_back({".debug_line", kSectionProgbits, 0, 0, in.rest()});
    c.image = build_image(layout);
    return c;
}

void add_seed(uint8_t options, uint8_t config, const uint8_t* begin, const uint8_t* end, Seeds& out) {
    std::vector<uint8_t> seed{options, config};
    seed.insert(seed.end(), begin, end);
    out.push_back(std::move(seed));
}

// The whole section, then each program alone with the option byte taking turns.
void seeds_from(const Session& file, Seeds& out) {
    if (file.elf.line_index == 0) return;
    const std::vector<uint8_t> line = section_bytes(file, file.elf.line_index);
    const uint8_t config = config_of(file);
    add_seed(0, config, line.data(), line.data() + line.size(), out);
    ByteReader r = make_reader(line.data(), line.size(), 0, line.size(), file.elf.big_endian);
    for (size_t program = 0; !r.at_end(); ++program) {
        const size_t start = r.pos;
        const uint32_t length = read_target32(r);
        if (r.overrun || length > line.size() - r.pos) return;
        r.pos += length;
        add_seed(kSeedOptions[program % 5], config, line.data() + start, line.data() + r.pos, out);
    }
}

}  // namespace

FuzzTarget line_target() { return {"line", 1 << 16, prepare, seeds_from}; }
