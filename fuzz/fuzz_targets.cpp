#include "fuzz_targets.h"

#include "common/session.h"

const uint8_t kSeedOptions[5] = {0x00, 0x01, 0x18, 0xE0, 0x07};

const std::vector<FuzzTarget>& fuzz_targets() {
    static const std::vector<FuzzTarget> kTargets = {convert_target(), elf_target(),  info_target(),
                                                     line_target(),    loc_target(),  srec_target()};
    return kTargets;
}

const FuzzTarget* find_fuzz_target(const std::string& name) {
    for (const FuzzTarget& t : fuzz_targets()) {
        if (name == t.name) return &t;
    }
    return nullptr;
}

uint8_t read_shared_bytes(FuzzBytes& in, FuzzCase& c) {
    c.options = in.u8();
    return in.u8();
}

ImageLayout layout_for(uint8_t config) {
    ImageLayout layout;
    layout.big_endian = config_big_endian(config);
    layout.machine = config_machine(config);
    return layout;
}

void read_seed_file(Session& file, std::vector<uint8_t> image) {
    file.console.to_memory = true;
    file.image.assign(image.begin(), image.end());
    OutText unused;
    read_elf(file, unused);
}

uint8_t config_of(const Session& file) {
    uint8_t machine = 0;
    switch (file.elf.header.e_machine) {
    case kMachineH8_300: machine = 1; break;
    case kMachineH8_300H: machine = 2; break;
    case kMachineH8S: machine = 3; break;
    case kMachineARM: machine = 4; break;
    case kMachineRX: machine = 5; break;
    default: break;
    }
    return static_cast<uint8_t>(machine | (file.elf.big_endian ? kConfigBigEndian : 0));
}

std::vector<uint8_t> section_bytes(const Session& file, uint16_t index) {
    size_t offset = 0, length = 0;
    if (!section_bounds(file, index, offset, length)) return {};
    return std::vector<uint8_t>(file.image.begin() + static_cast<std::ptrdiff_t>(offset),
                                file.image.begin() + static_cast<std::ptrdiff_t>(offset + length));
}
