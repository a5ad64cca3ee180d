// Damaged inputs: real fixtures cut at many lengths and with header fields,
// section offsets and sizes and DWARF bytes overwritten by extreme values.
// Every run must end quickly with the exit code its printed counts call
// for, and (in the sanitizer build) without a report; the symbol pass on
// two threads gives the same.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "driver/exit_check.h"
#include "support/run_helpers.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr double kSecondsPerRun = 10.0;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr double kSecondsPerRun = 10.0;
#else
constexpr double kSecondsPerRun = 1.0;
#endif
#else
constexpr double kSecondsPerRun = 1.0;
#endif

const std::vector<std::vector<std::string>> kOptionSets = {
    {}, {"-d"}, {"-a", "-g"}, {"-i", "-f"}, {"-r", "-l", "-m"}, {"-d", "-a", "-g", "-i", "-f"},
};

void run_one(const std::vector<uint8_t>& image, size_t variant, const std::string& what) {
    std::vector<std::string> args = kOptionSets[variant % kOptionSets.size()];
    args.push_back("in.abs");
    auto start = std::chrono::steady_clock::now();
    RunResult r = run_in_memory(args, "in.abs", image);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r.exit_code, exit_code_for(image, r.console)) << what;
    EXPECT_LT(seconds, kSecondsPerRun) << what;
    // One in three also on two threads, which must give the same.
    if (variant % 3 == 0) {
        const RunResult two = run_in_memory(args, "in.abs", image, 2);
        EXPECT_EQ(two.exit_code, r.exit_code) << what;
        EXPECT_EQ(two.console, r.console) << what;
        EXPECT_TRUE(two.files == r.files) << what;
    }
    // The input is never changed.
    ASSERT_TRUE(r.has("in.abs"));
    EXPECT_EQ(r.files.at("in.abs").size(), image.size()) << what;
}

uint32_t get32(const std::vector<uint8_t>& b, size_t at, bool big) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(b[at + i]) << (big ? 24 - 8 * i : 8 * i);
    return v;
}
uint16_t get16(const std::vector<uint8_t>& b, size_t at, bool big) {
    return static_cast<uint16_t>(big ? (b[at] << 8) | b[at + 1] : b[at] | (b[at + 1] << 8));
}
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v, bool big) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (big ? 24 - 8 * i : 8 * i));
}

struct SectionInfo {
    std::string name;
    size_t header;  // file offset of its section header
    uint32_t offset, size;
};

std::vector<SectionInfo> sections_of(const std::vector<uint8_t>& b) {
    std::vector<SectionInfo> out;
    bool big = b[5] == 2;
    uint32_t shoff = get32(b, 32, big);
    uint16_t shentsize = get16(b, 46, big), shnum = get16(b, 48, big), shstrndx = get16(b, 50, big);
    uint32_t strtab = get32(b, shoff + shstrndx * shentsize + 16, big);
    for (uint16_t i = 0; i < shnum; ++i) {
        size_t h = shoff + static_cast<size_t>(i) * shentsize;
        SectionInfo s;
        s.header = h;
        s.name = reinterpret_cast<const char*>(&b[strtab + get32(b, h, big)]);
        s.offset = get32(b, h + 16, big);
        s.size = get32(b, h + 20, big);
        out.push_back(s);
    }
    return out;
}

class Malformed : public ::testing::TestWithParam<const char*> {};

TEST_P(Malformed, CutAtManyLengths) {
    std::vector<uint8_t> img = read_file_bytes(data_path(GetParam()));
    if (img.empty()) GTEST_SKIP() << "fixture missing";
    const size_t kCuts = 240;
    for (size_t k = 0; k < kCuts; ++k) {
        size_t len = k < 80 ? k : img.size() * (k - 80) / (kCuts - 80);
        std::vector<uint8_t> cut(img.begin(), img.begin() + static_cast<std::ptrdiff_t>(len));
        run_one(cut, k, std::string(GetParam()) + " cut at " + std::to_string(len));
    }
}

TEST_P(Malformed, HeaderAndSectionFieldsOverwritten) {
    std::vector<uint8_t> img = read_file_bytes(data_path(GetParam()));
    if (img.empty()) GTEST_SKIP() << "fixture missing";
    bool big = img[5] == 2;
    const uint32_t extremes[] = {0, 1, 0x7F, 0x80, 0xFF, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF,
                                 static_cast<uint32_t>(img.size()), static_cast<uint32_t>(img.size() + 100)};
    size_t variant = 0;
    // ELF header fields: e_phoff, e_shoff, and the 2-byte counts and sizes (written as 4 bytes over pairs).
    for (size_t at : {28u, 32u, 40u, 44u, 48u}) {
        for (uint32_t v : extremes) {
            std::vector<uint8_t> b = img;
            put32(b, at, v, big);
            run_one(b, variant++, std::string(GetParam()) + " header@" + std::to_string(at));
        }
    }
    // Offsets and sizes of every debug section.
    for (const SectionInfo& s : sections_of(img)) {
        if (s.name.rfind(".debug", 0) != 0 && s.name != ".data" && s.name != ".text") continue;
        for (size_t field : {16u, 20u}) {
            for (uint32_t v : extremes) {
                std::vector<uint8_t> b = img;
                put32(b, s.header + field, v, big);
                run_one(b, variant++, std::string(GetParam()) + " " + s.name + " field " + std::to_string(field));
            }
        }
    }
}

TEST_P(Malformed, DwarfBytesOverwritten) {
    std::vector<uint8_t> img = read_file_bytes(data_path(GetParam()));
    if (img.empty()) GTEST_SKIP() << "fixture missing";
    std::mt19937 rng(1234);
    const uint8_t values[] = {0x00, 0x01, 0x7F, 0x80, 0xFF};
    size_t variant = 0;
    for (const SectionInfo& s : sections_of(img)) {
        if (s.name.rfind(".debug", 0) != 0 || s.size == 0) continue;
        // The first bytes hold unit and program headers; beyond them, positions spread over the section.
        std::vector<size_t> positions;
        for (size_t i = 0; i < 40 && i < s.size; ++i) positions.push_back(i);
        for (int i = 0; i < 40; ++i) positions.push_back(rng() % s.size);
        for (size_t p : positions) {
            uint8_t v = values[(p + variant) % 5];
            std::vector<uint8_t> b = img;
            b[s.offset + p] = v;
            // A few also get a run of 0xFF (runaway LEB128s, huge lengths).
            if (p % 7 == 0) {
                for (size_t k = 0; k < 8 && s.offset + p + k < b.size(); ++k) b[s.offset + p + k] = 0xFF;
            }
            run_one(b, variant++, std::string(GetParam()) + " " + s.name + "+" + std::to_string(p));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Malformed,
                         ::testing::Values("arm_le.elf", "arm_be.elf", "arm_o2.elf", "sh4.elf", "sh4_be.elf"));

}  // namespace
