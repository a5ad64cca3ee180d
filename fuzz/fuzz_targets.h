// The fuzz targets: how each turns the fuzzed bytes into one conversion,
// and how each makes its seeds from a real ELF file.
//
// The per-section targets share the first two input bytes:
//   byte 0  the option byte (see fuzz_arguments)
//   byte 1  the configuration: bits 0-2 the machine (machine_of), bit 3
//           big-endian, bits 4-7 as the target says
// What follows is the target's own layout (see each fuzz_<name>.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_image.h"

struct Session;

using Seeds = std::vector<std::vector<uint8_t>>;

struct FuzzTarget {
    const char* name;
    size_t max_len;  // the longest input worth trying
    FuzzCase (*prepare)(FuzzBytes in);
    // Seeds from a real file (read with read_seed_file).
    void (*seeds_from)(const Session& file, Seeds& out);
};

const std::vector<FuzzTarget>& fuzz_targets();
const FuzzTarget* find_fuzz_target(const std::string& name);

// Each fuzz_<name>.cpp defines one.
FuzzTarget convert_target();
FuzzTarget elf_target();
FuzzTarget info_target();
FuzzTarget line_target();
FuzzTarget loc_target();
FuzzTarget srec_target();

// Helpers for the targets.
constexpr uint8_t kConfigBigEndian = 0x08;
inline Machine config_machine(uint8_t config) { return machine_of(config & 7); }
inline bool config_big_endian(uint8_t config) { return (config & kConfigBigEndian) != 0; }
// Reads the two shared bytes: the option byte into `c`; returns the
// configuration.
uint8_t read_shared_bytes(FuzzBytes& in, FuzzCase& c);
// A layout with no sections yet, in the configuration's byte order and
// for its machine.
ImageLayout layout_for(uint8_t config);
// Loads `image` into `file` (console in memory) and reads its ELF tables,
// as the seeds_from functions expect.
void read_seed_file(Session& file, std::vector<uint8_t> image);
// The configuration byte describing a real file (its machine and byte order).
uint8_t config_of(const Session& file);
// The bytes of section `index` of a real file (clamped to the image).
std::vector<uint8_t> section_bytes(const Session& file, uint16_t index);
// Option bytes the seeds are written with: plain, -a, -g -i, -f -r -m and -d.
extern const uint8_t kSeedOptions[5];
