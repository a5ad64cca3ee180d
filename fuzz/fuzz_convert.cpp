// Target "convert": the whole file. Byte 0 is the option byte (-a and -l
// allowed), the rest is the ELF image, converted as it stands.
#include "fuzz_targets.h"

#include "common/session.h"

namespace {

FuzzCase prepare(FuzzBytes in) {
    FuzzCase c;
    c.options = in.u8();
    c.allowed = kAllowSrec | kAllowNoLocals;
    c.image = in.rest();
    return c;
}

void seeds_from(const Session& file, Seeds& out) {
    for (uint8_t options : kSeedOptions) {
        std::vector<uint8_t> seed{options};
        seed.insert(seed.end(), file.image.begin(), file.image.end());
        out.push_back(std::move(seed));
    }
}

}  // namespace

FuzzTarget convert_target() { return {"convert", 1 << 16, prepare, seeds_from}; }
