#include "locations/registers.h"

#include <gtest/gtest.h>

#include "elf/elf_reader.h"

namespace {

struct RegxCase {
    uint32_t machine;
    uint32_t reg;
    const char* text;  // nullptr: the target has no name for it
};

std::string regx(uint32_t machine, uint32_t reg, bool* made = nullptr) {
    std::string text = "<";
    bool m = name_regx(text, machine, reg);
    if (made) *made = m;
    return text;
}

// Both ends of every range of every target's table, and the gaps between.
TEST(LocRegisters, RegxTableBoundaries) {
    const RegxCase cases[] = {
        // ARM
        {kMachineARM, 0, "R0"}, {kMachineARM, 15, "R15"}, {kMachineARM, 16, "R???16"},
        {kMachineARM, 63, "R???63"}, {kMachineARM, 64, "S0"}, {kMachineARM, 95, "S31"},
        {kMachineARM, 96, "F0"}, {kMachineARM, 103, "F7"}, {kMachineARM, 104, "wCGR0"},
        {kMachineARM, 111, "wCGR7"}, {kMachineARM, 112, "wR0"}, {kMachineARM, 127, "wR15"},
        {kMachineARM, 128, "SPSR"}, {kMachineARM, 129, "SPSR_FIQ"}, {kMachineARM, 130, "SPSR_IRQ"},
        {kMachineARM, 131, "SPSR_ABT"}, {kMachineARM, 132, "SPSR_UND"}, {kMachineARM, 133, "SPSR_SVC"},
        {kMachineARM, 134, "R???134"}, {kMachineARM, 143, "R???143"}, {kMachineARM, 144, "R8_USR"},
        {kMachineARM, 150, "R14_USR"}, {kMachineARM, 151, "R8_FIQ"}, {kMachineARM, 157, "R14_FIQ"},
        {kMachineARM, 158, "R13_IRQ"}, {kMachineARM, 159, "R14_IRQ"}, {kMachineARM, 160, "R13_ABT"},
        {kMachineARM, 161, "R14_ABT"}, {kMachineARM, 162, "R13_UND"}, {kMachineARM, 163, "R14_UND"},
        {kMachineARM, 164, "R13_SVC"}, {kMachineARM, 165, "R14_SVC"}, {kMachineARM, 166, "R???166"},
        {kMachineARM, 191, "R???191"}, {kMachineARM, 192, "wC0"}, {kMachineARM, 199, "wC7"},
        {kMachineARM, 200, "R???200"}, {kMachineARM, 255, "R???255"}, {kMachineARM, 256, "D0"},
        {kMachineARM, 287, "D31"}, {kMachineARM, 288, "R???288"}, {kMachineARM, 0x80000000u, "R???2147483648"},
        {kMachineARM, 0xFFFFFFF8u, "R???4294967288"},
        // RX
        {kMachineRX, 0, "R1LL"}, {kMachineRX, 3, "R1HH"}, {kMachineRX, 15, "R4HH"}, {kMachineRX, 16, "R1L"},
        {kMachineRX, 17, "R1H"}, {kMachineRX, 23, "R4H"}, {kMachineRX, 24, nullptr},
        {kMachineRX, 0xFFFFFFFFu, nullptr},
        // SH
        {kMachineSH, 0, "R32"}, {kMachineSH, 5, "R37"}, {kMachineSH, 31, "R63"}, {kMachineSH, 32, "FR0"},
        {kMachineSH, 95, "FR63"}, {kMachineSH, 96, "PR"}, {kMachineSH, 97, "SPC"}, {kMachineSH, 98, "DR0"},
        {kMachineSH, 129, "DR31"}, {kMachineSH, 130, "FP0"}, {kMachineSH, 161, "FP31"},
        {kMachineSH, 162, "FV0"}, {kMachineSH, 177, "FV15"}, {kMachineSH, 178, "XF0"},
        {kMachineSH, 193, "XF15"}, {kMachineSH, 194, "XD0"}, {kMachineSH, 197, "XD6"},
        {kMachineSH, 201, "XD14"}, {kMachineSH, 202, "MTR0"}, {kMachineSH, 203, "MTR16"},
        {kMachineSH, 205, "MTR48"}, {kMachineSH, 206, "A0"}, {kMachineSH, 207, "A1"},
        {kMachineSH, 208, "M0"}, {kMachineSH, 209, "M1"}, {kMachineSH, 210, "X0"}, {kMachineSH, 211, "X1"},
        {kMachineSH, 212, "Y0"}, {kMachineSH, 213, "Y1"}, {kMachineSH, 214, "TR0"}, {kMachineSH, 222, "TR8"},
        {kMachineSH, 223, "R???"}, {kMachineSH, 1000, "R???"},
        // H8/300
        {kMachineH8_300, 0, "R0L"}, {kMachineH8_300, 7, "R7L"}, {kMachineH8_300, 8, "R0H"},
        {kMachineH8_300, 9, "R1H"}, {kMachineH8_300, 15, "R7H"}, {kMachineH8_300, 16, nullptr},
        {kMachineH8_300, 20, nullptr},
        // H8/300H and H8S, and any unknown machine code
        {kMachineH8S, 0, "R0L"}, {kMachineH8S, 7, "R7L"}, {kMachineH8S, 8, "R0H"}, {kMachineH8S, 15, "R7H"},
        {kMachineH8S, 16, "R0"}, {kMachineH8S, 20, "R4"}, {kMachineH8S, 23, "R7"}, {kMachineH8S, 24, "E0"},
        {kMachineH8S, 31, "E7"}, {kMachineH8S, 32, nullptr}, {kMachineH8_300H, 20, "R4"},
        {7, 25, "E1"},
    };
    for (const RegxCase& c : cases) {
        bool made = false;
        std::string text = regx(c.machine, c.reg, &made);
        if (c.text) {
            EXPECT_TRUE(made) << c.machine << " " << c.reg;
            EXPECT_EQ(std::string("<") + c.text, text) << c.machine << " " << c.reg;
        } else {
            EXPECT_FALSE(made) << c.machine << " " << c.reg;
            EXPECT_EQ("<", text) << c.machine << " " << c.reg;
        }
    }
}

TEST(LocRegisters, RegAndBregUseErOnlyOnH8_300HAndH8S) {
    for (uint32_t m : {kMachineARM, kMachineRX, kMachineSH, kMachineH8_300}) {
        std::string t;
        name_reg(t, m, 0x53);
        EXPECT_EQ("R3", t) << m;
        t.clear();
        name_breg(t, m, 0x76, -4);
        EXPECT_EQ("@(.-4+R6)", t) << m;
        t.clear();
        name_reg(t, m, 0x6f);
        EXPECT_EQ("R31", t);
    }
    for (uint32_t m : {uint32_t(kMachineH8_300H), uint32_t(kMachineH8S), 0u}) {
        std::string t;
        name_reg(t, m, 0x53);
        EXPECT_EQ("ER3", t) << m;
        t.clear();
        name_breg(t, m, 0x76, -4);
        EXPECT_EQ("@(.-4+ER6)", t) << m;
        t.clear();
        name_breg(t, m, 0x70, 2147483647);
        EXPECT_EQ("@(.2147483647+ER0)", t);
    }
}

TEST(LocRegisters, FbregAndBregxTexts) {
    for (uint32_t m : {kMachineARM, kMachineRX, kMachineSH, kMachineH8_300, kMachineH8S}) {
        std::string t = "x";
        EXPECT_TRUE(name_fbreg(t, m, 12));
        EXPECT_EQ("x@(.12+FB)", t);
    }
    std::string t;
    EXPECT_TRUE(name_bregx(t, kMachineARM, 13, -8));
    EXPECT_EQ("@(.-8+R13)", t);
    t.clear();
    EXPECT_TRUE(name_bregx(t, kMachineSH, 15, 4));
    EXPECT_EQ("@(.4+R15)", t);
    t.clear();
    EXPECT_TRUE(name_bregx(t, kMachineRX, 2, 8));
    EXPECT_EQ("@(R8+R2)", t);
    t = "keep";
    EXPECT_FALSE(name_bregx(t, kMachineH8_300, 2, 8));
    EXPECT_FALSE(name_bregx(t, kMachineH8S, 2, 8));
    EXPECT_EQ("keep", t);
}

TEST(LocRegisters, NameLocationReplacesOrKeepsRegn) {
    std::string regn = "old";
    EXPECT_TRUE(name_location(regn, kMachineARM, 0x55, 0, 0));
    EXPECT_EQ("R5", regn);
    EXPECT_TRUE(name_location(regn, kMachineH8S, 0x7d, -12, 0));
    EXPECT_EQ("@(.-12+ER13)", regn);
    EXPECT_TRUE(name_location(regn, kMachineSH, 0x90, 96, 0));
    EXPECT_EQ("PR", regn);
    EXPECT_TRUE(name_location(regn, kMachineRX, 0x91, -20, 0));
    EXPECT_EQ("@(.-20+FB)", regn);
    // bregx: the low byte of the register number names the register.
    EXPECT_TRUE(name_location(regn, kMachineARM, 0x92, 300, 16));
    EXPECT_EQ("@(.16+R44)", regn);

    regn = "old";
    EXPECT_FALSE(name_location(regn, kMachineARM, 0x93, 4, 0));  // DW_OP_piece
    EXPECT_FALSE(name_location(regn, kMachineARM, 0x4f, 0, 0));
    EXPECT_FALSE(name_location(regn, kMachineARM, 0x00, 0, 0));
    EXPECT_FALSE(name_location(regn, kMachineH8_300, 0x90, 20, 0));  // no name for it
    EXPECT_FALSE(name_location(regn, kMachineH8_300, 0x92, 2, 0));
    EXPECT_EQ("old", regn);
}

}  // namespace
