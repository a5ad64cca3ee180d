#include <gtest/gtest.h>

#include "symbols/attributes.h"
#include "symbols/dwarf_names.h"
#include "support/fixture.h"

namespace {

// The bytes of one value, followed by those of a .debug_str, decoded from
// the start; the reader ends with the value's bytes.
struct Decoded {
    uint32_t form;
    AttributeValue v;
    size_t consumed = 0;
    bool overrun = false;
};

Decoded decode(bool big_endian, uint32_t form, const std::vector<uint8_t>& bytes, uint8_t address_size = 4,
               const std::vector<uint8_t>* debug_str = nullptr) {
    std::vector<uint8_t> image = bytes;
    if (debug_str) image.insert(image.end(), debug_str->begin(), debug_str->end());
    FormContext ctx;
    ctx.address_size = address_size;
    ctx.image = image.data();
    if (debug_str) {
        ctx.str_begin = bytes.size();
        ctx.str_end = image.size();
    }
    ByteReader r = make_reader(image.data(), image.size(), 0, bytes.size(), big_endian);
    Decoded out;
    out.form = form;
    size_t end = decode_attribute(ctx, out.form, out.v, r);
    EXPECT_EQ(end, r.pos);
    out.consumed = end;
    out.overrun = r.overrun;
    return out;
}

TEST(Attributes, Data2InBothByteOrders) {
    Decoded be = decode(true, DW_FORM_data2, {0x12, 0x34, 0xEE});
    EXPECT_EQ(be.v.number(), 0x1234u);
    EXPECT_EQ(be.v.text, "0x12 0x34 ");
    EXPECT_EQ(be.v.size, 2);
    EXPECT_EQ(be.consumed, 2u);
    Decoded le = decode(false, DW_FORM_data2, {0x12, 0x34, 0xEE});
    EXPECT_EQ(le.v.number(), 0x3412u);
    EXPECT_EQ(le.v.text, "0x12 0x34 ");
}

TEST(Attributes, FixedSizeForms) {
    Decoded d4 = decode(true, DW_FORM_data4, {0x01, 0x02, 0x03, 0x04});
    EXPECT_EQ(d4.v.number(), 0x01020304u);
    EXPECT_EQ(d4.v.text, "0x01 0x02 0x03 0x04 ");
    EXPECT_EQ(d4.v.size, 4);
    Decoded r4 = decode(false, DW_FORM_ref4, {0x01, 0x02, 0x03, 0x04});
    EXPECT_EQ(r4.v.number(), 0x04030201u);
    Decoded ra = decode(false, DW_FORM_ref_addr, {0x10, 0, 0, 0});
    EXPECT_EQ(ra.v.number(), 0x10u);
    Decoded d8 = decode(true, DW_FORM_data8, {1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(d8.v.number64(), 0x0102030405060708ull);
    EXPECT_EQ(d8.v.size, 8);
    EXPECT_EQ(d8.v.text, "0x01 0x02 0x03 0x04 0x05 0x06 0x07 0x08 ");
    Decoded r8 = decode(false, DW_FORM_ref8, {1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(r8.v.number64(), 0x0807060504030201ull);
    for (uint32_t f : {DW_FORM_data1, DW_FORM_flag, DW_FORM_ref1}) {
        Decoded one = decode(true, f, {0xA5, 0x77});
        EXPECT_EQ(one.v.number(), 0xA5u);
        EXPECT_EQ(one.v.size, 1);
        EXPECT_EQ(one.v.text, "0xA5 ");
        EXPECT_EQ(one.consumed, 1u);
    }
    Decoded r2 = decode(false, DW_FORM_ref2, {0x34, 0x12});
    EXPECT_EQ(r2.v.number(), 0x1234u);
}

TEST(Attributes, AddressesFollowTheAddressSize) {
    Decoded a4 = decode(true, DW_FORM_addr, {0x00, 0x01, 0x02, 0x03});
    EXPECT_EQ(a4.v.number(), 0x00010203u);
    EXPECT_EQ(a4.v.size, 4);
    Decoded a2 = decode(false, DW_FORM_addr, {0xFE, 0xFF, 0x55, 0x55}, 2);
    EXPECT_EQ(a2.v.number(), 0xFFFEu);  // zero-extended
    EXPECT_EQ(a2.v.size, 2);
    EXPECT_EQ(a2.v.text, "0xFE 0xFF ");
    EXPECT_EQ(a2.consumed, 2u);
    // A wider address reads all its bytes and keeps the low 32 bits.
    Decoded a8 = decode(false, DW_FORM_addr, {0x78, 0x56, 0x34, 0x12, 0xAA, 0xBB, 0xCC, 0xDD}, 8);
    EXPECT_EQ(a8.v.number(), 0x12345678u);
    EXPECT_EQ(a8.v.size, 8);
    EXPECT_EQ(a8.consumed, 8u);
    Decoded a8be = decode(true, DW_FORM_addr, {0xAA, 0xBB, 0xCC, 0xDD, 0x12, 0x34, 0x56, 0x78}, 8);
    EXPECT_EQ(a8be.v.number(), 0x12345678u);
    // A section offset is 4 bytes whatever the address size.
    Decoded so = decode(false, DW_FORM_sec_offset, {0x20, 0, 0, 0}, 2);
    EXPECT_EQ(so.v.number(), 0x20u);
    EXPECT_EQ(so.v.size, 4);
    EXPECT_EQ(so.consumed, 4u);
}

TEST(Attributes, LebForms) {
    Decoded u = decode(false, DW_FORM_udata, {0x80, 0x01, 0x09});
    EXPECT_EQ(u.v.number(), 128u);
    EXPECT_EQ(u.v.size, 2);
    EXPECT_EQ(u.v.text, "0x80");
    Decoded sd = decode(true, DW_FORM_sdata, {0x7F});
    EXPECT_EQ(static_cast<int32_t>(sd.v.number()), -1);
    EXPECT_EQ(sd.v.size, 1);
    EXPECT_EQ(sd.v.text, "0xFFFFFFFF");
    Decoded ru = decode(false, DW_FORM_ref_udata, {0xE5, 0x8E, 0x26});
    EXPECT_EQ(ru.v.number(), 624485u);
    EXPECT_EQ(ru.v.size, 3);
    EXPECT_EQ(ru.v.text, "0x98765");
}

TEST(Attributes, Strings) {
    Decoded s = decode(false, DW_FORM_string, {'m', 'a', 'i', 'n', 0, 'x'});
    EXPECT_EQ(s.v.text, "main");
    EXPECT_EQ(s.v.size, 5);
    EXPECT_EQ(s.consumed, 5u);
    // A long string is cut to 1023 characters in the text; the reader and
    // the size cover all of it.
    std::vector<uint8_t> long_string(1500, 'a');
    long_string.push_back(0);
    Decoded l = decode(false, DW_FORM_string, long_string);
    EXPECT_EQ(l.v.text.size(), 1023u);
    EXPECT_EQ(l.v.size, 1501);
    EXPECT_EQ(l.consumed, 1501u);
}

TEST(Attributes, StrpReadsDebugStr) {
    std::vector<uint8_t> str = {'a', 0, 'c', 'h', 'a', 'r', 0};
    Decoded be = decode(true, DW_FORM_strp, {0, 0, 0, 2}, 4, &str);
    EXPECT_EQ(be.v.text, "char");
    EXPECT_EQ(be.v.number(), 2u);
    EXPECT_EQ(be.v.size, 4);
    Decoded le = decode(false, DW_FORM_strp, {2, 0, 0, 0}, 4, &str);
    EXPECT_EQ(le.v.text, "char");
    // Outside .debug_str, or without it: empty text, no read outside.
    Decoded out = decode(false, DW_FORM_strp, {7, 0, 0, 0}, 4, &str);
    EXPECT_EQ(out.v.text, "");
    EXPECT_EQ(out.consumed, 4u);
    Decoded none = decode(false, DW_FORM_strp, {0, 0, 0, 0});
    EXPECT_EQ(none.v.text, "");
    EXPECT_EQ(none.v.size, 4);
    // A last string without NUL stops at the section end.
    std::vector<uint8_t> open = {'a', 'b', 'c'};
    Decoded cut = decode(false, DW_FORM_strp, {1, 0, 0, 0}, 4, &open);
    EXPECT_EQ(cut.v.text, "bc");
}

TEST(Attributes, Blocks) {
    Decoded b1 = decode(false, DW_FORM_block1, {3, 0x91, 0x7C, 0x00, 0xEE});
    EXPECT_EQ(b1.v.size, 3);
    EXPECT_EQ(b1.consumed, 4u);
    EXPECT_EQ(b1.v.text, "0x91 0x7C 0x00 ");
    EXPECT_EQ(b1.v.bytes[0], 0x91);
    EXPECT_EQ(b1.v.bytes[1], 0x7C);
    Decoded b2 = decode(true, DW_FORM_block2, {0x00, 0x02, 0xAB, 0xCD});
    EXPECT_EQ(b2.v.size, 2);
    EXPECT_EQ(b2.consumed, 4u);
    EXPECT_EQ(b2.v.text, "0xAB 0xCD ");
    Decoded b4 = decode(false, DW_FORM_block4, {0x01, 0, 0, 0, 0x03});
    EXPECT_EQ(b4.v.size, 1);
    EXPECT_EQ(b4.v.bytes[0], 0x03);
    Decoded bl = decode(false, DW_FORM_block, {0x82, 0x01});  // 130 bytes announced, none there
    EXPECT_TRUE(bl.overrun);
    for (uint32_t f : {DW_FORM_block, DW_FORM_exprloc}) {
        Decoded e = decode(false, f, {0x02, 0x50, 0x93});
        EXPECT_EQ(e.v.size, 2);
        EXPECT_EQ(e.v.text, "0x50 0x93 ");
    }
    // An empty block moves past its length only and leaves the bytes zero.
    Decoded empty = decode(false, DW_FORM_block1, {0, 0x44});
    EXPECT_EQ(empty.consumed, 1u);
    EXPECT_EQ(empty.v.size, 0);
    EXPECT_EQ(empty.v.text, "");
    EXPECT_EQ(empty.v.number(), 0u);
}

TEST(Attributes, LargeBlockKeeps1024BytesAndWholeRenderings) {
    ByteWriter w;
    w.u16(2000);
    for (int i = 0; i < 2000; ++i) w.u8(static_cast<uint8_t>(i));
    w.u8(0x99);
    Decoded d = decode(false, DW_FORM_block2, w.bytes);
    EXPECT_EQ(d.v.size, 2000);
    EXPECT_EQ(d.consumed, 2002u);
    EXPECT_EQ(d.v.bytes[1023], static_cast<uint8_t>(1023));
    EXPECT_EQ(d.v.text.size(), 204u * 5);  // whole "0xAB " renderings within 1023 characters
    EXPECT_EQ(d.v.text.substr(0, 10), "0x00 0x01 ");
}

TEST(Attributes, IndirectResolvesTheForm) {
    Decoded d = decode(false, DW_FORM_indirect, {DW_FORM_data1, 0x05});
    EXPECT_EQ(d.form, DW_FORM_data1);
    EXPECT_EQ(d.v.text, "<0x05 >");
    EXPECT_EQ(d.v.number(), 5u);
    EXPECT_EQ(d.v.size, 1);
    EXPECT_EQ(d.consumed, 2u);
    Decoded nested = decode(true, DW_FORM_indirect, {DW_FORM_indirect, DW_FORM_string, 'x', 0});
    EXPECT_EQ(nested.form, DW_FORM_string);
    EXPECT_EQ(nested.v.text, "<<x>>");
    EXPECT_EQ(nested.consumed, 4u);
    // A long chain of indirections neither recurses nor overflows the text.
    std::vector<uint8_t> chain(5000, DW_FORM_indirect);
    chain.push_back(DW_FORM_data1);
    chain.push_back(7);
    Decoded deep = decode(false, DW_FORM_indirect, chain);
    EXPECT_EQ(deep.form, DW_FORM_data1);
    EXPECT_EQ(deep.v.number(), 7u);
    EXPECT_LE(deep.v.text.size(), 1023u);
    EXPECT_EQ(deep.consumed, chain.size());
}

TEST(Attributes, FlagPresentAndUnknownFormsConsumeNothing) {
    Decoded fp = decode(false, DW_FORM_flag_present, {0x44});
    EXPECT_EQ(fp.consumed, 0u);
    EXPECT_EQ(fp.v.bytes[0], 1);
    EXPECT_EQ(fp.v.text, "");
    Decoded unknown = decode(false, 0x2D, {0x44});
    EXPECT_EQ(unknown.consumed, 0u);
    EXPECT_EQ(unknown.v.text, "");
    EXPECT_EQ(unknown.v.number(), 0u);
}

TEST(Attributes, ClearRestoresZeroExtension) {
    AttributeValue v;
    const FormContext ctx;
    uint8_t data[] = {0x11, 0x22, 0x33, 0x44, 0xAA};
    ByteReader r = make_reader(data, sizeof data, 0, sizeof data, false);
    uint32_t form = DW_FORM_data4;
    decode_attribute(ctx, form, v, r);
    EXPECT_EQ(v.number(), 0x44332211u);
    clear_attribute_value(v);
    form = DW_FORM_data1;
    decode_attribute(ctx, form, v, r);
    EXPECT_EQ(v.number(), 0xAAu);
}

TEST(Attributes, HexTextCanBeSkipped) {
    AttributeValue v;
    v.hex_text = false;
    const FormContext ctx;
    uint8_t data[] = {0x11, 0x22, 'o', 'k', 0};
    ByteReader r = make_reader(data, sizeof data, 0, sizeof data, false);
    uint32_t form = DW_FORM_data2;
    decode_attribute(ctx, form, v, r);
    EXPECT_EQ(v.text, "");
    EXPECT_EQ(v.number(), 0x2211u);
    form = DW_FORM_string;
    decode_attribute(ctx, form, v, r);
    EXPECT_EQ(v.text, "ok");  // strings are always copied
}

TEST(Attributes, CutValuesStopAtTheEnd) {
    Decoded d4 = decode(true, DW_FORM_data4, {0x12, 0x34});
    EXPECT_TRUE(d4.overrun);
    EXPECT_EQ(d4.consumed, 2u);
    EXPECT_EQ(d4.v.text, "0x12 0x34 ");
    Decoded str = decode(false, DW_FORM_string, {'a', 'b'});
    EXPECT_TRUE(str.overrun);
    EXPECT_EQ(str.v.text, "ab");
    EXPECT_EQ(str.v.size, 2);
    Decoded blk = decode(false, DW_FORM_block1, {5, 0x01, 0x02});
    EXPECT_TRUE(blk.overrun);
    EXPECT_EQ(blk.v.size, 2);
    EXPECT_EQ(blk.v.text, "0x01 0x02 ");
    Decoded leb = decode(false, DW_FORM_udata, {0x81, 0x82});
    EXPECT_TRUE(leb.overrun);
    EXPECT_EQ(leb.v.number(), 0x101u);
    Decoded ind = decode(false, DW_FORM_indirect, {});
    EXPECT_TRUE(ind.overrun);
    EXPECT_EQ(ind.consumed, 0u);
    EXPECT_EQ(cut_value_subject(DW_FORM_data4), "DW_FORM_data4(0x06) value");
}

// Stepping over a value must land exactly where decoding it lands, for every
// form, in both byte orders, with nested DW_FORM_indirect resolved the same.
TEST(Attributes, SkipMatchesDecode) {
    for (bool be : {false, true}) {
        ByteWriter values(be);
        std::vector<uint32_t> forms;
        auto add = [&](uint32_t form) -> ByteWriter& {
            forms.push_back(form);
            return values;
        };
        add(DW_FORM_string).cstr("abc");
        add(DW_FORM_addr).u32(0x1000);
        add(DW_FORM_data1).u8(4);
        add(DW_FORM_data2).u16(9);
        add(DW_FORM_ref4).u32(0x20);
        add(DW_FORM_data8).u64(1);
        add(DW_FORM_block1).u8(2).u8(0x91).u8(0x7C);
        add(DW_FORM_block2).u16(1).u8(0x50);
        add(DW_FORM_block4).u32(1).u8(0x50);
        add(DW_FORM_block).uleb(3).u8(1).u8(2).u8(3);
        add(DW_FORM_exprloc).uleb(1).u8(0x50);
        add(DW_FORM_sdata).sleb(-300);
        add(DW_FORM_udata).uleb(300);
        add(DW_FORM_strp).u32(0);
        add(DW_FORM_flag_present);
        add(DW_FORM_sec_offset).u32(0x40);
        add(DW_FORM_indirect).uleb(DW_FORM_ref_udata).uleb(200);
        add(DW_FORM_indirect).uleb(DW_FORM_indirect).uleb(DW_FORM_data2).u16(7);
        add(DW_FORM_ref8).u64(5);
        add(0x30);  // unknown: nothing
        values.u8(0xEE);  // the next DIE
        const FormContext ctx;
        ByteReader skipped = make_reader(values.bytes.data(), values.size(), 0, values.size(), be);
        ByteReader decoded = skipped;
        AttributeValue v;
        for (uint32_t form : forms) {
            uint32_t skip_form = form, decode_form = form;
            skip_value(ctx, skip_form, skipped);
            decode_attribute(ctx, decode_form, v, decoded);
            EXPECT_EQ(skipped.pos, decoded.pos) << "form " << form;
            EXPECT_EQ(skip_form, decode_form) << "form " << form;
        }
        EXPECT_FALSE(skipped.overrun);
        EXPECT_EQ(skipped.pos, values.size() - 1);
    }
}

}  // namespace

namespace {

// A value followed by the unit's tables, in the target byte order: string
// offsets (base 8: "a", "bc"), addresses (base 8: 0x1000, 0x2000), list
// offsets (base 12: 0x20, 0x24), and the strings.
struct TableImage {
    std::vector<uint8_t> image;
    FormContext ctx;

    TableImage(bool be, const std::vector<uint8_t>& value) {
        ByteWriter w(be);
        w.raw(value);
        auto table = [&](ImageRange& range, auto&& fill) {
            range.begin = w.size();
            fill();
            range.end = w.size();
        };
        ImageRange str;
        table(str, [&] { w.cstr("a").cstr("bc"); });
        table(ctx.str_offsets, [&] { w.fill(8).u32(0).u32(2); });
        table(ctx.addr, [&] { w.fill(8).u32(0x1000).u32(0x2000); });
        table(ctx.loclists, [&] { w.fill(12).u32(0x20).u32(0x24); });
        ctx.rnglists = ctx.loclists;
        table(ctx.line_str, [&] { w.cstr("line"); });
        ctx.str_begin = str.begin;
        ctx.str_end = str.end;
        ctx.big_endian = be;
        image = w.bytes;
        ctx.image = image.data();
    }

    AttributeValue decode(bool be, uint32_t& form, size_t length, size_t& end) const {
        ByteReader r = make_reader(image.data(), image.size(), 0, length, be);
        AttributeValue v;
        decode_attribute(ctx, form, v, r);
        end = r.pos;
        return v;
    }
};

// Each form in both byte orders, then with an index (offset) of 5, which
// names nothing.
TEST(Attributes, FormsReadThroughTheUnitTables) {
    struct Case {
        uint32_t form;
        std::vector<uint8_t> le, be;  // the value in each byte order
        uint32_t direct_form;
        uint32_t number;
        const char* text;  // "" when only the number matters
    };
    const Case cases[] = {
        {DW_FORM_strx1, {1}, {1}, DW_FORM_strp, 2, "bc"},
        {DW_FORM_strx2, {0, 0}, {0, 0}, DW_FORM_strp, 0, "a"},
        {DW_FORM_strx3, {1, 0, 0}, {0, 0, 1}, DW_FORM_strp, 2, "bc"},
        {DW_FORM_strx4, {1, 0, 0, 0}, {0, 0, 0, 1}, DW_FORM_strp, 2, "bc"},
        {DW_FORM_strx, {0x81, 0x00}, {0x81, 0x00}, DW_FORM_strp, 2, "bc"},
        {DW_FORM_line_strp, {0, 0, 0, 0}, {0, 0, 0, 0}, DW_FORM_strp, 0, "line"},
        {DW_FORM_addrx1, {1}, {1}, DW_FORM_addr, 0x2000, ""},
        {DW_FORM_addrx2, {0, 0}, {0, 0}, DW_FORM_addr, 0x1000, ""},
        {DW_FORM_addrx3, {1, 0, 0}, {0, 0, 1}, DW_FORM_addr, 0x2000, ""},
        {DW_FORM_addrx4, {1, 0, 0, 0}, {0, 0, 0, 1}, DW_FORM_addr, 0x2000, ""},
        {DW_FORM_addrx, {0x01}, {0x01}, DW_FORM_addr, 0x2000, "index(0x1) [0x00002000] "},
        {DW_FORM_loclistx, {1}, {1}, DW_FORM_sec_offset, 12 + 0x24, ""},
        {DW_FORM_rnglistx, {0}, {0}, DW_FORM_sec_offset, 12 + 0x20, ""},
    };
    for (bool be : {false, true}) {
        for (const Case& k : cases) {
            SCOPED_TRACE(std::to_string(k.form) + (be ? " big-endian" : " little-endian"));
            const std::vector<uint8_t>& value = be ? k.be : k.le;
            size_t end = 0;
            uint32_t form = k.form;
            AttributeValue v = TableImage(be, value).decode(be, form, value.size(), end);
            EXPECT_EQ(form, k.direct_form);
            EXPECT_EQ(end, value.size());
            EXPECT_FALSE(v.unresolved);
            EXPECT_EQ(v.number(), k.number);
            if (*k.text) {
                EXPECT_EQ(v.text, k.text);
            }
            std::vector<uint8_t> far = value;
            far[be && far.size() > 1 && k.form != DW_FORM_strx ? far.size() - 1 : 0] = 5;
            form = k.form;
            EXPECT_TRUE(TableImage(be, far).decode(be, form, far.size(), end).unresolved);
        }
    }
}

// The flag belongs to each value: a number decoded into the buffer of an
// unresolved index value, on the short path taken without trace text, is
// resolved (the flag once stayed set there, giving a stray warning that
// depended on what the buffer had held before).
TEST(Attributes, EachDecodeSetsItsOwnUnresolvedFlag) {
    const uint8_t bytes[] = {5, 7, 0x34, 0x12};
    FormContext ctx;
    ctx.address_size = 4;
    ctx.image = bytes;
    AttributeValue v;
    v.hex_text = false;
    ByteReader r = make_reader(bytes, sizeof bytes, 0, sizeof bytes, false);
    uint32_t form = DW_FORM_strx1;  // no string offsets table: names nothing
    decode_attribute(ctx, form, v, r);
    EXPECT_TRUE(v.unresolved);
    for (uint32_t plain : {DW_FORM_data1, DW_FORM_data2}) {
        v.unresolved = true;
        clear_attribute_value(v);
        form = plain;
        decode_attribute(ctx, form, v, r);
        EXPECT_FALSE(v.unresolved) << plain;
    }
    EXPECT_EQ(v.number(), 0x1234u);
}

TEST(Attributes, ImplicitConstantsTakeTheNarrowestDataForm) {
    struct Case {
        int32_t constant;
        uint32_t form;
        const char* text;
    } cases[] = {
        {4, DW_FORM_data1, "0x4"},
        {0x1234, DW_FORM_data2, "0x1234"},
        {0x12345, DW_FORM_data4, "0x12345"},
        {-2, DW_FORM_sdata, "0xFFFFFFFE"},
    };
    for (const Case& k : cases) {
        AttributeValue v;
        uint32_t form = DW_FORM_implicit_const;
        decode_implicit_const(k.constant, form, v);
        EXPECT_EQ(form, k.form);
        EXPECT_EQ(v.number(), static_cast<uint32_t>(k.constant));
        EXPECT_EQ(v.text, k.text);
    }
    // data16 keeps its sixteen bytes as they stand.
    std::vector<uint8_t> bytes(17);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i + 1);
    Decoded d16 = decode(true, DW_FORM_data16, bytes);
    EXPECT_EQ(d16.consumed, 16u);
    EXPECT_EQ(d16.v.bytes[15], 16);
    EXPECT_EQ(d16.v.number64(), 0x0807060504030201ull);
}

}  // namespace
