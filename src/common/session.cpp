#include "common/session.h"

#include <cstdio>

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
    std::string temp = name + ".morvik-part";
    if (!out_open_file(out, temp)) return false;
    s.files.pending[name] = temp;
    return true;
}

void close_output(Session& s, OutText& out, const std::string& name) {
    bool was_open = out.open;
    out_close(out);
    if (!was_open) return;
    if (s.files.in_memory) {
        s.files.memory_files[name] = std::move(out.data);
    } else if (out.failed) {
        warn(s, name + " could not be written completely and is not kept");
        auto it = s.files.pending.find(name);
        if (it != s.files.pending.end()) {
            std::remove(it->second.c_str());
            s.files.pending.erase(it);
        }
    }
}

bool open_input_text(Session& s, InText& in, const std::string& name) {
    if (s.files.in_memory) {
        auto it = s.files.memory_files.find(name);
        if (it == s.files.memory_files.end()) return false;
        in_open_memory(in, it->second);
        return true;
    }
    auto it = s.files.pending.find(name);
    return in_open_file(in, it != s.files.pending.end() ? it->second : name);
}

void remove_output(Session& s, const std::string& name) {
    if (s.files.in_memory) {
        s.files.memory_files.erase(name);
        return;
    }
    auto it = s.files.pending.find(name);
    if (it != s.files.pending.end()) {
        std::remove(it->second.c_str());
        s.files.pending.erase(it);
    }
    // A file of that name from an earlier run would otherwise pass for this run's output.
    std::remove(name.c_str());
}

bool commit_outputs(Session& s) {
    bool ok = true;
    for (const auto& [name, temp] : s.files.pending) {
        if (std::rename(temp.c_str(), name.c_str()) != 0) {
            warn(s, name + " could not be given its name; the output stays in " + temp);
            ok = false;
        }
    }
    s.files.pending.clear();
    return ok;
}

void discard_outputs(Session& s) {
    for (const auto& entry : s.files.pending) std::remove(entry.second.c_str());
    s.files.pending.clear();
}
