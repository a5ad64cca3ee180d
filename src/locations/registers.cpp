#include "locations/registers.h"

#include <cstring>

#include "common/dwarf_codes.h"
#include "common/format.h"
#include "elf/elf_reader.h"

namespace {

// The register sets, in the order the machine code is tested.
enum class RegSet { ARM, RX, SH, H8_300, H8_300H };

RegSet register_set(uint32_t machine) {
    switch (machine) {
    case kMachineARM: return RegSet::ARM;
    case kMachineRX: return RegSet::RX;
    case kMachineSH: return RegSet::SH;
    case kMachineH8_300: return RegSet::H8_300;
    default: return RegSet::H8_300H;
    }
}

// A run of register numbers [first, last] named by a printf format taking
// (n - bias), or by a fixed name when the format has no conversion.
struct RegRange {
    uint32_t first, last;
    const char* format;
    int32_t bias;
};

constexpr RegRange kArmRegs[] = {
    {0, 15, "R%d", 0},
    {64, 95, "S%d", 64},
    {96, 103, "F%d", 96},
    {104, 111, "wCGR%d", 104},
    {112, 127, "wR%d", 112},
    {128, 128, "SPSR", 0},
    {129, 129, "SPSR_FIQ", 0},
    {130, 130, "SPSR_IRQ", 0},
    {131, 131, "SPSR_ABT", 0},
    {132, 132, "SPSR_UND", 0},
    {133, 133, "SPSR_SVC", 0},
    {144, 150, "R%d_USR", 136},
    {151, 157, "R%d_FIQ", 143},
    {158, 159, "R%d_IRQ", 145},
    {160, 161, "R%d_ABT", 147},
    {162, 163, "R%d_UND", 149},
    {164, 165, "R%d_SVC", 151},
    {192, 199, "wC%d", 192},
    {256, 287, "D%d", 256},
};

constexpr RegRange kShRegs[] = {
    {0, 31, "R%d", -32},
    {32, 95, "FR%d", 32},
    {96, 96, "PR", 0},
    {97, 97, "SPC", 0},
    {98, 129, "DR%d", 98},
    {130, 161, "FP%d", 130},
    {162, 177, "FV%d", 162},
    {178, 193, "XF%d", 178},
    {206, 207, "A%d", 206},
    {208, 209, "M%d", 208},
    {210, 211, "X%d", 210},
    {212, 213, "Y%d", 212},
    {214, 222, "TR%d", 214},
};
constexpr const char* kShXd[] = {"XD0", "XD2", "XD4", "XD6", "XD8", "XD10", "XD12", "XD14"};
constexpr const char* kShMtr[] = {"MTR0", "MTR16", "MTR32", "MTR48"};

constexpr const char* kRxRegs[] = {
    "R1LL", "R1LH", "R1HL", "R1HH", "R2LL", "R2LH", "R2HL", "R2HH",
    "R3LL", "R3LH", "R3HL", "R3HH", "R4LL", "R4LH", "R4HL", "R4HH",
    "R1L",  "R1H",  "R2L",  "R2H",  "R3L",  "R3H",  "R4L",  "R4H",
};

constexpr RegRange kH8_300Regs[] = {
    {0, 7, "R%dL", 0},
    {8, 15, "R%dH", 8},
};

constexpr RegRange kH8_300HRegs[] = {
    {0, 7, "R%dL", 0},
    {8, 15, "R%dH", 8},
    {16, 23, "R%d", 16},
    {24, 31, "E%d", 24},
};

template <size_t N>
bool name_from_ranges(std::string& text, const RegRange (&table)[N], uint32_t reg) {
    for (const RegRange& r : table) {
        if (reg >= r.first && reg <= r.last) {
            if (const char* number = std::strstr(r.format, "%d")) {
                text.append(r.format, static_cast<size_t>(number - r.format));
                append_dec(text, static_cast<int32_t>(reg) - r.bias);
                text += number + 2;
            } else {
                text += r.format;
            }
            return true;
        }
    }
    return false;
}

}  // namespace

bool name_reg(std::string& text, uint32_t machine, unsigned code) {
    text += register_set(machine) == RegSet::H8_300H ? "ER" : "R";
    append_dec(text, static_cast<int>(code) - DW_OP_reg0);
    return true;
}

bool name_breg(std::string& text, uint32_t machine, unsigned code, int32_t offset) {
    text += "@(.";
    append_dec(text, offset);
    text += register_set(machine) == RegSet::H8_300H ? "+ER" : "+R";
    append_dec(text, static_cast<int>(code) - DW_OP_breg0);
    text += ')';
    return true;
}

bool name_fbreg(std::string& text, uint32_t, int32_t offset) {
    text += "@(.";
    append_dec(text, offset);
    text += "+FB)";
    return true;
}

bool name_bregx(std::string& text, uint32_t machine, uint8_t reg_low_byte, int32_t offset) {
    switch (register_set(machine)) {
    case RegSet::ARM:
    case RegSet::SH: text += "@(."; break;
    case RegSet::RX: text += "@(R"; break;
    default: return false;
    }
    append_dec(text, offset);
    text += "+R";
    append_dec(text, reg_low_byte);
    text += ')';
    return true;
}

bool name_regx(std::string& text, uint32_t machine, uint32_t reg) {
    switch (register_set(machine)) {
    case RegSet::ARM:
        if (!name_from_ranges(text, kArmRegs, reg)) append_printf(text, "R???%u", static_cast<unsigned>(reg));
        return true;
    case RegSet::RX:
        if (reg >= sizeof kRxRegs / sizeof kRxRegs[0]) return false;
        text += kRxRegs[reg];
        return true;
    case RegSet::SH:
        if (reg >= 194 && reg <= 201) {
            text += kShXd[reg - 194];
        } else if (reg >= 202 && reg <= 205) {
            text += kShMtr[reg - 202];
        } else if (!name_from_ranges(text, kShRegs, reg)) {
            text += "R???";
        }
        return true;
    case RegSet::H8_300: return name_from_ranges(text, kH8_300Regs, reg);
    case RegSet::H8_300H: return name_from_ranges(text, kH8_300HRegs, reg);
    }
    return false;
}

bool name_location(std::string& regn, uint32_t machine, int32_t code, int32_t op1, int32_t op2) {
    std::string text;
    bool made = false;
    if (code >= DW_OP_reg0 && code <= DW_OP_reg31) {
        made = name_reg(text, machine, static_cast<unsigned>(code));
    } else if (code >= DW_OP_breg0 && code <= DW_OP_breg31) {
        made = name_breg(text, machine, static_cast<unsigned>(code), op1);
    } else if (code == DW_OP_regx) {
        made = name_regx(text, machine, static_cast<uint32_t>(op1));
    } else if (code == DW_OP_fbreg) {
        made = name_fbreg(text, machine, op1);
    } else if (code == DW_OP_bregx) {
        made = name_bregx(text, machine, static_cast<uint8_t>(op1 & 0xFF), op2);
    }
    if (made) regn = std::move(text);
    return made;
}
