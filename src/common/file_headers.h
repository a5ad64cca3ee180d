// The header lines that open the SYM, LXX and LIN files, and the DWARF
// version line of the SYM and LIN files.
//
//   SYM       the tool line, the version line, the usage line
//   LXX, LIN  the same three, then "/InlineDel=OFF" unless -i and
//             "/ViewMerg=ON" with -m; the LIN file adds the DWARF version line
#pragma once

#include <cstdint>

struct Session;
struct OutText;

constexpr const char kHeaderTool[] = "/Qelto(DORO-GNU-ELF)-Symbol-Converter\n";
constexpr const char kHeaderVersion[] = "/Ver2.00C\n";

void write_sym_file_header(Session& s, OutText& sym);
void write_line_file_header(Session& s, OutText& out);
// "/Dwarf-Version[%d]\n", whatever the trace mode, never on the console.
void write_dwarf_version(OutText& out, uint32_t version);
