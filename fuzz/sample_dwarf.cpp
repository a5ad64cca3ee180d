#include "sample_dwarf.h"

#include "symbols/dwarf_names.h"

namespace {

// Location operations and line-program opcodes the samples use.
enum : uint8_t {
    kOpAddr = 0x03,        // DW_OP_addr
    kOpPlusUconst = 0x23,  // DW_OP_plus_uconst
    kOpReg0 = 0x50,        // DW_OP_reg0
    kOpBreg7 = 0x77,       // DW_OP_breg7
    kOpBreg13 = 0x7d,      // DW_OP_breg13
    kOpRegx = 0x90,        // DW_OP_regx
    kOpFbreg = 0x91,       // DW_OP_fbreg
    kOpBregx = 0x92,       // DW_OP_bregx
    kOpPiece = 0x93,       // DW_OP_piece
};
enum : uint8_t {
    kLnsCopy = 1, kLnsAdvancePc, kLnsAdvanceLine, kLnsSetFile, kLnsSetColumn, kLnsNegateStmt, kLnsSetBasicBlock,
    kLnsConstAddPc, kLnsFixedAdvancePc,
};
enum : uint8_t { kLneEndSequence = 1, kLneSetAddress, kLneDefineFile };

constexpr uint32_t kTextAddress = 0x1000;
constexpr uint32_t kDataAddress = 0x2000;

// Abbreviation codes of the sample unit, declared in this order.
enum : uint8_t {
    kUnit = 1, kBaseType, kGlobal, kFunction, kListLocal, kParameter, kStructure, kMember, kBitMember, kPointer,
    kArray, kSubrange, kTypedef, kFunctionWithBlockBase,
};

void declare(Emitter& a, uint8_t code, uint32_t tag, bool children, std::initializer_list<uint32_t> pairs) {
    a.uleb(code).uleb(tag).u8(children ? DW_CHILDREN_yes : DW_CHILDREN_no);
    for (uint32_t v : pairs) a.uleb(v);
    a.u8(0).u8(0);
}

std::vector<uint8_t> sample_abbreviations() {
    Emitter a;
    declare(a, kUnit, DW_TAG_compile_unit, true,
            {DW_AT_name, DW_FORM_string, DW_AT_low_pc, DW_FORM_addr, DW_AT_high_pc, DW_FORM_addr, DW_AT_stmt_list,
             DW_FORM_data4});
    declare(a, kBaseType, DW_TAG_base_type, false,
            {DW_AT_name, DW_FORM_string, DW_AT_encoding, DW_FORM_data1, DW_AT_byte_size, DW_FORM_data1});
    declare(a, kGlobal, DW_TAG_variable, false,
            {DW_AT_name, DW_FORM_strp, DW_AT_type, DW_FORM_ref4, DW_AT_external, DW_FORM_flag, DW_AT_location,
             DW_FORM_block1});
    declare(a, kFunction, DW_TAG_subprogram, true,
            {DW_AT_decl_file, DW_FORM_data1, DW_AT_name, DW_FORM_string, DW_AT_external, DW_FORM_flag, DW_AT_low_pc,
             DW_FORM_addr, DW_AT_high_pc, DW_FORM_addr, DW_AT_frame_base, DW_FORM_data4});
    declare(a, kListLocal, DW_TAG_variable, false,
            {DW_AT_name, DW_FORM_string, DW_AT_type, DW_FORM_ref4, DW_AT_location, DW_FORM_data4});
    declare(a, kParameter, DW_TAG_formal_parameter, false,
            {DW_AT_name, DW_FORM_string, DW_AT_type, DW_FORM_ref4, DW_AT_location, DW_FORM_block1});
    declare(a, kStructure, DW_TAG_structure_type, true,
            {DW_AT_name, DW_FORM_string, DW_AT_byte_size, DW_FORM_data1});
    declare(a, kMember, DW_TAG_member, false,
            {DW_AT_name, DW_FORM_string, DW_AT_type, DW_FORM_ref4, DW_AT_data_member_location, DW_FORM_block1});
    declare(a, kBitMember, DW_TAG_member, false,
            {DW_AT_name, DW_FORM_string, DW_AT_type, DW_FORM_ref4, DW_AT_byte_size, DW_FORM_data1, DW_AT_bit_size,
             DW_FORM_data1, DW_AT_bit_offset, DW_FORM_data1, DW_AT_data_member_location, DW_FORM_block1});
    declare(a, kPointer, DW_TAG_pointer_type, false, {DW_AT_byte_size, DW_FORM_data1, DW_AT_type, DW_FORM_ref4});
    declare(a, kArray, DW_TAG_array_type, true, {DW_AT_type, DW_FORM_ref4});
    declare(a, kSubrange, DW_TAG_subrange_type, false, {DW_AT_upper_bound, DW_FORM_data1});
    declare(a, kTypedef, DW_TAG_typedef, false, {DW_AT_name, DW_FORM_string, DW_AT_type, DW_FORM_ref4});
    declare(a, kFunctionWithBlockBase, DW_TAG_subprogram, true,
            {DW_AT_decl_file, DW_FORM_data1, DW_AT_name, DW_FORM_string, DW_AT_external, DW_FORM_flag, DW_AT_low_pc,
             DW_FORM_addr, DW_AT_high_pc, DW_FORM_addr, DW_AT_frame_base, DW_FORM_block1});
    a.u8(0);
    return a.bytes;
}

// Ends one location list: begin and end both 0.
void end_list(Emitter& e, uint8_t address_size) { e.put(0, address_size).put(0, address_size); }

// The structure, pointer, array and typedef types and a global array;
// local_types[1] and [2] become the pointer and the typedef.
void put_types(Emitter& info, size_t unit_start, uint32_t int_type, uint8_t address_size, uint32_t local_types[3]) {
    auto here = [&] { return static_cast<uint32_t>(info.size() - unit_start); };
    const uint32_t char_type = here();
    info.uleb(kBaseType).text("char").u8(DW_ATE_signed_char).u8(1);
    const uint32_t pair_type = here();
    info.uleb(kStructure).text("pair").u8(8);
    info.uleb(kMember).text("first").u32(int_type).u8(2).u8(kOpPlusUconst).u8(0);
    info.uleb(kBitMember).text("flags").u32(int_type).u8(4).u8(3).u8(29).u8(2).u8(kOpPlusUconst).u8(4);
    info.u8(0);
    local_types[1] = here();
    info.uleb(kPointer).u8(address_size).u32(pair_type);
    const uint32_t array_type = here();
    info.uleb(kArray).u32(char_type).uleb(kSubrange).u8(15).u8(0);
    local_types[2] = here();
    info.uleb(kTypedef).text("pair_t").u32(pair_type);
    info.uleb(kGlobal).u32(8).u32(array_type).u8(0).u8(static_cast<uint8_t>(1 + address_size)).u8(kOpAddr);
    info.put(kDataAddress + 4, address_size);
}

}  // namespace

size_t unit_header_size(uint16_t version) { return version >= 5 ? 12 : 11; }

size_t put_unit_header(Emitter& e, uint16_t version, uint32_t abbrev_offset, uint8_t address_size) {
    const size_t length_at = e.size();
    e.u32(0).u16(version);
    if (version >= 5) {
        e.u8(1).u8(address_size).u32(abbrev_offset);  // DW_UT_compile
    } else {
        e.u32(abbrev_offset).u8(address_size);
    }
    return length_at;
}

void finish_unit(Emitter& e, size_t length_at) { e.patch(length_at, e.size() - length_at - 4, 4); }

SampleUnit sample_unit(bool big_endian, uint8_t address_size, const std::vector<uint32_t>& loc_lists,
                       bool all_types) {
    Emitter info;
    info.big_endian = big_endian;
    info.bytes.reserve(320);
    const size_t length_at = put_unit_header(info, 2, 0, address_size);
    auto here = [&] { return static_cast<uint32_t>(info.size() - length_at); };

    info.uleb(kUnit).text("sample.c").put(kTextAddress, address_size).put(kTextAddress + 0x100, address_size).u32(0);
    const uint32_t int_type = here();
    info.uleb(kBaseType).text("int").u8(DW_ATE_signed).u8(4);
    uint32_t local_types[3] = {int_type, int_type, int_type};
    if (all_types) put_types(info, length_at, int_type, address_size, local_types);
    info.uleb(kGlobal).u32(0).u32(int_type).u8(1).u8(static_cast<uint8_t>(1 + address_size)).u8(kOpAddr);
    info.put(kDataAddress, address_size);

    if (loc_lists.empty()) {
        info.uleb(kFunctionWithBlockBase).u8(1).text("main").u8(1).put(kTextAddress, address_size);
        info.put(kTextAddress + 0x40, address_size).u8(2).u8(kOpBreg13).sleb(0);
    } else {
        info.uleb(kFunction).u8(1).text("main").u8(1).put(kTextAddress, address_size);
        info.put(kTextAddress + 0x40, address_size).u32(loc_lists[0]);
    }
    info.uleb(kParameter).text("argc").u32(int_type).u8(2).u8(kOpFbreg).sleb(-8);
    for (size_t i = 1; i < loc_lists.size(); ++i) {
        info.uleb(kListLocal).text("local" + std::to_string(i)).u32(local_types[i % 3]).u32(loc_lists[i]);
    }
    info.u8(0);  // end of the function's children
    info.u8(0);  // end of the unit's children
    finish_unit(info, length_at);

    SampleUnit u;
    u.info = std::move(info.bytes);
    u.abbrev = sample_abbreviations();
    Emitter str;
    str.text("counter").text("table");
    u.str = std::move(str.bytes);
    return u;
}

std::vector<uint8_t> sample_line_program(bool big_endian) {
    Emitter e;
    e.big_endian = big_endian;
    const size_t length_at = e.size();
    e.u32(0).u16(2);
    const size_t header_length_at = e.size();
    e.u32(0);
    e.u8(2).u8(1).u8(static_cast<uint8_t>(-5)).u8(14).u8(13);  // min_inst, default_is_stmt, line_base, range, base
    for (uint8_t n : {0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 1}) e.u8(n);
    e.text("src").u8(0);
    e.text("sample.c").uleb(1).uleb(0).uleb(0);
    e.text("sample.h").uleb(1).uleb(0).uleb(0);
    e.u8(0);
    e.patch(header_length_at, e.size() - header_length_at - 4, 4);

    e.u8(0).uleb(5).u8(kLneSetAddress).u32(kTextAddress);
    e.u8(kLnsAdvanceLine).sleb(9).u8(kLnsCopy);
    e.u8(0x4b);  // special: address +4 instructions, line +1
    e.u8(kLnsAdvancePc).uleb(4).u8(kLnsCopy);
    e.u8(kLnsSetFile).uleb(2).u8(kLnsSetColumn).uleb(7).u8(0x31);
    e.u8(kLnsConstAddPc).u8(kLnsFixedAdvancePc).u16(6).u8(kLnsNegateStmt).u8(kLnsSetBasicBlock);
    e.u8(0).uleb(8).u8(kLneDefineFile).text("x.c").uleb(0).uleb(0).uleb(0);
    e.u8(kLnsSetFile).uleb(1).u8(kLnsAdvanceLine).sleb(-3).u8(kLnsCopy);
    e.u8(kLnsAdvancePc).uleb(2).u8(0).uleb(1).u8(kLneEndSequence);
    e.patch(length_at, e.size() - length_at - 4, 4);
    return e.bytes;
}

std::vector<uint8_t> sample_loc_lists(bool big_endian, uint8_t address_size, std::vector<uint32_t>& starts) {
    Emitter e;
    e.big_endian = big_endian;
    starts.clear();
    auto entry = [&](uint32_t begin, uint32_t end, std::initializer_list<uint8_t> expr) {
        e.put(begin, address_size).put(end, address_size).u16(static_cast<uint32_t>(expr.size()));
        for (uint8_t b : expr) e.u8(b);
    };
    starts.push_back(static_cast<uint32_t>(e.size()));
    entry(0, 4, {kOpBreg13, 0});
    entry(4, 0x40, {kOpBreg7, 8});
    end_list(e, address_size);
    starts.push_back(static_cast<uint32_t>(e.size()));
    entry(0, 0x10, {kOpReg0});
    entry(0x10, 0x40, {kOpFbreg, 0x74});  // -12
    end_list(e, address_size);
    starts.push_back(static_cast<uint32_t>(e.size()));
    entry(0, 0x20, {kOpRegx, 5, kOpPiece, 4});
    entry(0x20, 0x40, {kOpBregx, 3, 0x7c});  // register 3, offset -4
    end_list(e, address_size);
    return e.bytes;
}

std::vector<ImageSection> sample_sections(bool big_endian) {
    std::vector<uint32_t> starts;
    std::vector<uint8_t> loc = sample_loc_lists(big_endian, 4, starts);
    SampleUnit u = sample_unit(big_endian, 4, starts, true);
    std::vector<uint8_t> code(0x40), data(8);
    for (size_t i = 0; i < code.size(); ++i) code[i] = static_cast<uint8_t>(i * 7 + 1);
    std::vector<ImageSection> out;
    out.push_back({".text", kSectionProgbits, kFlagAlloc | kFlagExec, kTextAddress, code});
    out.push_back({".data", kSectionProgbits, kFlagAlloc | kFlagWrite, kDataAddress, data});
    out.push_back({".bss", kSectionNobits, kFlagAlloc | kFlagWrite, kDataAddress + 8, std::vector<uint8_t>(16)});
    out.push_back({".debug_info", kSectionProgbits, 0, 0, u.info});
    out.push_back({".debug_abbrev", kSectionProgbits, 0, 0, u.abbrev});
    out.push_back({".debug_line", kSectionProgbits, 0, 0, sample_line_program(big_endian)});
    out.push_back({".debug_loc", kSectionProgbits, 0, 0, loc});
    out.push_back({".debug_str", kSectionProgbits, 0, 0, u.str});
    return out;
}

std::vector<uint8_t> sample_image(bool big_endian, const Machine& machine) {
    ImageLayout layout;
    layout.big_endian = big_endian;
    layout.machine = machine;
    layout.entry = kTextAddress;
    layout.sections = sample_sections(big_endian);
    ImageSegment text, data;
    text.header = ProgramHeader{1, 0, kTextAddress, kTextAddress, 0x40, 0x40, 5, 4};
    text.section = 0;
    data.header = ProgramHeader{1, 0, kDataAddress, kTextAddress + 0x40, 8, 0x18, 6, 4};
    data.section = 1;
    layout.segments = {text, data};
    return build_image(layout);
}
