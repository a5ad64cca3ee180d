#include "common/session.h"

#include <cerrno>
#include <cstdio>

void console_print_always(Session& s, std::string_view text) {
    if (s.console.to_memory) {
        if (!s.console.discard) s.console.text.append(text.data(), text.size());
    } else {
        console_flush(s);
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
}

void console_trace(Session& s, std::string_view text) {
    if (s.opt.quiet) return;
    if (s.console.to_memory) {
        if (!s.console.discard) s.console.text.append(text.data(), text.size());
        return;
    }
    constexpr size_t kPiece = size_t{64} << 10;
    s.console.pending.append(text.data(), text.size());
    if (s.console.pending.size() >= kPiece) console_flush(s);
}

void console_flush(Session& s) {
    if (s.console.pending.empty()) return;
    std::fwrite(s.console.pending.data(), 1, s.console.pending.size(), stdout);
    s.console.pending.clear();
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

void warn_once_per_run(Session& s, std::string_view text) {
    if (!s.console.note_once_messages) {
        warn(s, text);
        return;
    }
    std::string line = "warning: ";
    line.append(text.data(), text.size());
    line += '\n';
    s.console.once_notes.push_back(Console::OnceNote{s.console.text.size(), std::move(line)});
}

void count_symbol(Session& s) { ++s.symbol_count; }
void count_line(Session& s) { ++s.line_count; }

ByteReader image_reader(const Session& s) {
    const ImageBytes& image = s.image_bytes();
    return make_reader(image.data(), image.size(), 0, image.size(), s.elf.big_endian);
}

ByteReader image_range(const Session& s, size_t offset, size_t length) {
    const ImageBytes& image = s.image_bytes();
    return make_reader(image.data(), image.size(), offset, length, s.elf.big_endian);
}

namespace {

// Whatever step failed, the user learns which file is missing and why.
void report_output_failure(Session& s, const std::string& name, int error) {
    report_error(s, name + " could not be written: " + system_error_text(error));
    s.files.failed.insert(name);
}

// Creates the temporary file of `name`: beside it, named after this process
// and a counter, and only where nothing of that name exists, so that neither
// another run nor a planted link can be written through. A name taken (a run
// that was killed, or the input itself) moves on to the next counter.
bool create_temporary(Session& s, const std::string& name, PendingOutput& p, int& error) {
    const std::string prefix = name + "." + std::to_string(current_process_id()) + "-";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string temp = prefix + std::to_string(s.files.temp_counter++) + ".morvik-part";
        if (temp == s.input_name) continue;
        InterruptHold hold;  // created and tracked, or neither
        FileHandle file = create_new_file(temp, error);
        if (file != kNoFile) {
            p.temp = std::move(temp);
            p.file = file;
            p.tracked = track_temporary_file(p.temp);
            return true;
        }
        if (error != EEXIST) return false;
    }
    return false;
}

void drop_temporary(PendingOutput& p) {
    int ignored = 0;
    if (p.file != kNoFile) close_file(p.file, ignored);
    p.file = kNoFile;
    remove_file(p.temp);
    untrack_temporary_file(p.tracked);
    p.tracked = -1;
}

}  // namespace

void report_error(Session& s, std::string_view text) {
    std::string line = "error: ";
    line.append(text.data(), text.size());
    line += '\n';
    console_print(s, line);
}

bool open_output(Session& s, OutText& out, const std::string& name, bool report) {
    if (s.files.in_memory) {
        if (s.files.drop_written && name != s.lxx_name) {
            out_open_consumer(out, [](void*, std::string_view) {}, nullptr);
        } else {
            out_open_memory(out);
        }
        return true;
    }
    PendingOutput p;
    int error = 0;
    if (!create_temporary(s, name, p, error)) {
        if (report) report_output_failure(s, name, error);
        return false;
    }
    out_open_file(out, p.file);
    s.files.pending[name] = std::move(p);
    return true;
}

void close_output(Session& s, OutText& out, const std::string& name) {
    bool was_open = out.open;
    out_close(out);
    if (!was_open) return;
    if (s.files.in_memory) {
        s.files.memory_files[name] = std::move(out.data);
        return;
    }
    auto it = s.files.pending.find(name);
    if (it == s.files.pending.end()) return;
    it->second.file = kNoFile;  // out_close has closed it
    if (out.failed) {
        report_output_failure(s, name, out.error);
        drop_temporary(it->second);
        s.files.pending.erase(it);
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
    if (it == s.files.pending.end() || it->second.file != kNoFile) return false;
    return in_open_file(in, it->second.temp);
}

void remove_output(Session& s, const std::string& name) {
    if (s.files.in_memory) {
        s.files.memory_files.erase(name);
        return;
    }
    auto it = s.files.pending.find(name);
    if (it != s.files.pending.end()) {
        drop_temporary(it->second);
        s.files.pending.erase(it);
    }
}

bool output_failed(const Session& s, const std::string& name) { return s.files.failed.count(name) != 0; }

std::string output_lock_name(const std::string& sym_name) { return sym_name + ".morvik-lock"; }

bool commit_outputs(Session& s, const std::vector<std::string>& names) {
    if (s.files.in_memory) return true;
    OutputSetLock lock;
    int error = 0;
    if (!lock_output_set(lock, output_lock_name(s.sym_name), error)) {
        // With nothing to rename (no output could even be created there), say nothing more.
        if (s.files.pending.empty()) return true;
        report_error(s, output_lock_name(s.sym_name) + " could not be created: " + system_error_text(error));
        for (auto& entry : s.files.pending) s.files.failed.insert(entry.first);
        discard_outputs(s);
        for (const std::string& name : names) {
            if (!name.empty()) remove_file(name);
        }
        return false;
    }
    bool ok = true;
    {
        InterruptHold hold;  // the whole set gets its names, or (interrupted before) none does
        std::set<std::string> committed;
        for (auto& [name, p] : s.files.pending) {
            if (replace_file(p.temp, name, error)) {
                committed.insert(name);
                untrack_temporary_file(p.tracked);
            } else {
                report_output_failure(s, name, error);
                drop_temporary(p);
                ok = false;
            }
        }
        s.files.pending.clear();
        // An older file under a name this run did not fill would pass for its output.
        for (const std::string& name : names) {
            if (!name.empty() && !committed.count(name)) remove_file(name);
        }
    }
    unlock_output_set(lock);
    return ok;
}

void discard_outputs(Session& s) {
    for (auto& entry : s.files.pending) drop_temporary(entry.second);
    s.files.pending.clear();
}
