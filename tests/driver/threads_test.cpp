// The symbol pass on several threads writes what it writes on one: every
// fixture under the main option sets, and the state that carries from one
// unit into the next.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/dwarf_codes.h"
#include "support/fixture.h"
#include "support/run_helpers.h"

namespace {

const std::vector<std::vector<std::string>> kOptionSets = {
    {}, {"-d"}, {"-a", "-g"}, {"-i", "-f"}, {"-r", "-l", "-m"}, {"-adef", "-g"},
};

// Converts `image` on 1, 2 and 3 threads and expects the same exit code,
// console text and files each time; returns the one-thread run.
RunResult expect_same_on_any_threads(const std::vector<uint8_t>& image, std::vector<std::string> args,
                                     const std::string& what) {
    args.push_back("in.elf");
    const RunResult one = run_in_memory(args, "in.elf", image, 1);
    for (unsigned threads : {2u, 3u}) {
        const RunResult many = run_in_memory(args, "in.elf", image, threads);
        EXPECT_EQ(many.exit_code, one.exit_code) << what << " threads " << threads;
        EXPECT_EQ(many.console, one.console) << what << " threads " << threads;
        EXPECT_TRUE(many.files == one.files) << what << " threads " << threads;
    }
    return one;
}

std::vector<std::string> fixture_files() {
    namespace fs = std::filesystem;
    std::vector<std::string> files = {data_path("../../examples/firmware.elf")};
    for (const char* dir : {"", "compilers", "malformed"}) {
        for (const fs::directory_entry& e : fs::directory_iterator(data_path(dir))) {
            const std::string ext = e.path().extension().string();
            if (e.is_regular_file() && (ext == ".elf" || ext == ".bin")) files.push_back(e.path().string());
        }
    }
    return files;
}

TEST(Threads, EveryFixtureConvertsAlikeOnAnyNumberOfThreads) {
    const std::vector<std::string> files = fixture_files();
    ASSERT_GT(files.size(), 30u);
    for (const std::string& file : files) {
        const std::vector<uint8_t> image = read_file_bytes(file);
        for (const std::vector<std::string>& options : kOptionSets) expect_same_on_any_threads(image, options, file);
    }
}

enum : uint32_t { A_cu = 1, A_func_sibling, A_base, A_static, A_cfa_func };

void declare(DwarfBuilder& f) {
    f.begin_abbrevs();
    f.declare(A_cu, DW_TAG_compile_unit, true,
              {{DW_AT_name, DW_FORM_string}, {DW_AT_low_pc, DW_FORM_addr}, {DW_AT_high_pc, DW_FORM_addr}});
    // A function without DW_AT_decl_file: its DW_AT_sibling stays set after it.
    f.declare(A_func_sibling, DW_TAG_subprogram, true, {{DW_AT_sibling, DW_FORM_data4}, {DW_AT_name, DW_FORM_string}});
    f.declare(A_base, DW_TAG_base_type, false,
              {{DW_AT_name, DW_FORM_string}, {DW_AT_byte_size, DW_FORM_data1}, {DW_AT_encoding, DW_FORM_data1}});
    f.declare(A_static, DW_TAG_variable, false,
              {{DW_AT_name, DW_FORM_string}, {DW_AT_type, DW_FORM_ref4}, {DW_AT_location, DW_FORM_block1}});
    f.declare(A_cfa_func, DW_TAG_subprogram, false,
              {{DW_AT_external, DW_FORM_flag}, {DW_AT_name, DW_FORM_string}, {DW_AT_low_pc, DW_FORM_addr},
               {DW_AT_high_pc, DW_FORM_addr}, {DW_AT_frame_base, DW_FORM_block1}});
    f.end_abbrevs();
}

void unit_head(DwarfBuilder& f, const std::string& name, uint32_t low) {
    f.begin_unit();
    f.info.uleb(A_cu).cstr(name).u32(low).u32(low + 0x100);
}

void static_variable(DwarfBuilder& f, const std::string& name, const std::string& type, uint32_t address) {
    f.info.uleb(A_static).cstr(name);
    f.ref4(type);
    f.info.u8(5).u8(DW_OP_addr).u32(address);
}

// A function whose DW_AT_sibling (0x200) lies past the end of its unit, and
// units after it whose static variables are read while that value stands.
std::vector<uint8_t> carried_sibling() {
    DwarfBuilder f;
    declare(f);
    unit_head(f, "a.c", 0x1000);
    f.info.uleb(A_func_sibling).u32(0x200).cstr("f");
    f.info.u8(0).u8(0);
    f.end_unit();
    for (const char* name : {"b.c", "c.c", "d.c"}) {
        unit_head(f, name, 0x2000);
        f.label(std::string("int ") + name);
        f.info.uleb(A_base).cstr("int").u8(4).u8(DW_ATE_signed);
        static_variable(f, std::string("counter_") + name, std::string("int ") + name, 0x3000);
        f.info.u8(0);
        f.end_unit();
    }
    return f.image();
}

// Functions of three units whose frame base is the CFA, each covered by an
// FDE with an unknown instruction; with `bad_index` an entry after them
// names an FDE for its CIE, which stops the indexing.
std::vector<uint8_t> call_frame_damage(bool bad_index) {
    DwarfBuilder f;
    declare(f);
    ByteWriter& w = f.frame;
    const size_t cie = w.size();
    size_t length = w.placeholder32();
    w.u32(0xFFFFFFFF).u8(1).cstr("").uleb(2).sleb(-4).u8(14).raw({0x0C, 13, 0});
    w.patch_length32(length);
    const size_t first_fde = w.size();
    for (uint32_t k = 0; k < 3; ++k) {
        unit_head(f, "u" + std::to_string(k) + ".c", 0x1000 + 0x100 * k);
        f.info.uleb(A_cfa_func).u8(1).cstr("f" + std::to_string(k)).u32(0x1000 + 0x100 * k).u32(0x1040 + 0x100 * k);
        f.info.u8(1).u8(DW_OP_call_frame_cfa);
        f.info.u8(0);
        f.end_unit();
        length = w.placeholder32();
        w.u32(static_cast<uint32_t>(cie)).u32(0x1000 + 0x100 * k).u32(0x40).raw({0x41, 0x17, 0x0E, 8});
        w.patch_length32(length);
    }
    if (bad_index) {
        length = w.placeholder32();
        w.u32(static_cast<uint32_t>(first_fde)).u32(0x2000).u32(0x10);
        w.patch_length32(length);
    }
    return f.image();
}

TEST(Threads, StateCarriedFromUnitToUnitComesOutAsOnOneThread) {
    // The sibling value left by the first unit puts the statics of the next
    // ones inside a function: its range and (with -g) its empty name.
    const RunResult carried = expect_same_on_any_threads(carried_sibling(), {"-g"}, "carried sibling");
    EXPECT_NE(carried.text("in.SYM").find("name[counter_b.c@]"), std::string::npos) << carried.text("in.SYM");
    expect_same_on_any_threads(carried_sibling(), {}, "carried sibling");
    expect_same_on_any_threads(carried_sibling(), {"-d"}, "carried sibling, trace");

    // Call-frame damage is reported once per run, by the first unit that meets it.
    for (bool bad_index : {false, true}) {
        const RunResult r = expect_same_on_any_threads(call_frame_damage(bad_index), {}, "call frames");
        EXPECT_EQ(count_of(r.console, "warning: "), 1u) << r.console;
        EXPECT_EQ(count_of(r.console, bad_index ? "does not point at a CIE" : "unknown call-frame instruction"), 1u)
            << r.console;
        expect_same_on_any_threads(call_frame_damage(bad_index), {"-d"}, "call frames, trace");
    }
}

}  // namespace
