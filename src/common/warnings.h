// Warnings about damaged input, all of one shape:
//   "warning: <subject> at offset 0x<hex> of <section><rest>\n"
// The offset is always counted from the start of the section named, so it
// can be looked up with readelf or llvm-dwarfdump.
#pragma once

#include <cstddef>
#include <string_view>

struct Session;

void warn_at(Session& s, std::string_view subject, const char* section, size_t offset, std::string_view rest = {});
