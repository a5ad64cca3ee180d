#include "support/fixture.h"

#include <gtest/gtest.h>

#include "elf/elf_reader.h"

void DwarfBuilder::declare(uint32_t code, uint32_t tag, bool children, const std::vector<Pair>& pairs) {
    abbrev.uleb(code).uleb(tag).u8(children ? 1 : 0);
    for (const Pair& s : pairs) abbrev.uleb(s.first).uleb(s.second);
    abbrev.u8(0).u8(0);
}

void DwarfBuilder::begin_unit(uint8_t address_size, uint16_t version) {
    unit_start = info.size();
    length_at = ::begin_unit(info, version, abbrev_start, address_size);
}

void DwarfBuilder::end_unit() { info.patch_length32(length_at); }

void DwarfBuilder::label(const std::string& name) {
    labels[name] = Label{here(), here_in_section()};
}

void DwarfBuilder::ref4(const std::string& name) { refs.push_back(Ref{info.placeholder32(), name, false}); }

void DwarfBuilder::ref_addr(const std::string& name) { refs.push_back(Ref{info.placeholder32(), name, true}); }

std::vector<uint8_t> DwarfBuilder::image() {
    for (const Ref& r : refs) {
        auto it = labels.find(r.name);
        EXPECT_NE(it, labels.end()) << "no DIE named " << r.name;
        if (it == labels.end()) continue;
        info.patch32(r.at, r.in_section ? it->second.section_offset : it->second.unit_offset);
    }
    ElfBuilder b;
    b.big_endian = big_endian;
    b.machine = machine;
    if (machine != 40) b.flags = 0;
    if (with_text) b.add_section(".text", std::vector<uint8_t>(16, 0), 1, 6, 0x1000);
    abbrev_index = with_abbrev ? b.add_section(".debug_abbrev", abbrev) : 0;
    info_index = info.size() ? b.add_section(".debug_info", info) : 0;
    if (loc.size()) b.add_section(".debug_loc", loc);
    if (line.size()) b.add_section(".debug_line", line);
    if (ranges.size()) b.add_section(".debug_ranges", ranges);
    if (frame.size()) b.add_section(".debug_frame", frame);
    for (const auto& [name, w] : sections) b.add_section(name, w);
    return b.build();
}

Fixture::Fixture() {
    s.console.to_memory = true;
    s.files.in_memory = true;
    out_open_memory(out);
}

Fixture::Fixture(std::vector<uint8_t> image, bool trace) : Fixture() {
    s.image.assign(image.begin(), image.end());
    OutText scratch;
    out_open_memory(scratch);
    read_elf(s, scratch);
    s.console.text.clear();
    s.opt.trace = trace;
}

std::string Fixture::text() const { return lf_text(out.data); }

std::vector<std::string> Fixture::warning_lines() const {
    std::vector<std::string> lines;
    const std::string& c = s.console.text;
    const std::string prefix = "warning: ";
    for (size_t at = c.find(prefix); at != std::string::npos; at = c.find(prefix, at + 1)) {
        if (at != 0 && c[at - 1] != '\n') continue;
        size_t end = c.find('\n', at);
        lines.push_back(c.substr(at + prefix.size(), (end == std::string::npos ? c.size() : end) - at - prefix.size()));
    }
    return lines;
}

size_t Fixture::section_offset(int index) const { return s.elf.sections[static_cast<size_t>(index)].sh_offset; }
