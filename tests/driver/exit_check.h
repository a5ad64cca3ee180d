// The exit code a conversion must end with, told from its input and the
// console text it printed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// -1 for an empty input, -2 for one that does not begin with the ELF
// magic; otherwise as the closing "complete symbols=N lines=M" line says:
// -3 without symbols, -4 without lines, 0 with both. 1 (no exit code the
// program has) when that line is missing.
inline int exit_code_for(const std::vector<uint8_t>& input, const std::string& console) {
    if (input.empty()) return -1;
    static const uint8_t kMagic[4] = {0x7F, 'E', 'L', 'F'};
    if (input.size() < 4 || !std::equal(kMagic, kMagic + 4, input.begin())) return -2;
    const size_t at = console.rfind("complete symbols=");
    unsigned long symbols = 0, lines = 0;
    if (at == std::string::npos ||
        std::sscanf(console.c_str() + at, "complete symbols=%lu lines=%lu", &symbols, &lines) != 2)
        return 1;
    if (symbols == 0) return -3;
    if (lines == 0) return -4;
    return 0;
}
