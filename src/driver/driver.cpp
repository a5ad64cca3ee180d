#include "driver/driver.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <new>

#include "driver/messages.h"
#include "common/file_headers.h"
#include "common/platform_file.h"
#include "common/session.h"
#include "elf/elf_reader.h"
#include "lines/lin_builder.h"
#include "driver/side_passes.h"
#include "lines/line_program.h"
#include "locations/loc_list.h"
#include "srec/srec_writer.h"
#include "symbols/location_views.h"
#include "symbols/units.h"

namespace {

constexpr size_t kMaxName = 1023;       // names live in 1024-byte buffers
constexpr size_t kMaxUsageLine = 1022;  // characters before the final "\n"

bool equal_nocase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b))) return false;
    }
    return *a == *b;
}

std::string cut(const char* text, size_t limit) {
    std::string s(text);
    if (s.size() > limit) s.resize(limit);
    return s;
}

void print_usage_message(Session& s) {
    for (const char* line : {kMsgNoFileName, kMsgUsage2, kMsgUsage3, kMsgUsage4, kMsgUsage5, kMsgUsage6, kMsgUsage7,
                             kMsgUsage8, kMsgUsage9, kMsgUsage10}) {
        console_print_always(s, line);
    }
}

// Would writing `output` overwrite the file `input`? Equal names, or (on
// disk) two names of the same existing file.
bool same_file(const Session& s, const std::string& input, const std::string& output) {
    if (output.empty()) return false;
    if (input == output) return true;
    return !s.files.in_memory && same_existing_file(input, output);
}

// An ELF32 file addresses at most 4 GiB; anything larger is refused unread.
constexpr uint64_t kMaxInputSize = uint64_t{1} << 32;

}  // namespace

bool parse_options(Session& s, int argc, const char* const* argv) {
    s.input_name.clear();
    s.output_base.clear();
    // The program path is cut so that the usage line never passes its 1022 characters.
    s.usage_line = "/usage: ";
    s.usage_line += cut(argc > 0 && argv[0] ? argv[0] : "", kMaxUsageLine - s.usage_line.size());
    bool pending_output = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i] ? argv[i] : "";
        s.usage_line += ' ';
        s.usage_line += cut(arg, kMaxName);
        if (s.usage_line.size() > kMaxUsageLine) {
            console_print(s, kMsgTooLong);
            return false;
        }
        RunOptions& o = s.opt;
        if (equal_nocase(arg, "-d")) {
            o.trace = true;
        } else if (equal_nocase(arg, "-a")) {
            o.write_srec = true;
        } else if (equal_nocase(arg, "-adef")) {
            o.quiet = true;
        } else if (equal_nocase(arg, "-r")) {
            o.directory_info = false;
        } else if (equal_nocase(arg, "-s")) {
            o.sort_lines = false;
        } else if (equal_nocase(arg, "-g")) {
            o.globalize_statics = true;
        } else if (equal_nocase(arg, "-i")) {
            o.delete_inline_duplicates = true;
        } else if (equal_nocase(arg, "-f")) {
            o.register_all_includes = true;
        } else if (equal_nocase(arg, "-m")) {
            o.view_merge = true;
        } else if (equal_nocase(arg, "-l")) {
            o.no_locals = true;
        } else if (equal_nocase(arg, "-o")) {
            pending_output = true;
        } else if (pending_output) {
            s.output_base = cut(arg, kMaxName);
            pending_output = false;
        } else {
            s.input_name = cut(arg, kMaxName);
        }
    }
    if (s.opt.delete_inline_duplicates) s.opt.view_merge = false;
    s.usage_line += '\n';
    console_print(s, s.usage_line);
    return true;
}

size_t find_extension(const std::string& name) {
    // Forwards, so that the second byte of a double-byte character (0x5C in
    // many of them) is never taken for a separator.
    size_t dot = name.size();
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c == '.') {
            dot = i;
        } else if (c == '\\' || c == '/') {
            dot = name.size();
        } else if (is_dbcs_lead_byte(c) && i + 1 < name.size()) {
            ++i;
        }
    }
    return dot;
}

void derive_output_names(Session& s) {
    if (s.output_base.empty()) s.output_base = s.input_name;
    if (find_extension(s.input_name) == s.input_name.size()) s.input_name += ".x";
    size_t dot = find_extension(s.output_base);
    std::string stem = dot == s.output_base.size() ? s.output_base + "." : s.output_base.substr(0, dot + 1);
    s.lxx_name = stem + "LXX";
    s.lin_name = stem + "LIN";
    s.sym_name = stem + "SYM";
    s.mot_name = s.opt.write_srec ? stem + "mot" : std::string();
}

bool load_input_file(Session& s, const std::string& name, std::string& reason) {
    s.image.clear();
    reason.clear();
    if (s.files.in_memory) {
        auto it = s.files.memory_files.find(name);
        if (it == s.files.memory_files.end()) return false;
        s.image.assign(it->second.begin(), it->second.end());
        return !s.image.empty();
    }
    int error = 0;
    switch (read_regular_file(name, kMaxInputSize, s.image, error, s.threads)) {
    case InputStatus::kRead: return !s.image.empty();
    case InputStatus::kMissing: return false;
    case InputStatus::kUnreadable: reason = name + " could not be read: " + system_error_text(error); return false;
    case InputStatus::kNotRegular: reason = name + " is not a regular file"; return false;
    case InputStatus::kTooLarge: reason = name + " is larger than the 4 GiB an ELF32 file can address"; return false;
    }
    return false;
}

bool convert_image(Session& s) {
    OutText lxx, sym, mot;
    // The LXX file is kept only in trace mode; otherwise its text goes
    // straight to the LIN builder.
    if (s.opt.trace) {
        if (!open_output(s, lxx, s.lxx_name)) return false;
    } else {
        start_line_stream(s, lxx);
    }
    write_line_file_header(s, lxx);
    auto close_lxx = [&] {
        if (s.opt.trace) {
            close_output(s, lxx, s.lxx_name);
        } else {
            out_close(lxx);
        }
    };
    if (!open_output(s, sym, s.sym_name)) {
        close_lxx();
        return false;
    }
    write_sym_file_header(s, sym);
    if (!s.mot_name.empty()) open_output(s, mot, s.mot_name);
    // With threads to spare the LIN file is written beside the symbol pass;
    // opened here in silence, so that a name that cannot be had is said
    // where one thread says it.
    OutText lin;
    if (s.threads > 1 && !s.opt.trace) open_output(s, lin, s.lin_name, false);

    read_elf(s, sym);
    // Without a trace the line pass, the LIN file and the S-record file need
    // nothing of the symbol pass: with threads to spare they are made beside it.
    SidePasses beside;
    if (lin.open) beside.lin = &lin;
    const bool lines_beside = start_side_passes(s, lxx, &mot, beside);
    if (!s.opt.no_locals) dump_loc_section(s, sym, find_location_views(s));
    walk_units(s, sym);
    if (lines_beside) {
        finish_side_passes(s, lxx, beside);
    } else {
        read_line_programs(s, lxx);
    }
    if (mot.open && !beside.srec_written) write_srec_file(s, mot, s.mot_name);

    close_lxx();
    close_output(s, sym, s.sym_name);
    if (mot.open) close_output(s, mot, s.mot_name);
    if (!lin.open) return false;
    if (!beside.lin_written) write_streamed_lin(s, lin);
    close_output(s, lin, s.lin_name);
    return true;
}

void finish_line_file(Session& s) {
    if (!s.opt.trace) {
        if (!line_stream_started(s)) return;  // the conversion did not run
        OutText lin;
        if (!open_output(s, lin, s.lin_name)) return;
        write_streamed_lin(s, lin);
        close_output(s, lin, s.lin_name);
        return;
    }
    // Only this run's complete LXX file is read, never an older one of that name.
    InText lxx;
    if (!open_input_text(s, lxx, s.lxx_name)) return;
    OutText lin;
    if (!open_output(s, lin, s.lin_name)) {
        in_close(lxx);
        return;
    }
    if (read_and_mark_lines(s, lxx, lin)) {
        if (s.opt.delete_inline_duplicates) mark_inline_modules(s);
        write_line_records(s, lin);
    }
    if (lxx.failed && !lin.failed) {
        // A LIN file built from part of the LXX file is not kept.
        lin.failed = true;
        lin.error = lxx.error;
    }
    in_close(lxx);
    close_output(s, lin, s.lin_name);
}

namespace {

int run_sequence(Session& s, int argc, const char* const* argv) {
    console_print_always(s, kBanner);
    if (!parse_options(s, argc, argv)) return kExitUsage;
    if (s.input_name.empty()) {
        print_usage_message(s);
        return kExitUsage;
    }
    derive_output_names(s);
    std::string reason;
    if (!load_input_file(s, s.input_name, reason)) {
        console_print(s, s.input_name);
        console_print(s, kMsgMissingFile);
        if (!reason.empty()) report_error(s, reason);
        return kExitUsage;
    }
    const std::string lock_name = output_lock_name(s.sym_name);
    const std::string* written[] = {&s.lxx_name, &s.lin_name, &s.sym_name, &s.mot_name, &lock_name};
    for (const std::string* out : written) {
        if (same_file(s, s.input_name, *out)) {
            console_print(s, s.input_name);
            console_print(s, kMsgSameFile);
            return kExitUsage;
        }
    }
    static const uint8_t kMagic[4] = {0x7F, 'E', 'L', 'F'};
    if (s.image.size() < 4 || !std::equal(kMagic, kMagic + 4, s.image.begin())) {
        console_print(s, kMsgNotElf);
        return kExitNotElf;
    }

    const bool lin_made = convert_image(s);
    const bool line_source_failed = output_failed(s, s.lxx_name);
    if (!lin_made) finish_line_file(s);
    if (!s.opt.trace) remove_output(s, s.lxx_name);
    if (s.symbol_count == 0) remove_output(s, s.sym_name);
    if (s.line_count == 0) remove_output(s, s.lin_name);
    commit_outputs(s, {s.lxx_name, s.sym_name, s.lin_name, s.mot_name});

    std::string totals;
    totals = "complete symbols=" + std::to_string(s.symbol_count) + " lines=" + std::to_string(s.line_count) + "\n";
    console_print(s, totals);
    s.image.clear();
    s.image.shrink_to_fit();
    if (s.symbol_count == 0 || output_failed(s, s.sym_name) || line_source_failed) return kExitNoSymbols;
    if (s.line_count == 0 || output_failed(s, s.lin_name) || output_failed(s, s.lxx_name)) return kExitNoLines;
    if (output_failed(s, s.mot_name)) return kExitNoSrec;
    return kExitOk;
}

}  // namespace

int run_morvik(Session& s, int argc, const char* const* argv, unsigned threads) {
    s.threads = threads > 0 ? threads : 1;
    // The program's one catch: memory running out anywhere in the run (the
    // image, a table) ends it with a message instead of an abort.
    try {
        const int code = run_sequence(s, argc, argv);
        console_flush(s);
        return code;
    } catch (const std::bad_alloc&) {
        discard_outputs(s);
        s.image = ImageBytes();
        console_print(s, "error: not enough memory\n");
        return kExitUsage;
    }
}
