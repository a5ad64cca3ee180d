#include "common/file_headers.h"

#include <string>

#include "common/format.h"
#include "common/session.h"
#include "common/text_io.h"

namespace {

void write_common_lines(Session& s, OutText& out) {
    out_write(out, kHeaderTool);
    out_write(out, kHeaderVersion);
    out_write(out, s.usage_line);
}

}  // namespace

void write_sym_file_header(Session& s, OutText& sym) { write_common_lines(s, sym); }

void write_line_file_header(Session& s, OutText& out) {
    write_common_lines(s, out);
    if (!s.opt.delete_inline_duplicates) out_write(out, "/InlineDel=OFF\n");
    if (s.opt.view_merge) out_write(out, "/ViewMerg=ON\n");
}

void write_dwarf_version(OutText& out, uint32_t version) {
    std::string line = "/Dwarf-Version[";
    append_dec(line, static_cast<int32_t>(version));
    line += "]\n";
    out_write(out, line);
}
