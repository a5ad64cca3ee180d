#include "locations/loc_expr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>


namespace {

struct Decoded {
    std::string text;
    LocOpResult result;
    size_t pos = 0;
    bool overrun = false;
};

struct ExprFixture {
    LocTarget target;
    bool big_endian;
    std::vector<uint8_t> bytes;
    explicit ExprFixture(uint32_t machine = kMachineARM, uint8_t address_size = 4, bool big_endian = false)
        : target{machine, address_size}, big_endian(big_endian) {}
    // A reader over `b` as the whole expression.
    ByteReader reader(const std::vector<uint8_t>& b) {
        bytes = b;
        return make_reader(bytes.data(), bytes.size(), 0, bytes.size(), big_endian);
    }
    // Decodes one operation of `bytes` (the whole expression) starting from `start`.
    Decoded decode(const std::vector<uint8_t>& b, LocOpResult start = LocOpResult{}) {
        ByteReader r = reader(b);
        Decoded d;
        d.result = start;
        d.pos = decode_loc_op(target, d.text, d.result, r);
        EXPECT_EQ(d.pos, r.pos);
        d.overrun = r.overrun;
        return d;
    }
    std::string text(const std::vector<uint8_t>& bytes) { return decode(bytes).text; }
};

LocOpResult filled() {
    LocOpResult r;
    r.code = 0x1234;
    r.op1 = 0x55667788;
    r.op2 = 0x11223344;
    return r;
}

void expect_result(const LocOpResult& r, uint16_t code, int32_t op1, int32_t op2) {
    EXPECT_EQ(code, r.code);
    EXPECT_EQ(op1, r.op1);
    EXPECT_EQ(op2, r.op2);
}

uint8_t record_byte(const LocOpResult& r, size_t i) {
    uint8_t b[10];
    std::memcpy(b, &r.code, 2);
    std::memcpy(b + 2, &r.op1, 4);
    std::memcpy(b + 6, &r.op2, 4);
    return b[i];
}

TEST(LocExpr, PlainOperationsPrintTheirPaddedLabelAndTakeOneByte) {
    ExprFixture f;
    struct Case {
        uint8_t code;
        const char* text;
    } cases[] = {
        {0x06, "DW_OP_deref(0x6)       "},
        {0x12, "DW_OP_dup(0x12)         "},
        {0x16, "DW_OP_swap(0x16)        "},
        {0x1a, "DW_OP_and(0x1A)         "},
        {0x21, "DW_OP_or(0x21)          "},
        {0x22, "DW_OP_plus(0x22)        "},
        {0x2e, "DW_OP_ne(0x2E)          "},
        {0x96, "DW_OP_nop(0x96)         "},
        {0x97, "DW_OP_push_object_address(0x97)"},
        {0x9b, "DW_OP_form_tls_address(0x9B)"},
        {0x9c, "DW_OP_call_frame_cfa(0x9C)"},
        {0xe0, "DW_OP_lo_user(0xE0)     "},
        {0xff, "DW_OP_hi_user(0xFF)     "},
        {0x9f, "DW_OP_stack_value "},
        {0xf0, "DW_OP_GNU_uninit "},
        {0x30, "DW_OP_lit0(0x30)       "},
        {0x35, "DW_OP_lit5(0x35)       "},
        {0x4f, "DW_OP_lit31(0x4F)       "},
        // Codes without a meaning
        {0x00, "DW_OP_??????" "(0x0)      "},
        {0x02, "DW_OP_??????" "(0x2)      "},
        {0x07, "DW_OP_??????" "(0x7)      "},
        {0xaa, "DW_OP_??????" "(0xAA)      "},
        {0xdf, "DW_OP_??????" "(0xDF)      "},
        {0xe1, "DW_OP_??????" "(0xE1)      "},
        {0xf8, "DW_OP_??????" "(0xF8)      "},
        {0xfe, "DW_OP_??????" "(0xFE)      "},
    };
    for (const Case& c : cases) {
        Decoded d = f.decode({c.code, 0x91, 0x7f}, filled());
        EXPECT_EQ(c.text, d.text) << int(c.code);
        EXPECT_EQ(1u, d.pos) << int(c.code);
        expect_result(d.result, 0x1234, 0x55667788, 0x11223344);
    }
}

TEST(LocExpr, TextIsAppendedNeverCleared) {
    ExprFixture f;
    ByteReader r = f.reader({0x50});
    std::string text = "/prefix ";
    LocOpResult res;
    decode_loc_op(f.target, text, res, r);
    EXPECT_EQ("/prefix DW_OP_regn(0x50)        R0", text);
}

TEST(LocExpr, RegisterOperationsSetTheResultAndAppendTheTargetText) {
    ExprFixture arm(kMachineARM);
    Decoded d = arm.decode({0x5d}, filled());
    EXPECT_EQ("DW_OP_regn(0x5D)        R13", d.text);
    expect_result(d.result, 0x5d, 0, 0);

    d = arm.decode({0x7b, 0x70}, filled());  // breg11, -16
    EXPECT_EQ("DW_OP_bregn(0x7B)[-16]   @(.-16+R11)", d.text);
    EXPECT_EQ(2u, d.pos);
    expect_result(d.result, 0x7b, -16, 0);

    d = arm.decode({0x90, 0x80, 0x02}, filled());  // regx 256
    EXPECT_EQ("DW_OP_regx(0x90)        D0", d.text);
    EXPECT_EQ(3u, d.pos);
    expect_result(d.result, 0x90, 256, 0);

    d = arm.decode({0x91, 0x78}, filled());  // fbreg -8
    EXPECT_EQ("DW_OP_fbreg(-8)       @(.-8+FB)", d.text);
    expect_result(d.result, 0x91, -8, 0);

    d = arm.decode({0x92, 0xac, 0x02, 0x10}, filled());  // bregx 300, 16
    EXPECT_EQ("DW_OP_bregx(0x92)[300][16] @(.16+R44)", d.text);
    EXPECT_EQ(4u, d.pos);
    expect_result(d.result, 0x92, 300, 16);

    ExprFixture h8s(kMachineH8S);
    EXPECT_EQ("DW_OP_regn(0x53)        ER3", h8s.text({0x53}));
    EXPECT_EQ("DW_OP_bregn(0x76)[-4]   @(.-4+ER6)", h8s.text({0x76, 0x7c}));
    EXPECT_EQ("DW_OP_regx(0x90)        R4", h8s.text({0x90, 20}));
    // No text for the number: only the label.
    EXPECT_EQ("DW_OP_bregx(0x92)[2][8] ", h8s.text({0x92, 2, 8}));
    ExprFixture h8(kMachineH8_300);
    Decoded none = h8.decode({0x90, 20});
    EXPECT_EQ("DW_OP_regx(0x90)        ", none.text);
    expect_result(none.result, 0x90, 20, 0);
    ExprFixture rx(kMachineRX);
    EXPECT_EQ("DW_OP_bregx(0x92)[2][8] @(R8+R2)", rx.text({0x92, 2, 8}));
}

TEST(LocExpr, PieceAndDerefSize) {
    ExprFixture f;
    Decoded d = f.decode({0x93, 0x04}, filled());
    EXPECT_EQ("DW_OP_piece(0x93)[4]   ", d.text);
    expect_result(d.result, 0x93, 4, 0);

    // Only the low 16 bits of op1 take the size; op2 stays.
    d = f.decode({0x94, 0x02}, filled());
    EXPECT_EQ("DW_OP_deref_size(0x94)[0x2] ", d.text);
    expect_result(d.result, 0x94, 0x55660002, 0x11223344);
    d = f.decode({0x95, 0xff}, filled());
    EXPECT_EQ("DW_OP_xderef_size(0x95)[0xFF] ", d.text);
    expect_result(d.result, 0x95, 0x556600FF, 0x11223344);
}

TEST(LocExpr, ConstantsAreStoredOverCodeAndOp1InHostOrder) {
    for (bool big : {false, true}) {
        ExprFixture f(kMachineSH, 4, big);
        Decoded d = f.decode({0x0c, 0x11, 0x22, 0x33, 0x44}, filled());
        EXPECT_EQ("DW_OP_const4u(0xC)[11223344] ", d.text);
        EXPECT_EQ(5u, d.pos);
        EXPECT_EQ(big ? 0x11223344u : 0x44332211u, loc_result_value(d.result, 4));
        // Bytes 4..9 of the record are untouched.
        LocOpResult before = filled();
        for (size_t i = 4; i < 10; ++i) EXPECT_EQ(record_byte(before, i), record_byte(d.result, i));

        d = f.decode({0x0a, 0xab, 0xcd}, filled());
        EXPECT_EQ("DW_OP_const2u(0xA)[ABCD] ", d.text);
        EXPECT_EQ(big ? 0xABCDu : 0xCDABu, d.result.code);
        EXPECT_EQ(0x55667788, d.result.op1);

        d = f.decode({0x0b, 0xff, 0xfe}, filled());
        EXPECT_EQ("DW_OP_const2s(0xB)[FFFE] ", d.text);
        d = f.decode({0x28, 0x01, 0x02}, filled());
        EXPECT_EQ("DW_OP_bra(0x28)[0102]     ", d.text);
        EXPECT_EQ(big ? 0x0102u : 0x0201u, loc_result_value(d.result, 2));
        d = f.decode({0x2f, 0x01, 0x02}, filled());
        EXPECT_EQ("DW_OP_skip(0x2F)[0102]    ", d.text);
        d = f.decode({0x0d, 0xff, 0xff, 0xff, 0xfe}, filled());
        EXPECT_EQ("DW_OP_const4s(0xD)[FFFFFFFE] ", d.text);

        // One-byte constants overwrite the first byte only.
        d = f.decode({0x08, 0x9a}, filled());
        EXPECT_EQ("DW_OP_const1u(0x8)[9A] ", d.text);
        EXPECT_EQ(0x9a, record_byte(d.result, 0));
        EXPECT_EQ(record_byte(filled(), 1), record_byte(d.result, 1));
        EXPECT_EQ(0x9au, loc_result_value(d.result, 1));
        EXPECT_EQ("DW_OP_const1s(0x9)[80] ", f.text({0x09, 0x80}));
        EXPECT_EQ("DW_OP_pick(0x15)[03]    ", f.text({0x15, 0x03}));

        // 8-byte constants are copied as they stand in the file, whatever the byte order.
        d = f.decode({0x0e, 1, 2, 3, 4, 5, 6, 7, 8}, filled());
        EXPECT_EQ("DW_OP_const8u(0xE)[0102030405060708] ", d.text);
        EXPECT_EQ(9u, d.pos);
        for (size_t i = 0; i < 8; ++i) EXPECT_EQ(i + 1, record_byte(d.result, i));
        EXPECT_EQ(record_byte(filled(), 8), record_byte(d.result, 8));
        EXPECT_EQ("DW_OP_const8s(0xF)[F0F1F2F3F4F5F6F7] ",
                  f.text({0x0f, 0xf0, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7}));
    }
}

TEST(LocExpr, LebConstants) {
    ExprFixture f;
    Decoded d = f.decode({0x10, 0xe5, 0x8e, 0x26}, filled());  // 624485
    EXPECT_EQ("DW_OP_constu(0x10)[0x98765]  ", d.text);
    EXPECT_EQ(4u, d.pos);
    EXPECT_EQ(624485u, loc_result_value(d.result, 4));
    EXPECT_EQ(0x11223344, d.result.op2);
    d = f.decode({0x11, 0x7f});
    EXPECT_EQ("DW_OP_consts(0x11)[0xFFFFFFFF]  ", d.text);
    EXPECT_EQ(0xFFFFFFFFu, loc_result_value(d.result, 4));
    d = f.decode({0x23, 0x10});
    EXPECT_EQ("DW_OP_plus_uconst(0x23)[0x10] ", d.text);
    EXPECT_EQ(16u, loc_result_value(d.result, 4));
}

TEST(LocExpr, AddressFollowsTheAddressSize) {
    for (bool big : {false, true}) {
        ExprFixture four(kMachineARM, 4, big);
        Decoded d = four.decode({0x03, 0x00, 0x10, 0x00, 0x20, 0x99}, filled());
        EXPECT_EQ("DW_OP_addr(0x3)[00100020]    ", d.text);
        EXPECT_EQ(5u, d.pos);
        EXPECT_EQ(big ? 0x00100020u : 0x20001000u, loc_result_value(d.result, 4));
        EXPECT_EQ(0x11223344, d.result.op2);

        ExprFixture two(kMachineH8_300, 2, big);
        d = two.decode({0x03, 0xfe, 0x10, 0x99}, filled());
        EXPECT_EQ("DW_OP_addr(0x3)[FE10]    ", d.text);
        EXPECT_EQ(3u, d.pos);
        EXPECT_EQ(big ? 0xFE10u : 0x10FEu, loc_result_value(d.result, 2));
        EXPECT_EQ(0x55667788, d.result.op1);

        // An 8-byte address takes all eight bytes and keeps the low 32 bits.
        ExprFixture eight(kMachineARM, 8, big);
        d = eight.decode({0x03, 1, 2, 3, 4, 5, 6, 7, 8, 0x99}, filled());
        EXPECT_EQ("DW_OP_addr(0x3)[0102030405060708]    ", d.text);
        EXPECT_EQ(9u, d.pos);
        EXPECT_EQ(big ? 0x05060708u : 0x04030201u, loc_result_value(d.result, 4));
    }
}

TEST(LocExpr, OperationsThatSkipTheirOperands) {
    ExprFixture f(kMachineARM, 4);
    struct Case {
        std::vector<uint8_t> bytes;
        const char* text;
        size_t pos;
    } cases[] = {
        {{0x98, 1, 2, 0x99}, "DW_OP_call2(0x98)       ", 3},
        {{0x99, 1, 2, 3, 4, 0x99}, "DW_OP_call4(0x99)       ", 5},
        {{0x9a, 1, 2, 3, 4, 0x99}, "DW_OP_call_ref(0x9A)    ", 5},
        {{0x9d, 0x20, 0x81, 0x01, 0x99}, "DW_OP_bit_piece 32 byte(157)[129] ", 4},
        {{0x9e, 3, 0xaa, 0xbb, 0xcc, 0x99}, "DW_OP_implicit_value 3 byte(0x9E)[AABBCC] ", 5},
        {{0xa0, 0x10, 0, 0, 0, 0x7e, 0x99}, "DW_OP_implicit_pointer -2 byte(0xA0)[10000000] ", 6},
        {{0xf2, 0, 0, 1, 0, 0x05, 0x99}, "DW_OP_GNU_implicit_pointer 5 byte(0xF2)[00000100] ", 6},
        {{0xf3, 2, 0x50, 0x9f, 0x99}, "DW_OP_GNU_entry_value 2 byte(0xF3) ", 4},
        {{0xf4, 0x2a, 4, 1, 2, 3, 4, 0x99}, "DW_OP_GNU_const_type 4 byte(244)[42] ", 7},
        {{0xf5, 0x05, 0x2a, 0x99}, "DW_OP_GNU_regval_type 5 byte(245)[42] ", 3},
        {{0xf7, 0x2a, 0x99}, "DW_OP_GNU_convert 42 byte(247) ", 2},
        {{0xf9, 0x2b, 0x99}, "DW_OP_GNU_reinterpret 43 byte(249) ", 2},
        {{0xfa, 1, 2, 3, 4, 0x99}, "DW_OP_GNU_parameter_ref(0xFA) ", 5},
        // Pointer encoding byte, then an address of the address size.
        {{0xf1, 0x00, 0x10, 0x20, 0x30, 0x40, 0x99}, "DW_OP_GNU_encoded_addr byte(0xF1)[0010203040] ", 6},
        // Size byte, then the ULEB128 offset of the base type.
        {{0xf6, 4, 0x80, 0x01, 0x99}, "DW_OP_GNU_deref_type 4 byte(246) ", 4},
    };
    for (const Case& c : cases) {
        Decoded d = f.decode(c.bytes, filled());
        EXPECT_EQ(c.text, d.text);
        EXPECT_EQ(c.pos, d.pos) << c.text;
        EXPECT_FALSE(d.overrun) << c.text;
        expect_result(d.result, 0x1234, 0x55667788, 0x11223344);
    }
    // The operations of DWARF 3 and later, stepped over by their operands in
    // the units of those versions.
    struct Later {
        std::vector<uint8_t> bytes;
        const char* text;
        size_t pos;
    };
    const Later later_cases[] = {
        {{0xa3, 2, 0x50, 0x9f, 0x99}, "DW_OP_entry_value(0xA3)[02509F] ", 4},
        {{0xa4, 0x2a, 4, 1, 2, 3, 4, 0x99}, "DW_OP_const_type(0xA4)[2A0401020304] ", 7},
        {{0xa5, 0x05, 0x2a, 0x99}, "DW_OP_regval_type(0xA5)[052A] ", 3},
        {{0xa6, 4, 0x80, 0x01, 0x99}, "DW_OP_deref_type(0xA6)[048001] ", 4},
        {{0xa8, 0x2a, 0x99}, "DW_OP_convert(0xA8)[2A] ", 2},
        {{0xa1, 0x81, 0x01, 0x99}, "DW_OP_addrx(0xA1)[8101] ", 3},
    };
    ExprFixture later(kMachineARM, 4);
    later.target.later_ops = true;
    for (const Later& c : later_cases) {
        Decoded d = later.decode(c.bytes);
        EXPECT_EQ(c.text, d.text);
        EXPECT_EQ(c.pos, d.pos) << c.text;
    }
    // In a DWARF 2 unit they are one unknown byte, as they always were.
    ExprFixture older(kMachineARM, 4);
    for (uint8_t code = 0xa1; code <= 0xa9; ++code) {
        Decoded d = older.decode({code, 0x05, 0x2a, 0x99});
        EXPECT_EQ(1u, d.pos);
        EXPECT_NE(d.text.find("DW_OP_??????"), std::string::npos) << d.text;
    }
    ExprFixture two(kMachineH8S, 2);
    EXPECT_EQ(3u, two.decode({0x9a, 1, 2, 0x99}).pos);
    EXPECT_EQ(4u, two.decode({0xf1, 0, 1, 2, 0x99}).pos);
}

TEST(LocExpr, ImplicitValueShowsAtMost255BytesButSkipsTheWholeBlock) {
    ExprFixture f;
    std::vector<uint8_t> bytes = {0x9e, 0x81, 0x02};  // 257 bytes
    for (int i = 0; i < 257; ++i) bytes.push_back(0xab);
    bytes.push_back(0x99);
    Decoded d = f.decode(bytes);
    EXPECT_EQ(260u, d.pos);
    // 257 modulo 256 = 1 byte shown
    EXPECT_EQ("DW_OP_implicit_value 257 byte(0x9E)[AB] ", d.text);
}

TEST(LocExpr, OperandsCutByTheEndOfTheExpressionStopThere) {
    ExprFixture f(kMachineARM, 4, true);
    // Reader bounded to the first 3 bytes of a longer image: nothing beyond is read.
    ByteReader r = f.reader({0x0c, 0x11, 0x22, 0x33, 0x44});
    r.end = 3;
    std::string text;
    LocOpResult res = filled();
    EXPECT_EQ(3u, decode_loc_op(f.target, text, res, r));
    EXPECT_TRUE(r.overrun);
    EXPECT_EQ("DW_OP_const4u(0xC)[1122] ", text);
    EXPECT_EQ(0x11220000u, loc_result_value(res, 4));

    Decoded d = f.decode({0x91, 0x80});  // SLEB128 cut
    EXPECT_TRUE(d.overrun);
    EXPECT_EQ(2u, d.pos);
    d = f.decode({0x9e, 5, 1, 2});
    EXPECT_TRUE(d.overrun);
    EXPECT_EQ(4u, d.pos);
    EXPECT_EQ("DW_OP_implicit_value 5 byte(0x9E)[0102] ", d.text);
    d = f.decode({0x0e, 1, 2, 3});
    EXPECT_TRUE(d.overrun);
    EXPECT_EQ("DW_OP_const8u(0xE)[010203] ", d.text);
    EXPECT_EQ(4u, d.pos);
    d = f.decode({0xf4, 1, 200, 1});
    EXPECT_TRUE(d.overrun);
    EXPECT_EQ(4u, d.pos);
    d = f.decode({0x03, 1});
    EXPECT_TRUE(d.overrun);
    EXPECT_EQ("DW_OP_addr(0x3)[01]    ", d.text);
    // An empty expression: no operation at all.
    d = f.decode({}, filled());
    EXPECT_TRUE(d.overrun);
    EXPECT_EQ("", d.text);
    EXPECT_EQ(0u, d.pos);
    expect_result(d.result, 0x1234, 0x55667788, 0x11223344);
}

TEST(LocExpr, ResultValueReadBack) {
    LocOpResult r;
    loc_result_store_value(r, 0xA1B2C3D4u, 4);
    EXPECT_EQ(0xA1B2C3D4u, loc_result_value(r, 4));
    EXPECT_EQ(0xC3D4u, loc_result_value(r, 2));
    EXPECT_EQ(0xD4u, loc_result_value(r, 1));
    EXPECT_EQ(0xA1B2C3D4u, loc_result_value(r, 8));  // sizes other than 1 and 2 read 4 bytes
    EXPECT_EQ(0, r.op2);
}

}  // namespace
