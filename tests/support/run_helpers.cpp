#include "support/run_helpers.h"

#include <cstdio>
#include <algorithm>
#include <fstream>
#include <unistd.h>
#include <iterator>

#include "driver/driver.h"
#include "common/session.h"

std::string lf_text(const std::string& crlf) {
    std::string t;
    t.reserve(crlf.size());
    for (size_t i = 0; i < crlf.size(); ++i) {
        if (crlf[i] == '\r' && i + 1 < crlf.size() && crlf[i + 1] == '\n') continue;
        t += crlf[i];
    }
    return t;
}

size_t count_of(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

std::string RunResult::text(const std::string& name) const {
    auto it = files.find(name);
    return it == files.end() ? std::string() : lf_text(it->second);
}

RunResult run_in_memory(const std::vector<std::string>& args, const std::string& input_name,
                        const std::vector<uint8_t>& input, unsigned threads) {
    Session s;
    s.console.to_memory = true;
    s.files.in_memory = true;
    if (!input_name.empty()) s.files.memory_files[input_name] = std::string(input.begin(), input.end());
    std::vector<const char*> argv;
    argv.push_back("morvik");
    for (const std::string& a : args) argv.push_back(a.c_str());
    RunResult r;
    r.exit_code = run_morvik(s, static_cast<int>(argv.size()), argv.data(), threads);
    r.console = s.console.text;
    r.files = s.files.memory_files;
    return r;
}

std::vector<uint8_t> read_file_bytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return {};
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string data_path(const std::string& name) { return std::string(MORVIK_TEST_DATA) + "/" + name; }

std::string run_command(const std::string& command, bool* ok) {
    std::string out;
    std::FILE* p = popen(command.c_str(), "r");
    if (!p) {
        if (ok) *ok = false;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int rc = pclose(p);
    if (ok) *ok = rc == 0;
    return out;
}

bool have_tool(const std::string& name) {
    bool ok = false;
    run_command("command -v " + name + " >/dev/null 2>&1", &ok);
    return ok;
}

TempDir::TempDir() {
    char tmpl[] = "/tmp/morvik-test-XXXXXX";
    const char* made = mkdtemp(tmpl);
    path = made ? made : "/tmp";
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, ec);
    if (path != "/tmp") std::filesystem::remove_all(path, ec);
}

void TempDir::write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::ofstream f(path / name, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> TempDir::files() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
