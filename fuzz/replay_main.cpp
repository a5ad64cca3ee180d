// Plain main() for one target (MORVIK_FUZZ_TARGET), for any compiler: runs
// the target on each file named, or on every file of each folder named, so
// fuzzer findings replay as ordinary programs and tests.
//
//   morvik_fuzz_<target>_replay [-elf DIR] PATH...
//
// Prints one line per input: its name, the exit code and the options.
// With -elf, also writes the ELF image the target built for each input to
// DIR/<input name>.elf, ready for the regression corpus.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_targets.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> read_bytes(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    std::error_code ec;
    const uintmax_t size = fs::file_size(path, ec);
    std::vector<uint8_t> bytes(ec ? 0 : static_cast<size_t>(size));
    f.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(f.gcount()));
    return bytes;
}

void replay(const FuzzTarget& target, const fs::path& path, const std::string& elf_dir) {
    std::vector<uint8_t> bytes = read_bytes(path);
    FuzzCase c = target.prepare(FuzzBytes{bytes.data(), bytes.size()});
    const int code = run_fuzz_case(c);
    std::string options;
    for (const std::string& a : fuzz_arguments(c.options, c.allowed)) options += " " + a;
    std::printf("%s: exit %d, options%s\n", path.filename().string().c_str(), code, options.c_str());
    if (!elf_dir.empty()) {
        std::ofstream out(fs::path(elf_dir) / (path.filename().string() + ".elf"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(c.image.data()), static_cast<std::streamsize>(c.image.size()));
    }
}

}  // namespace

int main(int argc, char** argv) {
    const FuzzTarget* target = find_fuzz_target(MORVIK_FUZZ_TARGET);
    std::string elf_dir;
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-elf" && i + 1 < argc) {
            elf_dir = argv[++i];
            fs::create_directories(elf_dir);
            continue;
        }
        std::vector<fs::path> files;
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            for (const auto& e : fs::directory_iterator(arg)) {
                if (e.is_regular_file()) files.push_back(e.path());
            }
            std::sort(files.begin(), files.end());
        } else {
            files.push_back(arg);
        }
        for (const fs::path& f : files) {
            replay(*target, f, elf_dir);
            ++replayed;
        }
    }
    std::printf("%s: replayed %d inputs\n", target->name, replayed);
    return 0;
}
