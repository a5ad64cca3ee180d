// Whole conversions in memory: arguments and input bytes in; console text,
// output files and exit code out. Nothing touches the disk.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

struct RunResult {
    int exit_code = 0;
    std::string console;
    std::map<std::string, std::string> files;  // every file left at the end, by name (input included)

    bool has(const std::string& name) const { return files.count(name) != 0; }
    // The file's text with CR LF turned into "\n" (empty when absent).
    std::string text(const std::string& name) const;
};

// Text with each CR LF shown as "\n".
std::string lf_text(const std::string& crlf);
// How often `part` occurs in `text`.
size_t count_of(const std::string& text, const std::string& part);

// Runs `morvik <args...>` with the input file `input_name` holding `input`,
// the symbol pass on `threads` threads.
RunResult run_in_memory(const std::vector<std::string>& args, const std::string& input_name,
                        const std::vector<uint8_t>& input, unsigned threads = 1);

// Reads a file from disk (a fixture); empty when missing.
std::vector<uint8_t> read_file_bytes(const std::string& path);
// Path of a fixture in tests/data.
std::string data_path(const std::string& name);
// Runs a shell command and returns its standard output; `ok` tells whether it exited 0.
std::string run_command(const std::string& command, bool* ok = nullptr);
bool have_tool(const std::string& name);

// A fresh folder under /tmp, removed with everything in it at the end.
struct TempDir {
    std::filesystem::path path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    void write(const std::string& name, const std::vector<uint8_t>& bytes) const;
    // The names of the files in it, sorted.
    std::vector<std::string> files() const;
};
