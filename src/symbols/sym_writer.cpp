#include "symbols/sym_writer.h"

#include <algorithm>
#include <cstring>

#include "common/format.h"
#include "common/scan.h"
#include "common/session.h"
#include "common/text_io.h"
#include "symbols/symbol_table.h"

namespace {

struct IdentName {
    int32_t code;
    const char* text;
};

constexpr IdentName kIdentNames[] = {
    {kIdentLabel, "LABEL"},       {kIdentVariable, "VARIABLE"}, {kIdentMember, "MEMBER"},
    {kIdentProgram, "PROGRAM"},   {kIdentSProgram, "S_PROGRAM"}, {kIdentLocalS, "LOCAL_S"},
    {kIdentLocalR, "LOCAL_R"},    {kIdentLocalF, "LOCAL_F"},    {kIdentUnit, "UNIT"},
    {kIdentNon, "NON"},
};

struct TypeNameRow {
    std::string_view c_name;
    const char* short_name;
};

// Searched top to bottom; the first row whose words begin the type name wins.
constexpr TypeNameRow kTypeNames[] = {
    {"unsigned char", "Uchar"},
    {"signed char", "char"},
    {"unsigned short", "Ushort"},
    {"signed short", "short"},
    {"short unsigned int", "Ushort"},
    {"short int", "short"},
    {"unsigned int", "Uint"},
    {"signed int", "int"},
    {"unsigned long", "Ulong"},
    {"signed long", "long"},
    {"long unsigned int", "Ulong"},
    {"long int", "long"},
    {"long long int", "int64"},
    {"long long signed int", "int64"},
    {"long long unsigned int", "int64"},
};

constexpr int kLastMainEntry = kMainBankSize - 1;
constexpr uint8_t kBitFixed = 255;

// Record fields are 32-bit signed; the fix-up arithmetic wraps like the
// debugger's own 32-bit fields instead of overflowing.
int32_t add32(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

bool has_bit(const SymbolEntry& e) { return (e.kind & kKindBit) != 0; }

// What the BIT entries behind r that are not yet fixed and lie at another
// location than `loc` hold: fields of a 4-byte element at bit 16 or above,
// fields of an 8-byte element at bit 32 or above, and below 32. One pass
// answers all three; it stops once the first (which decides alone) is seen.
enum BitSeen : unsigned { kSeenUpper16 = 1, kSeenUpper32 = 2, kSeenLower32 = 4 };

unsigned scan_bit_fields(const SymbolState& t, int r, int32_t loc) {
    unsigned seen = 0;
    for (int j = r + 1; j <= kLastMainEntry && has_bit(t.entries[j]); ++j) {
        const SymbolEntry& x = t.entries[j];
        if (x.bit_fixed != 0 || x.location == loc) continue;
        if (x.one_byte == 4 && x.bit_off >= 16) return seen | kSeenUpper16;
        if (x.one_byte == 8) seen |= x.bit_off >= 32 ? kSeenUpper32 : kSeenLower32;
    }
    return seen;
}

// A bit field counted from the far end of a wider storage unit: moves it
// (and the following fields of the same half) into the upper half.
void move_to_upper_half(SymbolState& t, int r, int32_t bits, int32_t bytes) {
    SymbolEntry& root = t.entries[r];
    root.bit_off = add32(root.bit_off, -bits);
    root.location = add32(root.location, bytes);
    root.bit_fixed = kBitFixed;
    for (int j = r + 1; j <= kLastMainEntry && has_bit(t.entries[j]); ++j) {
        SymbolEntry& x = t.entries[j];
        if (x.bit_off < bits) continue;
        x.bit_fixed = kBitFixed;
        if (x.location < root.location) {
            x.bit_off = add32(x.bit_off, -bits);
            x.location = add32(x.location, bytes);
        }
    }
}

void move_to_lower_half(SymbolState& t, int r) {
    SymbolEntry& root = t.entries[r];
    root.bit_off = add32(root.bit_off, 32);
    root.bit_fixed = kBitFixed;
    for (int j = r + 1; j <= kLastMainEntry && has_bit(t.entries[j]); ++j) {
        SymbolEntry& x = t.entries[j];
        x.bit_fixed = kBitFixed;
        if (x.bit_off >= 32) continue;
        if (x.location > root.location)
            x.location = add32(x.location, -4);
        else
            x.bit_off = add32(x.bit_off, 32);
    }
}

int32_t printed_start(const SymbolEntry& e) { return e.fstart != 0 || e.floc->count <= 0 ? e.fstart : e.floc->begin[0]; }

// The rows from floc.count on are empty (every writer of rows raises the
// count), so only the rows below it are looked at.
int written_rows(const SymbolEntry& e) { return std::min(std::max(e.floc->count, 0), kLocRows); }

int32_t printed_end(const SymbolEntry& e) {
    if (e.fend != 0) return e.fend;
    for (int k = written_rows(e) - 1; k >= 0; --k)
        if (e.floc->end[k] != 0) return e.floc->end[k];
    return 0;
}

// Records are formatted with their final CR LF line ends straight into a
// character buffer sized for the longest record the entry can give, and handed
// to the file as they are. Field lines are "<label><value>]", the value as
// "%d" or "0x%X".
struct RecordText {
    char* p;

    template <size_t N>
    void lit(const char (&text)[N]) {
        std::memcpy(p, text, N - 1);
        p += N - 1;
    }
    void str(const std::string& text) {
        std::memcpy(p, text.data(), text.size());
        p += text.size();
    }
    void cstr(const char* text) {
        const size_t n = std::strlen(text);
        std::memcpy(p, text, n);
        p += n;
    }
    void dec(int32_t value) { p = put_dec(p, value); }
    void hex(uint32_t value) { p = put_hex(p, value); }
    template <size_t N>
    void dec_line(const char (&label)[N], int32_t v) {
        lit(label);
        dec(v);
        lit("]\r\n");
    }
    template <size_t N>
    void hex_line(const char (&label)[N], int32_t v) {
        lit(label);
        lit("0x");
        hex(static_cast<uint32_t>(v));
        lit("]\r\n");
    }
};

// Room for every fixed part of a record and the kind, besides the entry's
// three texts and the floc rows it prints (those up to the first empty one).
constexpr size_t kRecordFixedRoom = 1024;
constexpr size_t kRecordRowRoom = 96;

size_t record_room(const SymbolEntry& e) {
    size_t rows = 0;
    const size_t written = static_cast<size_t>(written_rows(e));
    while (rows < written && (e.floc->begin[rows] != 0 || e.floc->end[rows] != 0)) ++rows;
    return kRecordFixedRoom + rows * kRecordRowRoom + e.name.size() + e.typen.size() + e.regn.size();
}

// Formats the record of `e` into `out` (resized to fit) and returns its length.
size_t format_record(std::string& out, const SymbolEntry& e, int printed_index, const char* kind) {
    if (out.size() < record_room(e)) out.resize(record_room(e));
    char* const begin = &out[0];
    RecordText rec{begin};
    rec.dec_line(": index[", printed_index);
    rec.dec_line("+ nest[", e.nest);
    rec.lit("+ name[");
    rec.str(e.name);
    rec.lit("]\r\n");
    rec.hex_line("+ location[", e.location);
    rec.lit("+ typen[");
    if (e.typen.empty()) {
        rec.lit("void");
    } else {
        rec.str(e.typen);
    }
    rec.lit("]\r\n");
    rec.lit("+ ident[");
    rec.cstr(ident_text(e.ident));
    rec.lit("]\r\n");
    rec.lit("+ kind[");
    rec.cstr(kind);
    rec.lit("]\r\n");
    if (e.kind & kKindArray) {
        rec.lit("+ ele[");
        for (int i = 0; i < 7; ++i) {
            if (i) rec.lit(" ");
            rec.dec(e.ele[i]);
        }
        rec.lit("]\r\n");
    }
    rec.hex_line("+ fstart[", printed_start(e));
    rec.hex_line("+ fend[", printed_end(e));
    if (e.kind & kKindBit) {
        rec.hex_line("+ bit_off[", e.bit_off);
        rec.hex_line("+ bit_size[", e.bit_size);
    } else {
        rec.dec_line("+ one_byte[", e.one_byte);
        rec.dec_line("+ total_byte[", e.total_byte);
    }
    if (e.kind & kKindStruct) rec.dec_line("+ struct_len[", e.struct_len);
    if (!e.regn.empty()) {
        rec.lit("+ regn[");
        rec.str(e.regn);
        rec.lit("]\r\n");
        rec.hex_line("+ regcode[", e.regcode);
        rec.dec_line("+ regop1[", e.regop1);
        rec.dec_line("+ regop2[", e.regop2);
        for (int k = 0, rows = written_rows(e); k < rows; ++k) {
            if (e.floc->begin[k] == 0 && e.floc->end[k] == 0) break;
            rec.lit("+ floc[");
            rec.dec(k);
            for (int32_t v : {e.floc->begin[k], e.floc->end[k], e.floc->code[k]}) {
                rec.lit(" 0x");
                rec.hex(static_cast<uint32_t>(v));
            }
            rec.lit(" ");
            rec.dec(e.floc->op1[k]);
            rec.lit(" ");
            rec.dec(e.floc->op2[k]);
            rec.lit("]\r\n");
        }
    }
    rec.lit("=\r\n");
    return static_cast<size_t>(rec.p - begin);
}

// The kind text of each combination of the four kind flags (ARRAY, POINTER,
// STRUCT, BIT, in that order; "SIMPLE " when none is set).
constexpr const char* kKindTexts[16] = {
    "SIMPLE ",
    "ARRAY ",
    "POINTER ",
    "ARRAY POINTER ",
    "STRUCT ",
    "ARRAY STRUCT ",
    "POINTER STRUCT ",
    "ARRAY POINTER STRUCT ",
    "BIT ",
    "ARRAY BIT ",
    "POINTER BIT ",
    "ARRAY POINTER BIT ",
    "STRUCT BIT ",
    "ARRAY STRUCT BIT ",
    "POINTER STRUCT BIT ",
    "ARRAY POINTER STRUCT BIT ",
};

// Completes the -g copy prepared in entry 1024: entry 0 with the post-pass
// results under the global name and category, then the members behind it.
// Returns the number of global-bank entries to visit.
int complete_global_copy(SymbolState& t, int main_extent) {
    SymbolEntries& e = t.entries;
    SymbolEntry& head = e[kGlobalBankStart];
    std::string name = std::move(head.name);
    int32_t ident = head.ident;
    head = e[0];
    head.name = std::move(name);
    head.ident = ident;
    int copied = 1;
    // Members stop at the first free slot; entries from main_extent on are free.
    for (int i = 1; i < kMainBankSize && i < main_extent; ++i) {
        if (e[i].name.empty()) break;
        e[kGlobalBankStart + i] = e[i];
        ++copied;
    }
    return copied;
}

}  // namespace

const char* ident_text(int32_t ident) {
    for (const IdentName& n : kIdentNames)
        if (n.code == ident) return n.text;
    return "";
}

std::string kind_text(int32_t kind) { return kKindTexts[kind & 15]; }

void normalise_type_name(std::string& typen) {
    if (typen.empty()) return;
    // Every row begins with "unsigned", "signed", "short" or "long" (so a
    // name already short, "Uint" or "Ulong", is passed over here).
    if (typen.size() < 4) return;
    const char c = fold_case(typen[0]), d = fold_case(typen[1]);
    if (!((c == 'U' && d == 'N') || (c == 'S' && (d == 'I' || d == 'H')) || (c == 'L' && d == 'O'))) return;
    // A row matches when the name begins with its words, case folded, and a
    // blank or the end (or a NUL) follows them.
    const std::string_view name(typen.c_str());
    for (const TypeNameRow& row : kTypeNames) {
        const size_t n = row.c_name.size();
        if (name.size() < n || (name.size() > n && !is_blank(name[n]))) continue;
        if (equal_nocase(name.substr(0, n), row.c_name)) {
            typen = row.short_name;
            return;
        }
    }
}

void fix_bit_field(SymbolState& t, int r) {
    if (r < 0 || r >= kLastMainEntry) return;  // nothing behind the last main-bank entry
    const unsigned seen = scan_bit_fields(t, r, t.entries[r].location);
    if (seen & kSeenUpper16)
        move_to_upper_half(t, r, 16, 2);
    else if (seen & kSeenUpper32)
        move_to_upper_half(t, r, 32, 4);
    else if (seen & kSeenLower32)
        move_to_lower_half(t, r);
}

int used_main_extent(const SymbolState& t) {
    int top = std::max(t.high_water, t.current);
    if (top < 0) top = 0;
    return std::min(top + 1, kMainBankSize);
}

// Names are short: a plain loop is cheaper than a library search.
static bool has_newline(const std::string& text) {
    for (const char c : text)
        if (c == '\n') return true;
    return false;
}

static std::string crlf_to_lf(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

void write_sym_records(Session& s, OutText& sym) {
    SymbolState& t = *s.sym;
    const int main_extent = used_main_extent(t);
    int global_count = 0;
    if (s.opt.globalize_statics && !t.entries[kGlobalBankStart].name.empty())
        global_count = complete_global_copy(t, main_extent);

    std::string& rec = t.record_text;
    auto visit = [&](int i) {
        SymbolEntry& e = t.entries[i];
        if (e.name.empty()) return;
        const char* kind = kKindTexts[e.kind & 15];
        if (e.kind & kKindBit) fix_bit_field(t, i);
        normalise_type_name(e.typen);
        const size_t length = format_record(rec, e, i >= kGlobalBankStart ? i - kGlobalBankStart : i, kind);
        const std::string_view text(rec.data(), length);
        // A line break inside a name from the file still becomes CR LF.
        if (has_newline(e.name) || has_newline(e.typen) || has_newline(e.regn)) {
            out_write(sym, crlf_to_lf(text));
        } else {
            out_write_raw(sym, text);
        }
    };
    for (int i = 0; i < main_extent; ++i) visit(i);
    for (int i = 0; i < global_count; ++i) visit(kGlobalBankStart + i);
}
