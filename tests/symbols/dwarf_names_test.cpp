#include <gtest/gtest.h>

#include <string>

#include "symbols/dwarf_names.h"

namespace {

std::string attr(uint32_t c) {
    std::string t;
    attribute_label(t, c);
    return t;
}
std::string tag(uint32_t c) {
    std::string t;
    tag_label(t, c);
    return t;
}
std::string form(uint32_t c) {
    std::string t;
    form_label(t, c);
    return t;
}
std::string enc(uint32_t c) {
    std::string t;
    encoding_label(t, c);
    return t;
}
std::string padded(const std::string& s, size_t spaces) { return s + std::string(spaces, ' '); }

TEST(DwarfNames, AttributeLabelsAndWidths) {
    EXPECT_EQ(attr(0x03), padded("DW_AT_name(0x03)", 17));
    EXPECT_EQ(attr(0x03).size(), 33u);
    EXPECT_EQ(attr(0x3C), padded("DW_AT_declaretion(0x3C)", 10));
    EXPECT_EQ(attr(0x2E), padded("DW_AT_stride_size(0x2E)", 10));
    EXPECT_EQ(attr(DW_AT_specification), padded("DW_AT_speci" "fication(0x47)", 8));
    EXPECT_EQ(attr(0x4E), padded("DW_AT_allocated{3}(0x4E)", 9));
    EXPECT_EQ(attr(0x68), padded("DW_AT_recursive{3}(0x68)", 9));
    // DWARF 4 codes: no marker, the wider group.
    EXPECT_EQ(attr(0x69), padded("DW_AT_signature(0x69)", 21));
    EXPECT_EQ(attr(0x6E), padded("DW_AT_linkage_name(0x6E)", 18));
    // Four digits take the place of %02X: two characters longer than the format.
    EXPECT_EQ(attr(0x2001), padded("DW_AT_MIPS_fde(0x2001)", 22));
    EXPECT_EQ(attr(0x2001).size(), 44u);
    EXPECT_EQ(attr(0x3FFF), padded("DW_AT_hi_user(0x3FFF)", 23));
    // The longest name fills its group's width and gets no trailing space.
    EXPECT_EQ(attr(0x2114), "DW_AT_GNU_call_site_target_clobbered(0x2114)");
    EXPECT_EQ(attr(0x38), "DW_AT_data_member_location(0x38) ");
    // The codes of DWARF 5 units.
    EXPECT_EQ(attr(0x72), padded("DW_AT_str_offsets_base(0x72)", 14));
    EXPECT_EQ(tag(0x48), padded("DW_TAG_call_site(0x48)", 18));
    EXPECT_EQ(form(0x25), padded("DW_FORM_strx1(0x25)", 5));
    EXPECT_EQ(form(0x21), "DW_FORM_implicit_const(0x21)");
}

TEST(DwarfNames, UnlistedCodesGetTheGroupLabel) {
    EXPECT_EQ(attr(0x04), padded("DW_AT_??????" "(0x04)", 24));
    EXPECT_EQ(attr(0x48), padded("DW_AT_??????" "(0x48)", 24));
    EXPECT_EQ(attr(0x8D), padded("DW_AT_??????" "(0x8D)", 24));
    EXPECT_EQ(attr(0x12345), padded("DW_AT_??????" "(0x12345)", 24));
    EXPECT_EQ(tag(0x12), padded("DW_TAG_??????" "(0x12)", 17));
    EXPECT_EQ(tag(0x19), padded("DW_TAG_??????" "(0x19)", 17));
    EXPECT_EQ(tag(0x1A), padded("DW_TAG_??????" "(0x1A)", 17));
    EXPECT_EQ(form(0x02), padded("DW_??????" "(0x02)", 9));
    EXPECT_EQ(form(0x2D), padded("DW_??????" "(0x2D)", 9));
    EXPECT_EQ(enc(0x01), padded("DW_ATE_??????" "(0x01)", 8));
    EXPECT_EQ(enc(0x03), padded("DW_ATE_??????" "(0x03)", 8));
}

TEST(DwarfNames, TagLabelsAndWidths) {
    EXPECT_EQ(tag(0x16), padded("DW_TAG_typedef(0x16)", 15));
    EXPECT_EQ(tag(0x16).size(), 35u);
    EXPECT_EQ(tag(0x11), padded("DW_TAG_compiler_unit(0x11)", 10));
    EXPECT_EQ(tag(0x11).size(), 36u);
    EXPECT_EQ(tag(0x01).size(), 36u);
    EXPECT_EQ(tag(0x35), padded("DW_TAG_volatile_type(0x35)", 10));
    EXPECT_EQ(tag(0x36), padded("DW_TAG_dwarf_procedure(0x36)", 12));
    EXPECT_EQ(tag(0x43).size(), 40u);
    EXPECT_EQ(tag(0x4106), "DW_TAG_GNU_template_template_param(0x4106)");
    EXPECT_EQ(tag(0xFFFF), padded("DW_TAG_hi_user(0xFFFF)", 20));
}

TEST(DwarfNames, EveryTagUpTo0x35HasTheSameLength) {
    for (uint32_t c = 1; c <= 0x35; ++c) {
        std::string t = tag(c);
        if (t.find("??????") != std::string::npos) continue;
        EXPECT_EQ(t.size(), c == 0x16 ? 35u : 36u) << t;
    }
    for (uint32_t c = 1; c <= 0x68; ++c) {
        std::string t = attr(c);
        if (t.find("??????") == std::string::npos) {
            EXPECT_EQ(t.size(), 33u) << t;
        } else {
            EXPECT_EQ(t.size(), 42u) << t;
        }
    }
}

TEST(DwarfNames, FormLabels) {
    EXPECT_EQ(form(0x01), "DW_FORM_addr(0x01)      ");
    EXPECT_EQ(form(0x08), "DW_FORM_string(0x08)    ");
    EXPECT_EQ(form(0x15), "DW_FORM_ref_udata(0x15) ");
    EXPECT_EQ(form(0x17), "DW_FORM_sec_offset(0x17)");
    EXPECT_EQ(form(0x18), "DW_FORM_exprloc(0x18)  ");
    EXPECT_EQ(form(0x19), "DW_FORM_flag_present(0x19)");
    for (uint32_t c = 1; c <= 0x17; ++c) EXPECT_EQ(form(c).size(), 24u) << form(c);
}

TEST(DwarfNames, EncodingLabels) {
    EXPECT_EQ(enc(0x02), "DW_ATE_boolean(0x02)       ");
    EXPECT_EQ(enc(0x08), "DW_ATE_undigned_char(0x08) ");
    EXPECT_EQ(enc(0x07), "DW_ATE_unsigned(0x07)      ");
    for (uint32_t c = 0; c < 0x10; ++c) EXPECT_EQ(enc(c).size(), 27u) << enc(c);
    EXPECT_EQ(enc(0x100), "DW_ATE_??????" "(0x100)        ");
}

TEST(DwarfNames, AppendKeepsWhatIsThere) {
    std::string t = "/";
    append_attribute_label(t, 0x49);
    t += ' ';
    append_form_label(t, 0x13);
    EXPECT_EQ(t, "/DW_AT_type(0x49)                  DW_FORM_ref4(0x13)      ");
    std::string d = "old";
    tag_label(d, 0x34);
    EXPECT_EQ(d, padded("DW_TAG_variable(0x34)", 15));
}

}  // namespace
