// Line files of the real compiler outputs, checked against objdump's own
// decoding of .debug_line.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <utility>

#include "support/run_helpers.h"

namespace {

const char* const kFixtures[] = {"arm_le.elf", "arm_be.elf", "arm_o2.elf", "sh4.elf", "sh4_be.elf"};

struct Row {
    uint32_t address;
    uint32_t line;
    bool operator<(const Row& o) const { return address != o.address ? address < o.address : line < o.line; }
};

// Line records ("+0x..." and ">0x...") of a line file.
std::vector<Row> records_of(const std::string& text) {
    std::vector<Row> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() < 3 || (line[0] != '+' && line[0] != '>') || line[1] != '0') continue;
        rows.push_back({static_cast<uint32_t>(std::stoul(line.substr(1, 10), nullptr, 16)),
                        static_cast<uint32_t>(std::stoul(line.substr(11)))});
    }
    return rows;
}

// The text after the header lines (the usage line differs between runs).
std::string body_of(const std::string& text) {
    size_t at = text.find("/Dwarf-Version[");
    return at == std::string::npos ? text : text.substr(at);
}

uint32_t printed_lines(const std::string& console) {
    size_t at = console.find("lines=");
    return at == std::string::npos ? 0 : static_cast<uint32_t>(std::stoul(console.substr(at + 6)));
}

TEST(LineFixtures, LineCountMatchesTheRecordsAndTraceChangesNothing) {
    for (const char* name : kFixtures) {
        std::vector<uint8_t> input = read_file_bytes(data_path(name));
        ASSERT_FALSE(input.empty()) << name;
        RunResult traced = run_in_memory({"t.elf", "-d"}, "t.elf", input);
        RunResult plain = run_in_memory({"t.elf"}, "t.elf", input);
        ASSERT_TRUE(traced.has("t.LXX")) << name;
        EXPECT_FALSE(plain.has("t.LXX")) << name;
        ASSERT_TRUE(plain.has("t.LIN")) << name;
        const uint32_t count = printed_lines(plain.console);
        EXPECT_GT(count, 0u) << name;
        EXPECT_EQ(records_of(traced.text("t.LXX")).size(), count) << name;
        EXPECT_EQ(printed_lines(traced.console), count) << name;
        EXPECT_EQ(body_of(traced.text("t.LIN")), body_of(plain.text("t.LIN"))) << name;
        EXPECT_EQ(traced.text("t.LIN").find("/Dwarf-Version[2]\n"), plain.text("t.LIN").find("/Dwarf-Version[2]\n") + 3)
            << name;  // " -d" in the usage line
        EXPECT_EQ(plain.console.find("warning: "), std::string::npos) << name;

        // -i keeps each line once per flush, so the LIN file has no more rows.
        RunResult inl = run_in_memory({"t.elf", "-i"}, "t.elf", input);
        EXPECT_LE(printed_lines(inl.console), count) << name;
        EXPECT_EQ(inl.text("t.LIN").find("/InlineDel=OFF"), std::string::npos) << name;
    }
}

TEST(LineFixtures, EveryRecordIsARowObjdumpDecodes) {
    if (!have_tool("objdump")) GTEST_SKIP() << "objdump is not installed";
    for (const char* name : kFixtures) {
        bool ok = false;
        std::string dump = run_command("objdump --dwarf=decodedline '" + data_path(name) + "' 2>/dev/null", &ok);
        ASSERT_TRUE(ok) << name;
        std::set<Row> rows;
        std::set<uint32_t> sequence_ends;
        std::istringstream in(dump);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string file, number, address;
            if (!(fields >> file >> number >> address) || address.rfind("0x", 0) != 0) continue;
            uint32_t a = static_cast<uint32_t>(std::stoul(address, nullptr, 16));
            if (number == "-") {
                sequence_ends.insert(a);
            } else if (number.find_first_not_of("0123456789") == std::string::npos) {
                rows.insert({a, static_cast<uint32_t>(std::stoul(number))});
            }
        }
        ASSERT_FALSE(rows.empty()) << name;

        for (bool inline_del : {false, true}) {
            std::vector<std::string> args = {"t.elf"};
            if (inline_del) args.push_back("-i");
            RunResult r = run_in_memory(args, "t.elf", read_file_bytes(data_path(name)));
            std::vector<Row> lin = records_of(r.text("t.LIN"));
            ASSERT_FALSE(lin.empty()) << name;
            size_t end_rows = 0;
            for (const Row& row : lin) {
                if (rows.count(row)) continue;
                // The one row a sequence end adds: the line after the highest,
                // at the address where the sequence ends.
                EXPECT_TRUE(sequence_ends.count(row.address))
                    << name << ": 0x" << std::hex << row.address << std::dec << " line " << row.line;
                ++end_rows;
            }
            EXPECT_LE(end_rows, sequence_ends.size()) << name;
        }
    }
}

}  // namespace
