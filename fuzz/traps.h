// Inputs crafted after the known traps of DWARF and ELF readers (cyclic
// types, impossible lengths, runaway LEB128, a zero line_range, tables
// outside the file...). The corpus tool writes them to the regression
// corpus, where the suite replays each with its expected exit code and
// warnings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Trap {
    std::string name;  // file name in the corpus
    std::vector<uint8_t> bytes;
};

std::vector<Trap> crafted_traps();
