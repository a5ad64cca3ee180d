#include "traps.h"

#include "sample_dwarf.h"
#include "symbols/dwarf_names.h"

namespace {

constexpr uint8_t kOpAddr = 0x03;  // DW_OP_addr

// Abbreviations: 1 unit (children), 2 typedef, 3 external variable at an address.
std::vector<uint8_t> abbreviations(bool terminated = true) {
    Emitter a;
    a.uleb(1).uleb(DW_TAG_compile_unit).u8(DW_CHILDREN_yes);
    a.uleb(DW_AT_name).uleb(DW_FORM_string).uleb(DW_AT_stmt_list).uleb(DW_FORM_data4).u8(0).u8(0);
    a.uleb(2).uleb(DW_TAG_typedef).u8(DW_CHILDREN_no);
    a.uleb(DW_AT_name).uleb(DW_FORM_string).uleb(DW_AT_type).uleb(DW_FORM_ref4).u8(0).u8(0);
    a.uleb(3).uleb(DW_TAG_variable).u8(DW_CHILDREN_no);
    a.uleb(DW_AT_name).uleb(DW_FORM_string).uleb(DW_AT_type).uleb(DW_FORM_ref4);
    a.uleb(DW_AT_external).uleb(DW_FORM_flag).uleb(DW_AT_location).uleb(DW_FORM_block1);
    if (terminated) a.u8(0).u8(0).u8(0);
    return a.bytes;
}

std::vector<uint8_t> image_with(std::vector<uint8_t> info, std::vector<uint8_t> abbrev,
                                std::vector<uint8_t> line = {}, std::vector<uint8_t> loc = {}) {
    ImageLayout layout;
    layout.sections.push_back({".debug_info", kSectionProgbits, 0, 0, std::move(info)});
    layout.sections.push_back({".debug_abbrev", kSectionProgbits, 0, 0, std::move(abbrev)});
    if (!line.empty()) layout.sections.push_back({".debug_line", kSectionProgbits, 0, 0, std::move(line)});
    if (!loc.empty()) layout.sections.push_back({".debug_loc", kSectionProgbits, 0, 0, std::move(loc)});
    return build_image(layout);
}

std::vector<uint8_t> cyclic_typedef() {
    Emitter info;
    size_t len = put_unit_header(info, 2, 0, 4);
    info.uleb(1).text("c.c").u32(0);
    const uint32_t a = static_cast<uint32_t>(info.size());
    info.uleb(2).text("A").u32(a + 7);  // A -> B
    info.uleb(2).text("B").u32(a);      // B -> A
    info.uleb(3).text("v").u32(a).u8(1).u8(5).u8(kOpAddr).u32(0x2000);
    info.u8(0);
    finish_unit(info, len);
    return image_with(info.bytes, abbreviations());
}

std::vector<uint8_t> unit_lengths() {
    Emitter info;
    info.u32(0);  // an empty unit
    size_t len = put_unit_header(info, 2, 0, 4);
    info.uleb(1).text("ok.c").u32(0).u8(0);
    finish_unit(info, len);
    len = put_unit_header(info, 2, 0, 4);
    info.patch(len, 0xFFFF0000u, 4);  // a unit reaching far past the section
    info.uleb(3).text("late").u32(0).u8(1).u8(0);
    return image_with(info.bytes, abbreviations());
}

std::vector<uint8_t> unterminated_abbreviations() {
    Emitter info;
    size_t len = put_unit_header(info, 2, 0, 4);
    info.uleb(1).text("a.c").u32(0).uleb(3).text("v").u32(0).u8(1).u8(0).u8(0);
    finish_unit(info, len);
    return image_with(info.bytes, abbreviations(false));
}

std::vector<uint8_t> runaway_leb128() {
    Emitter info;
    size_t len = put_unit_header(info, 2, 0, 4);
    info.append(std::vector<uint8_t>(500, 0x80));  // an abbreviation code that never ends
    finish_unit(info, len);
    return image_with(info.bytes, abbreviations());
}

std::vector<uint8_t> loc_address_size_zero() {
    Emitter info;
    size_t len = put_unit_header(info, 2, 0, 0);
    info.uleb(1).text("z.c").u32(0).u8(0);
    finish_unit(info, len);
    Emitter loc;
    loc.u16(3).u8(0x50).u16(1).u8(0x51).u32(0).u32(0);  // DW_OP_reg0, DW_OP_reg1
    return image_with(info.bytes, abbreviations(), {}, loc.bytes);
}

// A line program with the given header values and tables.
std::vector<uint8_t> line_program(uint8_t line_range, int64_t header_length_delta, int dirs, int files,
                                  size_t name_length) {
    Emitter w;
    w.u32(0).u16(2);
    const size_t hl = w.size();
    w.u32(0);
    w.u8(1).u8(1).u8(static_cast<uint8_t>(-5)).u8(line_range).u8(10);
    for (int i = 0; i < 9; ++i) w.u8(i == 1 || i == 2 || i == 3 || i == 4 || i == 8 ? 1 : 0);
    for (int i = 0; i < dirs; ++i) w.text("dir" + std::to_string(i));
    w.u8(0);
    for (int i = 0; i < files; ++i)
        w.text(std::string(name_length, 'f') + std::to_string(i)).uleb(i % (dirs + 1)).uleb(0).uleb(0);
    w.u8(0);
    w.patch(hl, static_cast<uint32_t>(static_cast<int64_t>(w.size() - hl - 4) + header_length_delta), 4);
    // set_address 0x1000, copy, special, advance_line 1, end_sequence
    w.u8(0).uleb(5).u8(2).u32(0x1000).u8(1).u8(40).u8(0x21).u8(0).uleb(1).u8(1);
    w.patch(0, w.size() - 4, 4);
    return w.bytes;
}

std::vector<uint8_t> with_line_program(std::vector<uint8_t> line) {
    Emitter info;
    size_t len = put_unit_header(info, 2, 0, 4);
    info.uleb(1).text("l.c").u32(0).uleb(3).text("g").u32(0).u8(1).u8(5).u8(kOpAddr).u32(0x2000).u8(0);
    finish_unit(info, len);
    return image_with(info.bytes, abbreviations(), std::move(line));
}

std::vector<uint8_t> small_container() {
    ImageLayout layout;
    layout.sections.push_back({".debug_info", kSectionProgbits, 0, 0, std::vector<uint8_t>(16, 0)});
    return build_image(layout);
}

}  // namespace

std::vector<Trap> crafted_traps() {
    std::vector<Trap> traps;
    traps.push_back({"cyclic_typedef.elf", cyclic_typedef()});
    traps.push_back({"unit_lengths.elf", unit_lengths()});
    traps.push_back({"abbrev_unterminated.elf", unterminated_abbreviations()});
    traps.push_back({"runaway_leb128.elf", runaway_leb128()});
    traps.push_back({"loc_address_size_0.elf", loc_address_size_zero()});
    traps.push_back({"line_range_0.elf", with_line_program(line_program(0, 0, 1, 1, 4))});
    traps.push_back({"line_header_before_start.elf", with_line_program(line_program(14, -1000000, 1, 1, 4))});
    traps.push_back({"line_header_past_end.elf", with_line_program(line_program(14, 1000000, 1, 1, 4))});
    traps.push_back({"line_300_tables.elf", with_line_program(line_program(14, 0, 300, 300, 4))});
    traps.push_back({"line_long_file_name.elf", with_line_program(line_program(14, 0, 1, 1, 2000))});
    std::vector<uint8_t> bad = small_container();
    bad[50] = 0xFF;  // e_shstrndx out of range
    traps.push_back({"shstrndx_out_of_range.elf", bad});
    bad = small_container();
    bad[32] = bad[33] = bad[34] = 0xFF;  // section headers past the image
    traps.push_back({"section_table_past_end.elf", bad});
    traps.push_back({"short_magic.bin", {0x7F, 'E', 'L'}});
    traps.push_back({"empty.bin", {}});
    return traps;
}
