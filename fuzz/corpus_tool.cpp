// Writes the fuzzers' seed corpora and the crafted trap files.
//
//   morvik_fuzz_corpus seeds DIR FILE...   seeds of every target from each
//                                          ELF file and the sample program,
//                                          in DIR/<target>/
//   morvik_fuzz_corpus traps DIR           the crafted trap files, in DIR
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/session.h"
#include "fuzz_targets.h"
#include "sample_dwarf.h"
#include "traps.h"

namespace fs = std::filesystem;

namespace {

void write_file(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int write_seeds(const fs::path& dir, int argc, char** argv) {
    struct Source {
        std::string name;
        std::vector<uint8_t> bytes;
    };
    std::vector<Source> sources;
    for (int i = 0; i < argc; ++i) {
        std::ifstream f(argv[i], std::ios::binary);
        sources.push_back({fs::path(argv[i]).filename().string(),
                           std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>())});
    }
    for (uint8_t machine = 0; machine < 8; ++machine) {
        for (bool big : {false, true}) {
            std::string name = "sample-" + std::to_string(machine) + (big ? "-be" : "-le");
            sources.push_back({name, sample_image(big, machine_of(machine))});
        }
    }
    for (const FuzzTarget& target : fuzz_targets()) {
        const fs::path out = dir / target.name;
        fs::create_directories(out);
        size_t written = 0;
        for (const Source& source : sources) {
            Session file;
            read_seed_file(file, source.bytes);
            Seeds seeds;
            target.seeds_from(file, seeds);
            for (size_t k = 0; k < seeds.size(); ++k) {
                if (seeds[k].size() > target.max_len) continue;
                write_file(out / (source.name + "-" + std::to_string(k)), seeds[k]);
                ++written;
            }
        }
        std::printf("%s: %zu seeds in %s\n", target.name, written, out.string().c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 2 ? argv[1] : "";
    if (command == "seeds") return write_seeds(argv[2], argc - 3, argv + 3);
    if (command == "traps") {
        fs::create_directories(argv[2]);
        for (const Trap& t : crafted_traps()) write_file(fs::path(argv[2]) / t.name, t.bytes);
        return 0;
    }
    std::fprintf(stderr, "usage: morvik_fuzz_corpus seeds DIR FILE... | traps DIR\n");
    return 2;
}
