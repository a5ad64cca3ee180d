// The location lists of the compiled fixtures, checked against readelf.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/dwarf_codes.h"
#include "locations/loc_list.h"
#include "support/fixture.h"

namespace {

struct Op {
    int code, op1, op2;
};
struct Entry {
    unsigned long offset = 0, begin = 0, end = 0;
    std::vector<Op> ops;
};
struct List {
    unsigned long start = 0, terminator = 0;
    std::vector<Entry> entries;
};

// One operation as readelf shows it, as the converter's (code, op1, op2).
bool parse_readelf_op(const std::string& t, Op& op) {
    int n = 0, v = 0;
    char tail = 0;
    if (std::sscanf(t.c_str(), "DW_OP_reg%d (r%*d%c", &n, &tail) == 2 && tail == ')') {
        op = {DW_OP_reg0 + n, 0, 0};
    } else if (std::sscanf(t.c_str(), "DW_OP_breg%d (r%*d): %d", &n, &v) == 2) {
        op = {DW_OP_breg0 + n, v, 0};
    } else if (std::sscanf(t.c_str(), "DW_OP_regx: %d", &n) == 1) {
        op = {DW_OP_regx, n, 0};
    } else if (std::sscanf(t.c_str(), "DW_OP_fbreg: %d", &v) == 1) {
        op = {DW_OP_fbreg, v, 0};
    } else if (std::sscanf(t.c_str(), "DW_OP_piece: %d", &n) == 1) {
        op = {DW_OP_piece, n, 0};
    } else {
        return false;
    }
    return true;
}

std::vector<List> parse_readelf_loc(const std::string& text) {
    std::vector<List> lists(1);
    std::istringstream in(text);
    std::string line;
    bool fresh = true;
    while (std::getline(in, line)) {
        unsigned long off = 0, b = 0, e = 0;
        if (line.find("<End of list>") != std::string::npos) {
            std::sscanf(line.c_str(), " %lx", &off);
            if (fresh) lists.back().start = off;
            lists.back().terminator = off;
            lists.emplace_back();
            fresh = true;
            continue;
        }
        if (std::sscanf(line.c_str(), " %lx %lx %lx (", &off, &b, &e) != 3) continue;
        Entry en;
        en.offset = off;
        en.begin = b;
        en.end = e;
        const std::string suffix = " (start == end)";
        if (line.size() > suffix.size() && line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0)
            line.resize(line.size() - suffix.size());
        size_t open = line.find('(');
        std::string ops = line.substr(open + 1, line.size() - open - 2);
        size_t p = 0;
        while (p <= ops.size()) {
            size_t q = ops.find("; ", p);
            std::string one = ops.substr(p, q == std::string::npos ? std::string::npos : q - p);
            Op op{};
            EXPECT_TRUE(parse_readelf_op(one, op)) << "unknown readelf operation: " << one;
            en.ops.push_back(op);
            if (q == std::string::npos) break;
            p = q + 2;
        }
        if (fresh) lists.back().start = off;
        fresh = false;
        lists.back().entries.push_back(en);
    }
    lists.pop_back();
    return lists;
}

// The low_pc of every compilation unit: the base addresses readelf adds.
std::set<unsigned long> unit_bases(const std::string& info) {
    std::set<unsigned long> bases = {0};
    std::istringstream in(info);
    std::string line;
    bool in_unit = false;
    while (std::getline(in, line)) {
        if (line.find("Abbrev Number") != std::string::npos) in_unit = line.find("DW_TAG_compile_unit") != std::string::npos;
        size_t at = line.find("DW_AT_low_pc");
        if (in_unit && at != std::string::npos) bases.insert(std::strtoul(line.substr(line.find(':', at) + 1).c_str(), nullptr, 16));
    }
    return bases;
}

// "/[0x%04X] beginning[0x%08X] ending[0x%08X] <op>" and "/[------] ... <op>" lines of the dump.
std::vector<Entry> parse_dump(const std::string& trace) {
    std::vector<Entry> out;
    std::istringstream in(trace);
    std::string line;
    while (std::getline(in, line)) {
        unsigned long off = 0, b = 0, e = 0;
        if (std::sscanf(line.c_str(), "/[0x%lx] beginning[0x%lx] ending[0x%lx] ", &off, &b, &e) == 3) {
            out.push_back({off, b, e, {}});
            out.back().ops.push_back({0, 0, 0});
        } else if (line.rfind("/[------] beginning[----------] ending[----------] ", 0) == 0 && !out.empty()) {
            out.back().ops.push_back({0, 0, 0});
        }
    }
    return out;
}

void check_fixture(const std::string& name) {
    SCOPED_TRACE(name);
    std::string path = data_path(name);
    std::vector<uint8_t> bytes = read_file_bytes(path);
    if (bytes.empty()) GTEST_SKIP() << name << " not built";

    Fixture f(bytes, true);
    Session& s = f.s;
    OutText& sym = f.out;
    dump_loc_section(s, sym);
    EXPECT_EQ(0u, f.warnings());

    bool ok = false;
    std::vector<List> lists = parse_readelf_loc(run_command("readelf --debug-dump=loc '" + path + "'", &ok));
    ASSERT_TRUE(ok);
    std::set<unsigned long> bases = unit_bases(run_command("readelf --debug-dump=info '" + path + "'"));
    ASSERT_FALSE(lists.empty());

    // The dump: one list header per list, one entry line per readelf entry, one line per operation.
    size_t headers = 0;
    for (size_t p = sym.data.find("/.debug_loc Section["); p != std::string::npos;
         p = sym.data.find("/.debug_loc Section[", p + 1))
        ++headers;
    EXPECT_EQ(lists.size(), headers);
    std::vector<Entry> dumped = parse_dump(sym.data);
    size_t k = 0;
    for (const List& list : lists) {
        long base = -1;
        for (const Entry& want : list.entries) {
            ASSERT_LT(k, dumped.size());
            const Entry& got = dumped[k++];
            EXPECT_EQ(want.offset, got.offset);
            EXPECT_EQ(want.ops.size(), got.ops.size()) << "entry at " << want.offset;
            // readelf shows begin and end with the unit's base address added; the dump reads with base 0.
            unsigned long delta = (want.begin - got.begin) & 0xFFFFFFFFul;
            EXPECT_EQ(delta, (want.end - got.end) & 0xFFFFFFFFul) << "entry at " << want.offset;
            if (base < 0) {
                base = static_cast<long>(delta);
                EXPECT_EQ(1u, bases.count(delta)) << "entry at " << want.offset;
            }
            EXPECT_EQ(static_cast<unsigned long>(base), delta) << "entry at " << want.offset;
        }

        // The list reader of the walk, with that base: rows as readelf decodes the operations.
        LocRows e;
        uint32_t b = base < 0 ? 0 : static_cast<uint32_t>(base);
        size_t after = read_loc_list(s, sym, b, e, list.start);
        EXPECT_EQ(list.terminator + 8, after);
        int row = 0;
        for (const Entry& want : list.entries) {
            int seq = 0;
            for (const Op& op : want.ops) {
                if (row >= kLocRows) break;
                EXPECT_EQ(seq, e.seq[row]);
                EXPECT_EQ(want.begin, static_cast<uint32_t>(e.begin[row]));
                EXPECT_EQ(want.end, static_cast<uint32_t>(e.end[row]));
                EXPECT_EQ(op.code, e.code[row]) << "entry at " << want.offset;
                EXPECT_EQ(op.op1, e.op1[row]) << "entry at " << want.offset;
                EXPECT_EQ(op.op2, e.op2[row]);
                ++seq;
                ++row;
            }
        }
    }
    EXPECT_EQ(k, dumped.size());
}

TEST(LocFixture, ListsMatchReadelf) {
    if (!have_tool("readelf")) GTEST_SKIP() << "readelf not installed";
    for (const char* name : {"arm_o2.elf", "arm_le.elf", "arm_be.elf", "sh4.elf", "sh4_be.elf"}) check_fixture(name);
}

// Texts of a few operations of arm_o2.elf, checked by hand against readelf:
//   00000000 00000054 0000005a (DW_OP_breg13 (r13): 0)   base 0x40
//   00000020 00000072 0000007a (DW_OP_reg3 (r3))
TEST(LocFixture, ArmO2DumpText) {
    std::vector<uint8_t> bytes = read_file_bytes(data_path("arm_o2.elf"));
    if (bytes.empty()) GTEST_SKIP() << "arm_o2.elf not built";
    Fixture f(bytes, true);
    dump_loc_section(f.s, f.out);
    EXPECT_EQ(0u, f.out.data.find("/.debug_loc Section[0]\r\n"
                                "/[0x0000] beginning[0x00000014] ending[0x0000001A] DW_OP_bregn(0x7D)[0]   @(.0+R13)\r\n"
                                "/[0x000C] beginning[0x0000001A] ending[0x00000074] DW_OP_bregn(0x7D)[8]   @(.8+R13)\r\n"
                                "/.debug_loc Section[1]\r\n"
                                "/[0x0020] beginning[0x00000032] ending[0x0000003A] DW_OP_regn(0x53)        R3\r\n"));
}

}  // namespace
