// Reading the input whole: one piece or two halves at once give its bytes.
#include <gtest/gtest.h>

#include <filesystem>
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
