// Declarations decoded once per unit step over a DIE's values exactly as
// reading them pair by pair does, and are left undecoded when they cannot be.
#include <gtest/gtest.h>

#include "support/fixture.h"
#include "symbols/die_cursor.h"

namespace {

struct Pair {
    uint32_t attr, form;
};

// One declaration (code 1) at the start of the image, its DIE's values
// behind it; the table is compiled or left as loaded.
struct OneDecl {
    std::vector<uint8_t> image;
    AbbrevTable table;
    UnitView unit;
    size_t values_at = 0;

    OneDecl(const std::vector<Pair>& pairs, const std::vector<uint8_t>& values, bool compile, bool cut_decl = false) {
        ByteWriter w;
        for (const Pair& p : pairs) w.uleb(p.attr).uleb(p.form);
        if (!cut_decl) w.u8(0).u8(0);
        const size_t abbrev_end = w.size();
        values_at = abbrev_end;
        w.raw(values);
        image = w.bytes;
        AbbrevSlot& slot = table.slots[1];
        slot.pos = 0;
        slot.pairs = 0;
        table.filled.push_back(1);
        table.section_end = abbrev_end;
        unit.image = make_reader(image.data(), image.size(), 0, image.size(), false);
        unit.info_start = unit.unit_start = values_at;
        unit.info_end = unit.unit_end = image.size();
        unit.abbrevs = &table;
        unit.forms.address_size = 4;
        unit.forms.image = image.data();
        if (compile) compile_declarations(table, unit.image, 4);
    }
    const AbbrevSlot& slot() { return table.slots[1]; }
    DieCursor skipped() {
        DieCursor c = DieCursor::at(unit, values_at);
        c.skip_attributes(slot());
        return c;
    }
};

TEST(DieCursor, CompiledDeclarationsStepOverValuesAsPairByPair) {
    struct Case {
        const char* what;
        std::vector<Pair> pairs;
        std::vector<uint8_t> values;
        int fixed_size;  // of the compiled declaration
    };
    const Case cases[] = {
        {"fixed widths", {{DW_AT_type, DW_FORM_ref4}, {DW_AT_byte_size, DW_FORM_data1}}, {1, 0, 0, 0, 4, 9}, 5},
        {"a string", {{DW_AT_name, DW_FORM_string}, {DW_AT_type, DW_FORM_ref4}}, {'a', 0, 2, 0, 0, 0}, -1},
        {"a sibling", {{DW_AT_sibling, DW_FORM_ref4}, {DW_AT_byte_size, DW_FORM_data2}}, {7, 0, 0, 0, 1, 0}, 6},
        {"blocks and LEB128", {{DW_AT_location, DW_FORM_exprloc}, {DW_AT_const_value, DW_FORM_sdata}},
         {2, 0x91, 0x7C, 0x80, 0x01}, -1},
        {"cut inside a fixed value", {{DW_AT_type, DW_FORM_ref4}, {DW_AT_byte_size, DW_FORM_data4}}, {1, 0, 0, 0, 4}, 8},
        {"cut inside a string", {{DW_AT_byte_size, DW_FORM_data1}, {DW_AT_name, DW_FORM_string}}, {4, 'a', 'b'}, -1},
        {"a flag and a ULEB128 reference", {{DW_AT_external, DW_FORM_flag_present}, {DW_AT_type, DW_FORM_ref_udata}},
         {0x85, 0x01}, -1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        OneDecl compiled(k.pairs, k.values, true), plain(k.pairs, k.values, false);
        ASSERT_TRUE(compiled.slot().compiled);
        EXPECT_TRUE(compiled.slot().in_place);
        EXPECT_EQ(compiled.slot().fixed_size, k.fixed_size);
        EXPECT_EQ(compiled.slot().form_count, k.pairs.size());
        const DieCursor a = compiled.skipped(), b = plain.skipped();
        EXPECT_EQ(a.pos(), b.pos());
        EXPECT_EQ(a.r.overrun, b.r.overrun);
        EXPECT_EQ(a.value_cut, b.value_cut);
        EXPECT_EQ(a.cut_at, b.cut_at);
        EXPECT_EQ(a.cut_form, b.cut_form);
        EXPECT_EQ(a.sibling, b.sibling);
    }
}

TEST(DieCursor, DeclarationsLeftUndecoded) {
    // Cut by the end of the section: read pair by pair, as it always was.
    EXPECT_FALSE(OneDecl({{DW_AT_name, DW_FORM_string}}, {}, true, true).slot().compiled);
    // Longer than a compiled declaration may be.
    std::vector<Pair> many(kMaxCompiledForms + 1, Pair{DW_AT_byte_size, DW_FORM_data1});
    EXPECT_FALSE(OneDecl(many, {}, true).slot().compiled);
    many.pop_back();
    EXPECT_TRUE(OneDecl(many, {}, true).slot().compiled);
    // Compiled, but a form read through a table of the unit may warn when
    // decoded, so such a DIE is never merely stepped over.
    OneDecl indexed({{DW_AT_name, DW_FORM_strx1}}, {0}, true);
    EXPECT_TRUE(indexed.slot().compiled);
    EXPECT_FALSE(indexed.slot().in_place);
}

}  // namespace
