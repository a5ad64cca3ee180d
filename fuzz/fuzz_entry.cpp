// The libFuzzer entry of one target, named by MORVIK_FUZZ_TARGET.
#include <cstddef>
#include <cstdint>

#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const FuzzTarget* const target = find_fuzz_target(MORVIK_FUZZ_TARGET);
    run_fuzz_case(target->prepare(FuzzBytes{data, size}));
    return 0;
}
