#include "locations/call_frame.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/format.h"
#include "common/session.h"
#include "elf/elf_reader.h"

namespace {

constexpr uint32_t kDebugFrameCieId = 0xFFFFFFFFu;
constexpr uint32_t kEhFrameCieId = 0;
constexpr uint32_t k64BitEscape = 0xFFFFFFFFu;

// Pointer encodings of .eh_frame (DW_EH_PE_*): a format in the low nibble,
// an application in bits 4-6.
constexpr uint8_t kPointerOmit = 0xFF;
constexpr uint8_t kPointerFormat = 0x0F;
constexpr uint8_t kPointerApplication = 0x70;
enum : uint8_t {
    kPointerAbsolute = 0x00,
    kPointerUleb = 0x01,
    kPointerUdata2 = 0x02,
    kPointerUdata4 = 0x03,
    kPointerUdata8 = 0x04,
    kPointerSleb = 0x09,
    kPointerSdata2 = 0x0A,
    kPointerSdata4 = 0x0B,
    kPointerSdata8 = 0x0C,
};
enum : uint8_t { kApplyPlain = 0x00, kApplyPcRel = 0x10, kApplyDataRel = 0x30 };

bool pointer_encoding_supported(uint8_t encoding) {
    switch (encoding & kPointerFormat) {
    case kPointerAbsolute: case kPointerUleb: case kPointerUdata2: case kPointerUdata4: case kPointerUdata8:
    case kPointerSleb: case kPointerSdata2: case kPointerSdata4: case kPointerSdata8: break;
    default: return false;
    }
    const uint8_t application = encoding & kPointerApplication;
    return (encoding & ~(kPointerFormat | kPointerApplication)) == 0 &&
           (application == kApplyPlain || application == kApplyPcRel || application == kApplyDataRel);
}

// One encoded pointer (the encoding checked beforehand). `apply` adds the
// pc-relative or data-relative base; an address range is read without it.
uint32_t read_pointer(ByteReader& r, uint8_t encoding, const CallFrames& f, uint8_t address_size, bool apply) {
    const size_t field = r.pos;
    uint32_t value = 0;
    switch (encoding & kPointerFormat) {
    case kPointerAbsolute: value = read_address(r, address_size); break;
    case kPointerUleb: value = read_uleb128(r); break;
    case kPointerUdata2: value = read_target16(r); break;
    case kPointerUdata4: value = read_target32(r); break;
    case kPointerUdata8: value = static_cast<uint32_t>(read_target64(r)); break;
    case kPointerSleb: value = static_cast<uint32_t>(read_sleb128(r)); break;
    case kPointerSdata2: value = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(read_target16(r)))); break;
    case kPointerSdata4: value = read_target32(r); break;
    case kPointerSdata8: value = static_cast<uint32_t>(read_target64(r)); break;
    }
    if (!apply) return value;
    switch (encoding & kPointerApplication) {
    case kApplyPcRel: return value + f.address + static_cast<uint32_t>(field - f.bytes.pos);
    case kApplyDataRel: return value + f.data_base;
    default: return value;
    }
}

// What a DW_CFA_* instruction does to the CFA rule, and its operands.
enum class Act : uint8_t {
    kNone, kAdvance, kSetLoc, kDefCfa, kDefCfaSf, kDefCfaRegister, kDefCfaOffset, kDefCfaOffsetSf,
    kDefCfaExpression, kRemember, kRestore,
};
enum class Arg : uint8_t { kNone, kUleb, kSleb, kBlock, kDelta1, kDelta2, kDelta4, kDelta8, kAddress };

struct CfaOp {
    uint8_t code;
    Act act;
    Arg first, second;
    bool known;
};

// Instructions whose two high bits are 0 (the others carry an operand in
// their low six bits: 0x40 advance_loc, 0x80 offset, 0xC0 restore).
constexpr CfaOp kCfaOps[] = {
    {0x00, Act::kNone, Arg::kNone, Arg::kNone, true},              // nop
    {0x01, Act::kSetLoc, Arg::kAddress, Arg::kNone, true},         // set_loc
    {0x02, Act::kAdvance, Arg::kDelta1, Arg::kNone, true},         // advance_loc1
    {0x03, Act::kAdvance, Arg::kDelta2, Arg::kNone, true},         // advance_loc2
    {0x04, Act::kAdvance, Arg::kDelta4, Arg::kNone, true},         // advance_loc4
    {0x05, Act::kNone, Arg::kUleb, Arg::kUleb, true},              // offset_extended
    {0x06, Act::kNone, Arg::kUleb, Arg::kNone, true},              // restore_extended
    {0x07, Act::kNone, Arg::kUleb, Arg::kNone, true},              // undefined
    {0x08, Act::kNone, Arg::kUleb, Arg::kNone, true},              // same_value
    {0x09, Act::kNone, Arg::kUleb, Arg::kUleb, true},              // register
    {0x0A, Act::kRemember, Arg::kNone, Arg::kNone, true},          // remember_state
    {0x0B, Act::kRestore, Arg::kNone, Arg::kNone, true},           // restore_state
    {0x0C, Act::kDefCfa, Arg::kUleb, Arg::kUleb, true},            // def_cfa
    {0x0D, Act::kDefCfaRegister, Arg::kUleb, Arg::kNone, true},    // def_cfa_register
    {0x0E, Act::kDefCfaOffset, Arg::kUleb, Arg::kNone, true},      // def_cfa_offset
    {0x0F, Act::kDefCfaExpression, Arg::kBlock, Arg::kNone, true}, // def_cfa_expression
    {0x10, Act::kNone, Arg::kUleb, Arg::kBlock, true},             // expression
    {0x11, Act::kNone, Arg::kUleb, Arg::kSleb, true},              // offset_extended_sf
    {0x12, Act::kDefCfaSf, Arg::kUleb, Arg::kSleb, true},          // def_cfa_sf
    {0x13, Act::kDefCfaOffsetSf, Arg::kSleb, Arg::kNone, true},    // def_cfa_offset_sf
    {0x14, Act::kNone, Arg::kUleb, Arg::kUleb, true},              // val_offset
    {0x15, Act::kNone, Arg::kUleb, Arg::kSleb, true},              // val_offset_sf
    {0x16, Act::kNone, Arg::kUleb, Arg::kBlock, true},             // val_expression
    {0x1D, Act::kAdvance, Arg::kDelta8, Arg::kNone, true},         // MIPS_advance_loc8
    {0x2D, Act::kNone, Arg::kNone, Arg::kNone, true},              // GNU_window_save
    {0x2E, Act::kNone, Arg::kUleb, Arg::kNone, true},              // GNU_args_size
    {0x2F, Act::kNone, Arg::kUleb, Arg::kUleb, true},              // GNU_negative_offset_extended
};

constexpr std::array<CfaOp, 64> make_cfa_op_index() {
    std::array<CfaOp, 64> index{};
    for (size_t i = 0; i < index.size(); ++i) index[i] = {static_cast<uint8_t>(i), Act::kNone, Arg::kNone, Arg::kNone, false};
    for (const CfaOp& op : kCfaOps) index[op.code] = op;
    return index;
}
constexpr std::array<CfaOp, 64> kCfaOpIndex = make_cfa_op_index();

// A worker of the parallel symbol pass shares the table with the others: it
// leaves `warned` alone and notes the message for the merge, which shows the
// run's first.
void damage(Session& s, CallFrames& f, const char* what, size_t image_offset) {
    if (!s.console.note_once_messages) {
        if (f.warned) return;
        f.warned = true;
    }
    std::string text = what;
    append_printf(text, " at offset 0x%lX of %s; the call-frame rules stop there",
                  static_cast<unsigned long>(image_offset - f.bytes.pos), f.section);
    warn_once_per_run(s, text);
}

// The CIE whose entry starts at `offset`; false (with `why`) when it cannot be used.
bool parse_cie(CallFrames& f, size_t offset, CallFrameCie& c, const char*& why) {
    ByteReader r = f.bytes;
    seek(r, offset);
    const uint32_t length = read_target32(r);
    if (r.overrun || length == k64BitEscape || length > r.remaining()) {
        why = "CIE cut by the end of the section";
        return false;
    }
    ByteReader e = sub_reader(r, length);
    if (read_target32(e) != (f.eh ? kEhFrameCieId : kDebugFrameCieId)) {
        why = "CIE pointer does not point at a CIE";
        return false;
    }
    const uint8_t version = read_u8(e);
    if (version != 1 && version != 3 && !(version == 4 && !f.eh)) {
        why = "CIE version not supported";
        return false;
    }
    const std::string_view augmentation = read_cstring(e);
    c.address_size = f.address_size;
    if (version >= 4) {
        c.address_size = read_u8(e);
        if (read_u8(e) != 0) {
            why = "CIE with segment selectors not supported";
            return false;
        }
    }
    c.code_align = read_uleb128(e);
    c.data_align = read_sleb128(e);
    if (version == 1) {
        read_u8(e);  // return-address column
    } else {
        read_uleb128(e);
    }
    if (!augmentation.empty() && augmentation[0] == 'z') {
        c.augmentation_data = true;
        const uint32_t size = read_uleb128(e);
        ByteReader data = sub_reader(e, size);
        skip(e, size);
        for (char letter : augmentation.substr(1)) {
            if (letter == 'R') {
                c.pointer_encoding = read_u8(data);
            } else if (letter == 'L') {
                read_u8(data);
            } else if (letter == 'P') {
                const uint8_t encoding = read_u8(data);
                if (!pointer_encoding_supported(encoding)) {
                    why = "CIE personality pointer encoding not supported";
                    return false;
                }
                read_pointer(data, encoding, f, c.address_size, false);
            } else if (letter != 'S') {
                break;  // the rest of the data is stepped over by its length
            }
        }
        if (data.overrun) e.overrun = true;
    } else if (!augmentation.empty()) {
        why = "CIE augmentation not supported";
        return false;
    }
    if (!pointer_encoding_supported(c.pointer_encoding) || c.pointer_encoding == kPointerOmit) {
        why = "FDE pointer encoding not supported";
        return false;
    }
    if (e.overrun) {
        why = "CIE cut by the end of its entry";
        return false;
    }
    c.instructions = e.pos;
    c.end = e.end;
    return true;
}

// The CFA rule while the instructions run.
struct CfaState {
    uint32_t reg = 0;
    int32_t offset = 0;
};

struct Evaluator {
    Session& s;
    CallFrames& f;
    const CallFrameCie& cie;
    uint32_t low, high;
    uint32_t loc = 0;
    CfaState cfa;
    std::vector<CfaState> stack;
    std::vector<CfaRule> rules;

    // The current rule covers [loc, next) (clipped to [low, high)).
    void advance_to(uint32_t next) {
        const uint32_t start = std::max(loc, low);
        const uint32_t end = std::min(next, high);
        if (start < end) {
            if (!rules.empty() && rules.back().end == start && rules.back().reg == cfa.reg &&
                rules.back().offset == cfa.offset) {
                rules.back().end = end;
            } else {
                rules.push_back({start, end, cfa.reg, cfa.offset});
            }
        }
        loc = next;
    }

    // Runs [begin, end); false when it stopped early (an expression, or damage).
    bool run(size_t begin, size_t end) {
        ByteReader r = f.bytes;
        seek(r, begin);
        r.end = std::min(end, r.end);
        while (r.pos < r.end) {
            const size_t at = r.pos;
            const uint8_t code = read_u8(r);
            const uint8_t low_bits = code & 0x3F;
            switch (code & 0xC0) {
            case 0x40: advance_to(loc + low_bits * cie.code_align); continue;
            case 0x80: read_uleb128(r); break;
            case 0xC0: break;
            default: {
                const CfaOp& op = kCfaOpIndex[low_bits];
                if (!op.known) {
                    damage(s, f, "unknown call-frame instruction", at);
                    return false;
                }
                uint32_t first = 0;
                int32_t second = 0;
                if (!operand(r, op.first, first) || !signed_operand(r, op.second, second)) {
                    damage(s, f, "call-frame instruction cut by the end of its entry", at);
                    return false;
                }
                if (!apply(op.act, first, second)) return false;
            }
            }
            if (r.overrun) {
                damage(s, f, "call-frame instruction cut by the end of its entry", at);
                return false;
            }
        }
        return true;
    }

    bool operand(ByteReader& r, Arg arg, uint32_t& value) {
        switch (arg) {
        case Arg::kNone: break;
        case Arg::kUleb: value = read_uleb128(r); break;
        case Arg::kSleb: value = static_cast<uint32_t>(read_sleb128(r)); break;
        case Arg::kBlock: {
            const uint32_t size = read_uleb128(r);
            if (size > r.remaining()) return false;
            skip(r, size);
            break;
        }
        case Arg::kDelta1: value = read_u8(r) * cie.code_align; break;
        case Arg::kDelta2: value = read_target16(r) * cie.code_align; break;
        case Arg::kDelta4: value = read_target32(r) * cie.code_align; break;
        case Arg::kDelta8: value = static_cast<uint32_t>(read_target64(r)) * cie.code_align; break;
        case Arg::kAddress:
            value = f.eh ? read_pointer(r, cie.pointer_encoding, f, cie.address_size, true)
                         : read_address(r, cie.address_size);
            break;
        }
        return !r.overrun;
    }
    bool signed_operand(ByteReader& r, Arg arg, int32_t& value) {
        uint32_t raw = 0;
        const bool ok = operand(r, arg, raw);
        value = static_cast<int32_t>(raw);
        return ok;
    }

    // False when the CFA becomes an expression: the rules end there.
    bool apply(Act act, uint32_t first, int32_t second) {
        switch (act) {
        case Act::kNone: break;
        case Act::kAdvance: advance_to(loc + first); break;
        case Act::kSetLoc: advance_to(first); break;
        case Act::kDefCfa: cfa = {first, second}; break;
        case Act::kDefCfaSf: cfa = {first, second * cie.data_align}; break;
        case Act::kDefCfaRegister: cfa.reg = first; break;
        case Act::kDefCfaOffset: cfa.offset = static_cast<int32_t>(first); break;
        case Act::kDefCfaOffsetSf: cfa.offset = static_cast<int32_t>(first) * cie.data_align; break;
        case Act::kDefCfaExpression: return false;
        case Act::kRemember: stack.push_back(cfa); break;
        case Act::kRestore:
            if (!stack.empty()) {
                cfa = stack.back();
                stack.pop_back();
            }
            break;
        }
        return true;
    }
};

}  // namespace

void index_call_frames(Session& s, CallFrames& f) {
    f.cies.clear();
    f.fdes.clear();
    std::unordered_map<size_t, uint32_t> cie_at;  // image offset of a CIE -> index
    const char* why = nullptr;
    // The CIE at `offset`, read on first use; false when it cannot be used.
    auto cie_index = [&](size_t offset, uint32_t& index) {
        auto it = cie_at.find(offset);
        if (it != cie_at.end()) {
            index = it->second;
            return true;
        }
        CallFrameCie c;
        if (!parse_cie(f, offset, c, why)) return false;
        index = static_cast<uint32_t>(f.cies.size());
        f.cies.push_back(c);
        cie_at.emplace(offset, index);
        return true;
    };

    ByteReader r = f.bytes;
    const size_t start = r.pos;
    while (r.pos < r.end) {
        const size_t entry = r.pos;
        const uint32_t length = read_target32(r);
        if (r.overrun) return damage(s, f, "entry cut by the end of the section", entry);
        if (length == 0) continue;  // a terminator or padding
        if (length == k64BitEscape) return damage(s, f, "64-bit entry", entry);
        if (length > r.remaining()) return damage(s, f, "entry runs past the end of the section", entry);
        ByteReader e = sub_reader(r, length);
        skip(r, length);

        const size_t id_field = e.pos;
        const uint32_t id = read_target32(e);
        uint32_t index = 0;
        if (id == (f.eh ? kEhFrameCieId : kDebugFrameCieId)) {
            if (!cie_index(entry, index)) return damage(s, f, why, entry);
            continue;
        }
        // .eh_frame counts back from the pointer field, .debug_frame from the section start.
        if (f.eh ? id > id_field - start : id >= f.bytes.end - start) {
            return damage(s, f, "CIE pointer outside the section", entry);
        }
        if (!cie_index(f.eh ? id_field - id : start + id, index)) return damage(s, f, why, entry);
        const CallFrameCie& cie = f.cies[index];
        CallFrameFde fde;
        fde.cie = index;
        uint32_t range;
        if (f.eh) {
            fde.begin = read_pointer(e, cie.pointer_encoding, f, cie.address_size, true);
            range = read_pointer(e, cie.pointer_encoding, f, cie.address_size, false);
            if (cie.augmentation_data) skip(e, read_uleb128(e));
        } else {
            fde.begin = read_address(e, cie.address_size);
            range = read_address(e, cie.address_size);
        }
        if (e.overrun) return damage(s, f, "FDE cut by the end of its entry", entry);
        fde.end = range > UINT32_MAX - fde.begin ? UINT32_MAX : fde.begin + range;
        fde.instructions = e.pos;
        fde.instructions_end = e.end;
        f.fdes.push_back(fde);
    }
    std::stable_sort(f.fdes.begin(), f.fdes.end(),
                     [](const CallFrameFde& a, const CallFrameFde& b) { return a.begin < b.begin; });
}

bool read_call_frames(Session& s, CallFrames& f) {
    f = CallFrames{};
    int debug_frame = -1, eh_frame = -1, eh_frame_hdr = -1;
    for (size_t i = 1; i < s.elf.sections.size() && i < s.elf.section_names.size(); ++i) {
        const std::string& name = s.elf.section_names[i];
        if (name == ".debug_frame") debug_frame = static_cast<int>(i);
        if (name == ".eh_frame") eh_frame = static_cast<int>(i);
        if (name == ".eh_frame_hdr") eh_frame_hdr = static_cast<int>(i);
    }
    const int chosen = debug_frame >= 0 ? debug_frame : eh_frame;
    if (chosen < 0) return false;
    size_t offset = 0, length = 0;
    section_bounds(s, static_cast<uint32_t>(chosen), offset, length);
    f.section = debug_frame >= 0 ? ".debug_frame" : ".eh_frame";
    f.bytes = image_range(s, offset, length);
    f.eh = debug_frame < 0;
    f.address = s.elf.sections[chosen].sh_addr;
    if (eh_frame_hdr >= 0) f.data_base = s.elf.sections[eh_frame_hdr].sh_addr;
    f.address_size = s.elf.address_size ? s.elf.address_size : 4;
    index_call_frames(s, f);
    return true;
}

std::vector<CfaRule> cfa_rules(Session& s, CallFrames& f, uint32_t low, uint32_t high, bool end_change) {
    auto after = std::upper_bound(f.fdes.begin(), f.fdes.end(), low,
                                  [](uint32_t pc, const CallFrameFde& fde) { return pc < fde.begin; });
    if (after == f.fdes.begin()) return {};
    const CallFrameFde& fde = *(after - 1);
    if (low >= fde.end) return {};
    const CallFrameCie& cie = f.cies[fde.cie];
    Evaluator ev{s, f, cie, low, high, fde.begin, CfaState{}, {}, {}};
    // The initial instructions set the rule at the FDE's first address.
    if (ev.run(cie.instructions, cie.end)) {
        ev.rules.clear();
        ev.loc = fde.begin;
        if (ev.run(fde.instructions, fde.instructions_end)) {
            ev.advance_to(fde.end);
            // A rule that changes right at the end of the function (the
            // epilogue's last instruction) is kept as an empty last rule,
            // as a compiler lists it in a frame base.
            const CfaRule last = ev.rules.empty() ? CfaRule{} : ev.rules.back();
            if (end_change && !ev.rules.empty() && high == fde.end && ev.loc == high && last.end == high &&
                (last.reg != ev.cfa.reg || last.offset != ev.cfa.offset))
                ev.rules.push_back({high, high, ev.cfa.reg, ev.cfa.offset});
        }
    }
    return std::move(ev.rules);
}
