// One firmware built by GCC 12 and clang 14 with every debug-flag set in
// use (tests/data/compilers): the builds of one compiler and level must
// convert alike, and a line file must hold the rows llvm-dwarfdump decodes.
//
// Cases that do not hold yet are marked `known_failure`; the test fails
// both when a case breaks and when a marked one starts to hold, so the
// table always states what the converter reads today.
#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>

#include "support/run_helpers.h"

namespace {

enum class Check {
    kSymLin,     // SYM and LIN equal to the reference build's
    kSymLinLists,  // the same, where the strict DWARF 2 reference's lists of a two-section unit lie off by its start
    kSym,        // SYM equal (clang -O2 writes other non-statement rows per version)
    kUnits,      // the UNIT records' ranges equal to the reference build's
    kDwarfdump,  // LIN rows equal to llvm-dwarfdump's rows under the line-file rules
};

struct Case {
    const char* build;
    const char* reference;
    Check check;
    bool known_failure;
};

// d2s/d3s/d4s/d5s: -gdwarf-N -gstrict-dwarf; d2, d4, d5: -gdwarf-N; g: -g.
// Against d2s, the later builds differ only in the units whose code lies in
// two sections: GCC's strict DWARF 2 gives such a unit a low_pc but writes its
// location lists with absolute addresses, so the d2s rows of those units lie
// off by the unit's start (kSymLinLists allows exactly that). Still apart:
// - gcc m3 O2 d5s: GCC's DWARF 5 gives one part of a composite location as a
//   value (DW_OP_entry_value ... DW_OP_stack_value DW_OP_piece) where its
//   earlier versions leave the part empty; the entry writes no row.
// - clang O0 d5: clang's d2 line table numbers a header first, whose empty
//   heading the line file drops with its start marker; version 5 has no such
//   entry, so two start markers more stand in the d5 line file.
const Case kCases[] = {
    {"gcc-m3-O0-d3s", "gcc-m3-O0-d2s", Check::kSymLinLists, false},
    {"gcc-m3-O0-d4s", "gcc-m3-O0-d2s", Check::kSymLinLists, false},
    {"gcc-m3-O0-d5s", "gcc-m3-O0-d2s", Check::kSymLinLists, false},
    {"gcc-m3-O0-d4", "gcc-m3-O0-d2", Check::kSymLin, false},
    {"gcc-m3-O0-g", "gcc-m3-O0-d2", Check::kSymLin, false},
    {"gcc-m3-O0-d2", "gcc-m3-O0-d2s", Check::kUnits, false},
    {"gcc-m3-O2-d3s", "gcc-m3-O2-d2s", Check::kSymLinLists, false},
    {"gcc-m3-O2-d4s", "gcc-m3-O2-d2s", Check::kSymLinLists, false},
    {"gcc-m3-O2-d5s", "gcc-m3-O2-d2s", Check::kSymLinLists, true},
    {"gcc-m3-O2-d4", "gcc-m3-O2-d2", Check::kSymLin, false},
    {"gcc-m3-O2-g", "gcc-m3-O2-d2", Check::kSymLin, false},
    {"gcc-m3-O2-d2", "gcc-m3-O2-d2s", Check::kUnits, false},
    {"gcc-sh4be-O2-d3s", "gcc-sh4be-O2-d2s", Check::kSymLinLists, false},
    {"gcc-sh4be-O2-d4s", "gcc-sh4be-O2-d2s", Check::kSymLinLists, false},
    {"gcc-sh4be-O2-d5s", "gcc-sh4be-O2-d2s", Check::kSymLinLists, false},
    {"gcc-sh4be-O2-d4", "gcc-sh4be-O2-d2", Check::kSymLin, false},
    {"gcc-sh4be-O2-g", "gcc-sh4be-O2-d2", Check::kSymLin, false},
    {"gcc-sh4be-O2-d2", "gcc-sh4be-O2-d2s", Check::kUnits, false},
    {"clang-m3-O0-d4", "clang-m3-O0-d2", Check::kSymLin, false},
    {"clang-m3-O0-d5", "clang-m3-O0-d2", Check::kSymLin, true},
    {"clang-m3-O2-d4", "clang-m3-O2-d2", Check::kSym, false},
    {"clang-m3-O2-d5", "clang-m3-O2-d2", Check::kSym, false},
    {"clang-m3-O0-d2", "", Check::kDwarfdump, false},
    {"clang-m3-O2-d2", "", Check::kDwarfdump, false},
};

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

bool starts_with(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Where two line lists first differ, as "LINE: 'reference' / 'build'"; empty when equal.
std::string first_difference(const std::vector<std::string>& ref, const std::vector<std::string>& got) {
    for (size_t i = 0; i < ref.size() || i < got.size(); ++i) {
        const std::string r = i < ref.size() ? ref[i] : "<end>";
        const std::string g = i < got.size() ? got[i] : "<end>";
        if (r != g) return "line " + std::to_string(i + 1) + ": '" + r + "' / '" + g + "'";
    }
    return {};
}

// Where two SYM files first differ, allowing in the reference the error of
// GCC's strict DWARF 2 lists in a unit with code in two sections: a fstart,
// fend or floc line whose addresses (a floc's first two numbers in hex; the
// third is the register) are the build's plus the unit's start.
std::string first_list_difference(const std::vector<std::string>& ref, const std::vector<std::string>& got) {
    static const std::regex kAddress("0x([0-9A-F]+)");
    if (ref.size() != got.size()) return first_difference(ref, got);
    unsigned long unit_start = 0;
    bool in_unit = false;
    for (size_t i = 0; i < ref.size(); ++i) {
        const std::string& r = ref[i];
        if (r == "+ ident[UNIT]") in_unit = true;
        if (in_unit && starts_with(r, "+ fstart[")) {
            unit_start = std::stoul(r.substr(11), nullptr, 16);
            in_unit = false;
        }
        if (r == got[i]) continue;
        const bool address_line = starts_with(r, "+ fstart[") || starts_with(r, "+ fend[") || starts_with(r, "+ floc[");
        std::string shifted;
        auto from = got[i].cbegin();
        int addresses = 0;
        for (std::sregex_iterator m(got[i].begin(), got[i].end(), kAddress), end; m != end && addresses < 2; ++m, ++addresses) {
            shifted.append(from, got[i].cbegin() + m->position());
            char hex[24];
            std::snprintf(hex, sizeof hex, "0x%lX", std::stoul(m->str(1), nullptr, 16) + unit_start);
            shifted += hex;
            from = got[i].cbegin() + m->position() + m->length();
        }
        shifted.append(from, got[i].cend());
        if (!address_line || unit_start == 0 || shifted != r) return first_difference({r}, {got[i]}) + " (line " + std::to_string(i + 1) + ")";
    }
    return {};
}

// The file without the lines that name the command and the DWARF version.
std::vector<std::string> comparable(const std::string& text) {
    std::vector<std::string> kept;
    for (const std::string& line : lines_of(text)) {
        if (!starts_with(line, "/usage:") && !starts_with(line, "/Dwarf-Version")) kept.push_back(line);
    }
    return kept;
}

// "name fstart fend" of every UNIT record of a SYM file.
std::vector<std::string> unit_ranges(const std::string& sym) {
    std::vector<std::string> units;
    std::string name, start;
    bool unit = false;
    for (const std::string& line : lines_of(sym)) {
        const std::string value = line.substr(line.find('[') + 1, line.size() - line.find('[') - 2);
        if (starts_with(line, ": ")) unit = false;
        if (starts_with(line, "+ name[")) name = value;
        if (line == "+ ident[UNIT]") unit = true;
        if (starts_with(line, "+ fstart[")) start = value;
        if (unit && starts_with(line, "+ fend[")) units.push_back(name + " " + start + " " + value);
    }
    return units;
}

// The line records of a LIN file, each as "file address line".
std::vector<std::string> lin_rows(const std::string& lin) {
    std::vector<std::string> rows;
    std::string file;
    for (const std::string& line : lines_of(lin)) {
        if (line.size() > 7 && line.compare(1, 6, "****  ") == 0) file = line.substr(7);
        if (line.size() > 2 && (line[0] == '+' || line[0] == '>') && line[1] == '0') {
            rows.push_back(file + " " + line.substr(1, 10) + " " + std::to_string(std::stoul(line.substr(11))));
        }
    }
    return rows;
}

// The same rows derived from llvm-dwarfdump's decoding of every opcode
// (`--debug-line -v`), kept as a line file keeps them: per file selection
// and sequence end (after which the file is 1 again), one row per line at
// its first address (special opcodes that move the line backwards record
// nothing; a copy row at another address is kept as well), then the end row on the line after the
// highest, unless a row already holds the end address.
std::vector<std::string> dwarfdump_rows(const std::string& dump) {
    static const std::regex kOpcode(R"(^0x[0-9a-f]+: [0-9a-f]{2} (.*)$)");
    static const std::regex kRow(R"(^\s+0x([0-9a-f]+)\s+(\d+)\s)");
    static const std::regex kFileEntry(R"(^file_names\[\s*(\d+)\]:)");
    static const std::regex kName(R"re(^\s+name: "(.*)")re");
    std::vector<std::string> rows;
    std::map<uint32_t, std::string> files;
    std::map<uint32_t, uint32_t> slots;  // line -> first address
    std::vector<std::pair<uint32_t, uint32_t>> extra;  // (line, address) of further copy rows
    std::string file;
    uint32_t entry = 0;
    enum { kNone, kCopy, kSpecial, kEnd } pending = kNone;
    auto hex = [](uint32_t v) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%08X", v);
        return std::string(text);
    };
    auto flush = [&] {
        for (const auto& [line, address] : slots) {
            rows.push_back(file + " " + hex(address) + " " + std::to_string(line));
            for (const auto& [l, a] : extra) {
                if (l == line && a != address) rows.push_back(file + " " + hex(a) + " " + std::to_string(line));
            }
        }
        slots.clear();
        extra.clear();
    };
    std::smatch m;
    for (const std::string& line : lines_of(dump)) {
        if (starts_with(line, "debug_line[")) {
            slots.clear();
            extra.clear();
            files.clear();
        } else if (std::regex_search(line, m, kFileEntry)) {
            entry = static_cast<uint32_t>(std::stoul(m[1]));
        } else if (std::regex_search(line, m, kName)) {
            std::string name = m[1];
            size_t cut = name.find_last_of('/');
            if (cut == std::string::npos) cut = name.find_last_of('\\');
            files[entry] = cut == std::string::npos ? name : name.substr(cut + 1);
        } else if (starts_with(line, "            Address")) {
            file = files[1];
        } else if (std::regex_search(line, m, kOpcode)) {
            const std::string op = m[1];
            pending = kNone;
            if (starts_with(op, "DW_LNS_copy")) pending = kCopy;
            if (starts_with(op, "DW_LNE_end_sequence")) pending = kEnd;
            if (starts_with(op, "address += ") && op.find("line += -") == std::string::npos) pending = kSpecial;
            if (starts_with(op, "DW_LNS_set_file (")) {
                flush();
                file = files[static_cast<uint32_t>(std::stoul(op.substr(17)))];
            }
        } else if (std::regex_search(line, m, kRow) && pending != kNone) {
            const uint32_t address = static_cast<uint32_t>(std::stoull(m[1], nullptr, 16));
            const uint32_t number = static_cast<uint32_t>(std::stoul(m[2]));
            if (pending == kEnd) {
                bool held = false;
                for (const auto& slot : slots) held = held || slot.second == address;
                if (!slots.empty() && !held) slots[slots.rbegin()->first + 1] = address;
                flush();
                file = files[1];  // a new sequence starts in file 1
            } else if (number != 0 && !slots.count(number)) {
                slots[number] = address;
            } else if (number != 0 && pending == kCopy && slots[number] != address) {
                extra.push_back({number, address});
            }
            pending = kNone;
        }
    }
    return rows;
}

struct Converted {
    RunResult run;
    std::string problem;  // exit code or warning; empty when clean
};

const Converted& convert(std::map<std::string, Converted>& cache, const std::string& build) {
    auto it = cache.find(build);
    if (it != cache.end()) return it->second;
    Converted c;
    const std::vector<uint8_t> input = read_file_bytes(data_path("compilers/" + build + ".elf"));
    if (input.empty()) {
        c.problem = build + ".elf missing";
    } else {
        c.run = run_in_memory({"t.elf"}, "t.elf", input);
        const size_t warning = c.run.console.find("warning: ");
        if (c.run.exit_code != 0) {
            c.problem = build + " exits " + std::to_string(c.run.exit_code);
        } else if (warning != std::string::npos) {
            c.problem = build + ": " + c.run.console.substr(warning, c.run.console.find('\n', warning) - warning);
        }
    }
    return cache.emplace(build, std::move(c)).first->second;
}

// Why the case does not hold; empty when it does.
std::string check_case(const Case& c, std::map<std::string, Converted>& cache) {
    const Converted& got = convert(cache, c.build);
    if (!got.problem.empty()) return got.problem;
    if (c.check == Check::kDwarfdump) {
        bool ok = false;
        const std::string dump = run_command(
            std::string("llvm-dwarfdump --debug-line -v '") + data_path("compilers/") + c.build + ".elf' 2>/dev/null", &ok);
        if (!ok) return "llvm-dwarfdump failed";
        const std::string diff = first_difference(dwarfdump_rows(dump), lin_rows(got.run.text("t.LIN")));
        return diff.empty() ? diff : "LIN row " + diff;
    }
    const Converted& ref = convert(cache, c.reference);
    if (!ref.problem.empty()) return ref.problem;
    if (c.check == Check::kUnits) {
        const std::string diff = first_difference(unit_ranges(ref.run.text("t.SYM")), unit_ranges(got.run.text("t.SYM")));
        return diff.empty() ? diff : "UNIT " + diff;
    }
    std::string diff = c.check == Check::kSymLinLists
                           ? first_list_difference(comparable(ref.run.text("t.SYM")), comparable(got.run.text("t.SYM")))
                           : first_difference(comparable(ref.run.text("t.SYM")), comparable(got.run.text("t.SYM")));
    if (!diff.empty()) return "SYM " + diff;
    if (c.check != Check::kSym) {
        diff = first_difference(comparable(ref.run.text("t.LIN")), comparable(got.run.text("t.LIN")));
        if (!diff.empty()) return "LIN " + diff;
    }
    return {};
}

TEST(CompilerFixtures, BuildsOfOneFirmwareConvertAlike) {
    const bool have_dwarfdump = have_tool("llvm-dwarfdump");
    std::map<std::string, Converted> cache;
    std::ostringstream summary;
    for (const Case& c : kCases) {
        if (c.check == Check::kDwarfdump && !have_dwarfdump) continue;
        const std::string problem = check_case(c, cache);
        const std::string name = std::string(c.build) + (*c.reference ? std::string(" vs ") + c.reference : " vs llvm-dwarfdump");
        summary << (problem.empty() ? "  holds  " : "  differs ") << name << (problem.empty() ? "" : ": ") << problem
                << "\n";
        if (c.known_failure) {
            EXPECT_FALSE(problem.empty()) << name << " holds now: clear its known_failure flag";
        } else {
            EXPECT_TRUE(problem.empty()) << name << ": " << problem;
        }
    }
    std::cout << "Compiler fixtures:\n" << summary.str();
}

}  // namespace
