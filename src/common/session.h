// The state of one conversion run.
//
// A Session owns everything one run needs: the run options, the names, the
// counters, the console, the loaded image and the tables every pass fills.
// Passes are free functions that take the Session by reference; nothing lives
// in globals, so a conversion can run any number of times in one process.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "common/text_io.h"
#include "common/elf_info.h"
#include "common/image_bytes.h"

// The passes' own state; the Session's constructor (driver/session_state.cpp)
// creates it.
struct SymbolState;    // symbols/symbol_table.h
struct LocationState;  // locations/loc_state.h
struct LineState;      // lines/line_state.h

struct RunOptions {
    bool trace = false;                     // -d
    bool write_srec = false;                // -a
    bool quiet = false;                     // -adef
    bool directory_info = true;             // -r clears it
    bool sort_lines = true;                 // -s clears it (nothing reads it)
    bool globalize_statics = false;         // -g
    bool delete_inline_duplicates = false;  // -i (forces view_merge off)
    bool register_all_includes = false;     // -f
    bool view_merge = false;                // -m
    bool no_locals = false;                 // -l
};

// Where console text goes: standard output, or a memory buffer.
struct Console {
    bool to_memory = false;
    bool discard = false;  // with to_memory: nothing is kept (nobody reads this run's console)
    std::string text;      // everything printed, when to_memory
    std::string pending;   // trace lines not yet handed to standard output
    // The console of a worker of the parallel symbol pass: a message that a
    // run shows only once is not printed but noted with the place in `text`
    // where it would stand; the merge shows the first of the run.
    bool note_once_messages = false;
    struct OnceNote {
        size_t at;
        std::string text;  // the whole line, printed through console_print
    };
    std::vector<OnceNote> once_notes;
};

// Output files of a run: on disk, or (for in-memory conversions) kept in
// `memory_files` under their names.
// On disk, every output is written under a temporary name of its own beside
// its final name (NAME.SYM.<process id>-<n>.morvik-part, created only where
// no file or link of that name exists) and renamed only when the run has
// finished it (`commit_outputs`), so an interrupted or failed run never leaves
// a partial file under a final name.
struct PendingOutput {
    std::string temp;           // the temporary name
    FileHandle file = kNoFile;  // open until the output is closed
    int tracked = -1;           // slot in the interrupt clean-up registry
};

struct FileStore {
    bool in_memory = false;
    // In memory: the outputs the run never reads back (all but a kept LXX
    // file) are dropped block by block as they are written, and kept empty.
    // For runs whose outputs nobody looks at (fuzzing).
    bool drop_written = false;
    std::map<std::string, std::string> memory_files;
    std::map<std::string, PendingOutput> pending;  // final name -> its temporary file
    std::set<std::string> failed;                  // final names of outputs that could not be written
    unsigned temp_counter = 0;
};

struct Session {
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    RunOptions opt;
    // Threads the symbol pass may convert units on (1: this thread alone).
    // The output is the same for any number.
    unsigned threads = 1;

    // Names, each at most 1023 characters.
    std::string input_name;
    std::string output_base;
    std::string lxx_name, lin_name, sym_name, mot_name;
    std::string usage_line;  // "/usage: ... \n"

    uint32_t symbol_count = 0;
    uint32_t line_count = 0;

    Console console;
    FileStore files;

    ImageBytes image;  // the whole input file
    // A worker's session reads the image of the run it works for, uncopied.
    const ImageBytes* borrowed_image = nullptr;
    const ImageBytes& image_bytes() const { return borrowed_image ? *borrowed_image : image; }
    ElfInfo elf;

    std::unique_ptr<SymbolState> sym;
    std::unique_ptr<LocationState> loc;
    std::unique_ptr<LineState> lines;
};

// Prints text verbatim on the console unless quiet mode is on.
void console_print(Session& s, std::string_view text);
// Prints regardless of quiet mode (the banner, the usage message).
void console_print_always(Session& s, std::string_view text);
// Trace lines: gathered and handed to standard output in large pieces, and
// always before any other console text.
void console_trace(Session& s, std::string_view text);
void console_flush(Session& s);
// One console line "warning: <text>\n" (through console_print).
void warn(Session& s, std::string_view text);
// A "warning: <text>\n" line that the run shows at most once: printed here,
// or noted when the console is a worker's (Console::note_once_messages).
void warn_once_per_run(Session& s, std::string_view text);
// One console line "error: <text>\n" (through console_print).
void report_error(Session& s, std::string_view text);

void count_symbol(Session& s);
void count_line(Session& s);
inline bool directory_info_wanted(const Session& s) { return s.opt.directory_info; }

// A reader over the whole image, in the target byte order.
ByteReader image_reader(const Session& s);
// A reader over [offset, offset + length) of the image, clamped to it.
ByteReader image_range(const Session& s, size_t offset, size_t length);

// Output files go through these so that in-memory runs work the same way.
// A failure to create, write or close an output prints one error line naming
// it and the system's reason, and puts it in `files.failed`.
// With `report` false a file that cannot be created is passed over in
// silence (the caller opens it again later, where its failure is said).
bool open_output(Session& s, OutText& out, const std::string& name, bool report = true);
void close_output(Session& s, OutText& out, const std::string& name);
// Reads back an output this run has written and closed; never an older file of that name.
bool open_input_text(Session& s, InText& in, const std::string& name);
// This run keeps no file of that name.
void remove_output(Session& s, const std::string& name);
bool output_failed(const Session& s, const std::string& name);
// The lock file that makes committing the outputs named after `sym_name` one step.
std::string output_lock_name(const std::string& sym_name);
// Gives every finished output its final name and removes every other name of
// `names` (the run's whole set of outputs), so that afterwards each of them is
// this run's complete output or absent. Runs that commit the same names take
// turns. Returns false when an output could not be given its name (reported).
bool commit_outputs(Session& s, const std::vector<std::string>& names);
// Closes and deletes the temporary files of a run that ends early.
void discard_outputs(Session& s);
