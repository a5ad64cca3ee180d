// A Session over a hand-made ELF image, for testing the .debug_info decoders
// without a whole conversion: the ELF tables are read, trace output goes to
// a memory SYM file and the console to memory.
#pragma once

#include <string>
#include <vector>

#include "common/format.h"
#include "common/session.h"
#include "common/text_io.h"
#include "elf/elf_reader.h"
#include "support/elf_builder.h"
#include "symbols/symbol_table.h"

struct DecoderSession {
    Session s;
    OutText out;

    explicit DecoderSession(std::vector<uint8_t> image, bool trace = true) {
        s.console.to_memory = true;
        s.files.in_memory = true;
        s.image = std::move(image);
        OutText scratch;
        out_open_memory(scratch);
        read_elf(s, scratch);
        s.console.text.clear();
        s.opt.trace = trace;
        out_open_memory(out);
    }
    // The SYM text with CR LF turned back into "\n".
    std::string text() const {
        std::string t;
        for (size_t i = 0; i < out.data.size(); ++i) {
            if (out.data[i] == '\r' && i + 1 < out.data.size() && out.data[i + 1] == '\n') continue;
            t += out.data[i];
        }
        return t;
    }
    const std::string& console() const { return s.console.text; }
    // Image offset of section `index`.
    size_t section_offset(int index) const { return s.elf.sections[static_cast<size_t>(index)].sh_offset; }
};

// A reader over the bytes `data` placed in a section of their own, so that
// the end of the section is the end of the data.
inline std::vector<uint8_t> image_with_section(bool big_endian, const std::string& name,
                                               const std::vector<uint8_t>& data, int* index = nullptr) {
    ElfBuilder b;
    b.big_endian = big_endian;
    int i = b.add_section(name, data);
    if (index) *index = i;
    return b.build();
}

inline size_t count_of(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}
