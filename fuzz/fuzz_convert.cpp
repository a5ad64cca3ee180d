// libFuzzer target: one whole conversion in memory per input.
//
// The first byte chooses the options (-d -a -g -i -f -r -l -m, one bit
// each); the rest is the ELF image. Every run builds a fresh Session, so no
// state survives from one input to the next.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "common/session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const char* const kOptions[] = {"-d", "-a", "-g", "-i", "-f", "-r", "-l", "-m"};
    std::vector<const char*> argv = {"morvik"};
    for (int bit = 0; bit < 8; ++bit) {
        if (data[0] & (1u << bit)) argv.push_back(kOptions[bit]);
    }
    argv.push_back("fuzz.abs");
    Session s;
    s.console.to_memory = true;
    s.files.in_memory = true;
    s.files.memory_files["fuzz.abs"] = std::string(reinterpret_cast<const char*>(data + 1), size - 1);
    run_morvik(s, static_cast<int>(argv.size()), argv.data());
    return 0;
}
