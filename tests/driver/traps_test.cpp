// The regression corpus in tests/data/malformed: crafted traps of DWARF and
// ELF readers and fuzzer findings. Its README holds one table row per file
// with the options, the exact exit code and the exact warnings.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "driver/exit_check.h"
#include "support/run_helpers.h"

namespace {

struct Row {
    std::string file;
    std::vector<std::string> options;
    int exit_code = 0;
    std::vector<std::string> warnings;
};

std::vector<std::string> cells_of(const std::string& line) {
    std::vector<std::string> cells;
    std::stringstream in(line.substr(1));
    std::string cell;
    while (std::getline(in, cell, '|')) {
        const size_t first = cell.find_first_not_of(' ');
        const size_t last = cell.find_last_not_of(' ');
        cells.push_back(first == std::string::npos ? std::string() : cell.substr(first, last - first + 1));
    }
    return cells;
}

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + separator.size())
        parts.push_back(text.substr(from, at - from));
    parts.push_back(text.substr(from));
    return parts;
}

// The table rows of the README: file, options, exit code, warnings, what.
std::vector<Row> corpus_rows() {
    std::ifstream readme(data_path("malformed/README.md"));
    std::vector<Row> rows;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("| ", 0) != 0) continue;
        std::vector<std::string> cells = cells_of(line);
        if (cells.size() != 5 || cells[0] == "file" || cells[2].find_first_of("0123456789") == std::string::npos)
            continue;
        Row r;
        r.file = cells[0];
        for (const std::string& o : split(cells[1], " ")) {
            if (!o.empty()) r.options.push_back(o);
        }
        r.exit_code = std::stoi(cells[2]);
        if (cells[3] != "none") r.warnings = split(cells[3], "<br>");
        rows.push_back(r);
    }
    return rows;
}

std::vector<std::string> warnings_of(const std::string& console) {
    std::vector<std::string> found;
    std::stringstream in(console);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("warning: ", 0) == 0) found.push_back(line.substr(9));
    }
    return found;
}

TEST(RegressionCorpus, EveryFileHasARowAndEveryRowAFile) {
    std::vector<std::string> files, listed;
    for (const auto& e : std::filesystem::directory_iterator(data_path("malformed"))) {
        if (e.path().extension() != ".md") files.push_back(e.path().filename().string());
    }
    for (const Row& r : corpus_rows()) listed.push_back(r.file);
    std::sort(files.begin(), files.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_GE(listed.size(), 14u);
    EXPECT_EQ(files, listed);
}

TEST(RegressionCorpus, ExactExitCodeAndWarnings) {
    for (const Row& row : corpus_rows()) {
        SCOPED_TRACE(row.file);
        const std::vector<uint8_t> input = read_file_bytes(data_path("malformed/" + row.file));
        std::vector<std::string> args = row.options;
        args.push_back("in.abs");
        RunResult r = run_in_memory(args, "in.abs", input);
        EXPECT_EQ(r.exit_code, row.exit_code);
        EXPECT_EQ(warnings_of(r.console), row.warnings) << r.console.substr(0, 2000);
    }
}

// Under other option sets the warnings may differ; the exit code must still
// agree with the counts, quickly, and the input stays as it was.
TEST(RegressionCorpus, EveryOptionSetEndsConsistently) {
    const std::vector<std::vector<std::string>> option_sets = {
        {}, {"-d"}, {"-a", "-g"}, {"-i", "-f"}, {"-r", "-l", "-m"}, {"-d", "-a", "-g", "-i", "-f"},
    };
    for (const Row& row : corpus_rows()) {
        const std::vector<uint8_t> input = read_file_bytes(data_path("malformed/" + row.file));
        for (std::vector<std::string> args : option_sets) {
            SCOPED_TRACE(row.file + " with " + std::to_string(args.size()) + " options");
            args.push_back("in.abs");
            const auto start = std::chrono::steady_clock::now();
            RunResult r = run_in_memory(args, "in.abs", input);
            EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
            EXPECT_EQ(r.exit_code, exit_code_for(input, r.console));
            if (!input.empty()) {
                EXPECT_EQ(r.files["in.abs"].size(), input.size());
            }
        }
    }
}

}  // namespace
