// Reading the input whole (one piece, two halves at once, or mapped) gives its bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <csignal>
#include <cstdlib>
#include <fstream>

#include "common/platform_file.h"

namespace {

TEST(PlatformFile, InputReadWholeOnOneOrTwoThreads) {
    namespace fs = std::filesystem;
    const fs::path path = fs::temp_directory_path() / ("morvik-read-" + std::to_string(current_process_id()) + ".bin");
    for (size_t size : {size_t{0}, size_t{4097}, (size_t{5} << 20) + 3}) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131) >> 3);
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
        for (unsigned threads : {1u, 2u}) {
            ImageBytes image;
            int error = 0;
            ASSERT_EQ(read_regular_file(path.string(), uint64_t{1} << 32, image, error, threads), InputStatus::kRead);
            EXPECT_TRUE(std::string(image.begin(), image.end()) == bytes) << size << " bytes, threads " << threads;
        }
    }
    fs::remove(path);
}

}  // namespace

#if !defined(_WIN32)
// The program maps its input; a file cut short under it ends the run with
// 128 + SIGBUS, after removing the temporary outputs, instead of a crash.
TEST(PlatformFileDeathTest, InputCutShortWhileMappedEndsTheRunCleanly) {
    namespace fs = std::filesystem;
    const std::string stem = (fs::temp_directory_path() / ("morvik-cut-" + std::to_string(current_process_id()))).string();
    const std::string input = stem + ".elf", part = stem + ".SYM.part";
    std::ofstream(input, std::ios::binary) << std::string(256 * 1024, 'x');
    std::ofstream(part) << "partial";
    EXPECT_EXIT(
        {
            arm_interrupt_cleanup();
            track_temporary_file(part);
            ImageBytes image;
            int error = 0;
            if (read_regular_file(input, uint64_t{1} << 32, image, error) != InputStatus::kRead || !image.is_view())
                std::_Exit(1);
            fs::resize_file(input, 0);
            volatile uint8_t last = image[image.size() - 1];
            (void)last;
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(128 + SIGBUS), "");
    EXPECT_FALSE(fs::exists(part));
    fs::remove(input);
    fs::remove(part);
}
#endif
