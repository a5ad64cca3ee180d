// SYM records read back: parse_records splits a SYM file into its records,
// convert runs a whole conversion in memory and parses its SYM file.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/fixture.h"

namespace symtest {

// One SYM record: the fields by label ("nest", "name", ...); floc rows in order.
struct Record {
    int index = -1;
    std::map<std::string, std::string> field;
    std::vector<std::string> floc;
    std::string text;  // the record as written, "\n" line ends
    const std::string& operator[](const std::string& key) const {
        static const std::string none = "<absent>";
        auto it = field.find(key);
        return it == field.end() ? none : it->second;
    }
    bool has(const std::string& key) const { return field.count(key) != 0; }
};

inline std::vector<Record> parse_records(const std::string& sym) {
    std::vector<Record> out;
    Record cur;
    bool open = false;
    size_t pos = 0;
    while (pos < sym.size()) {
        size_t nl = sym.find('\n', pos);
        if (nl == std::string::npos) nl = sym.size();
        std::string line = sym.substr(pos, nl - pos);
        pos = nl + 1;
        if (line.rfind(": index[", 0) == 0) {
            cur = Record{};
            cur.index = std::stoi(line.substr(8));
            open = true;
            cur.text = line + "\n";
            continue;
        }
        if (!open) continue;
        cur.text += line + "\n";
        if (line == "=") {
            out.push_back(cur);
            open = false;
        } else if (line.rfind("+ ", 0) == 0) {
            size_t lb = line.find('[');
            std::string key = line.substr(2, lb - 2);
            std::string value = line.substr(lb + 1, line.size() - lb - 2);
            if (key == "floc")
                cur.floc.push_back(value);
            else
                cur.field[key] = value;
        }
    }
    return out;
}

// Runs a conversion of `image` named t.elf with the given options and
// returns the SYM text ("\n" line ends) and the console.
struct Conversion {
    RunResult run;
    std::string sym;
    std::vector<Record> records;
    const Record* find(const std::string& name, size_t skip = 0) const {
        for (const Record& r : records)
            if (r["name"] == name && skip-- == 0) return &r;
        return nullptr;
    }
};

inline Conversion convert(const std::vector<uint8_t>& image, std::vector<std::string> options = {}) {
    options.push_back("t.elf");
    Conversion c;
    c.run = run_in_memory(options, "t.elf", image);
    c.sym = c.run.text("t.SYM");
    c.records = parse_records(c.sym);
    return c;
}

}  // namespace symtest
