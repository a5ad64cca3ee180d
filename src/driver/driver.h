// The run sequence: command line, output names, loading, the passes in
// their fixed order, the LIN file, clean-up and the exit code.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct Session;
struct OutText;

// Exit codes (the shell sees them modulo 256: 255, 254, 253, 252, 251).
enum : int {
    kExitOk = 0,
    kExitUsage = -1,  // no input name, command line too long, missing or unreadable input,
                      // output equals input, not enough memory
    kExitNotElf = -2,
    kExitNoSymbols = -3,  // no symbol written, or the SYM (or the LXX the LIN is built from) failed
    kExitNoLines = -4,    // no line record written, or the LIN failed
    kExitNoSrec = -5,     // only the mot file failed
};

// The whole run of one command line. Console text and output files go
// wherever the session's Console and FileStore say (disk and stdout, or memory).
// `threads`: how many threads the symbol pass may use (the program passes
// the processors it may run on); the output is the same for any number.
int run_morvik(Session& s, int argc, const char* const* argv, unsigned threads = 1);

// Fills the input name, output base name, run options and usage line and
// prints the usage line. Returns false when the command line is too long
// (the message has been printed).
bool parse_options(Session& s, int argc, const char* const* argv);
// Position of the extension dot, or of the end when the name has none.
size_t find_extension(const std::string& name);
void derive_output_names(Session& s);
// Loads the input into s.image; false when it is missing, empty or cannot be
// read, with `reason` telling why when the file is there (empty otherwise).
bool load_input_file(Session& s, const std::string& name, std::string& reason);
// Writes the SYM (and LXX, mot) file; true when it wrote the LIN file too
// (beside the symbol pass), false when finish_line_file is to make it.
bool convert_image(Session& s);
void finish_line_file(Session& s);
