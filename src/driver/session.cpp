#include "driver/session.h"

#include <cstdio>

#include "lines/line_state.h"
#include "locations/loc_state.h"
#include "symbols/symbol_table.h"

Session::Session()
    : sym(std::make_unique<SymbolState>()),
      loc(std::make_unique<LocationState>()),
      lines(std::make_unique<LineState>()) {}

Session::~Session() = default;

void console_print_always(Session& s, std::string_view text) {
    if (s.console.to_memory) {
        s.console.text.append(text.data(), text.size());
    } else {
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
}

void console_print(Session& s, std::string_view text) {
    if (!s.opt.quiet) console_print_always(s, text);
}

void warn(Session& s, std::string_view text) {
    std::string line = "warning: ";
    line.append(text.data(), text.size());
    line += '\n';
    console_print(s, line);
}

void count_symbol(Session& s) { ++s.symbol_count; }
void count_line(Session& s) { ++s.line_count; }

ByteReader image_reader(const Session& s) {
    return make_reader(s.image.data(), s.image.size(), 0, s.image.size(), s.elf.big_endian);
}

ByteReader image_range(const Session& s, size_t offset, size_t length) {
    return make_reader(s.image.data(), s.image.size(), offset, length, s.elf.big_endian);
}

bool open_output(Session& s, OutText& out, const std::string& name) {
    if (s.files.in_memory) {
        out_open_memory(out);
        return true;
    }
    return out_open_file(out, name);
}

void close_output(Session& s, OutText& out, const std::string& name) {
    bool was_open = out.open;
    out_close(out);
    if (s.files.in_memory && was_open) s.files.memory_files[name] = std::move(out.data);
}

bool open_input_text(Session& s, InText& in, const std::string& name) {
    if (s.files.in_memory) {
        auto it = s.files.memory_files.find(name);
        if (it == s.files.memory_files.end()) return false;
        in_open_memory(in, it->second);
        return true;
    }
    return in_open_file(in, name);
}

void remove_output(Session& s, const std::string& name) {
    if (s.files.in_memory) {
        s.files.memory_files.erase(name);
    } else {
        std::remove(name.c_str());
    }
}
