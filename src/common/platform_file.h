// The file and process services the standard library cannot give safely,
// with the POSIX and the Windows branch side by side in platform_file.cpp:
// exclusive creation of temporary files, replacing a file atomically,
// reading only regular files, file identity, the lock that makes committing
// a set of outputs one step, and removing this run's temporary files when
// the user interrupts it.
//
// Errors are errno values on both platforms (Windows error codes are mapped),
// so `system_error_text` gives the same English reason everywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/image_bytes.h"

#if !defined(_WIN32)
#include <signal.h>
#endif

// A C runtime file descriptor on both platforms.
using FileHandle = int;
constexpr FileHandle kNoFile = -1;

// Creates `path` for writing only if nothing of that name exists: an existing
// file, directory or symbolic link (dangling or not) makes it fail with EEXIST.
FileHandle create_new_file(const std::string& path, int& error);
bool write_all(FileHandle file, const char* data, size_t size, int& error);
// Closing can report a write the system delayed, so it is checked too.
bool close_file(FileHandle file, int& error);
// Gives `from` the name `to`, replacing a file of that name in one step (a
// symbolic link at `to` is replaced, never followed).
bool replace_file(const std::string& from, const std::string& to, int& error);
// Removes a file or a symbolic link, never a directory. False when nothing was removed.
bool remove_file(const std::string& path);
// Whether both names reach one existing file (through links as well).
bool same_existing_file(const std::string& a, const std::string& b);

enum class InputStatus { kRead, kMissing, kUnreadable, kNotRegular, kTooLarge };
// Reads a regular file whole into `bytes`, refusing anything larger than
// `limit` before reading. Named pipes, devices and directories are refused
// without blocking. `error` carries the reason when the status is kUnreadable.
// The buffer is allocated in one step, so it may throw std::bad_alloc. With
// more than one thread a large file is read in two halves at once (POSIX).
// Once arm_interrupt_cleanup has run (the program, POSIX), the file is mapped
// instead, read-only; a file cut short while mapped ends the process (exit
// 128 + SIGBUS, temporary files removed, one error line).
InputStatus read_regular_file(const std::string& path, uint64_t limit, ImageBytes& bytes, int& error,
                              unsigned threads = 1);

// Whether `byte` starts a double-byte character in the ANSI code page
// (Windows); file names are plain bytes on POSIX systems.
bool is_dbcs_lead_byte(unsigned char byte);
unsigned long current_process_id();
// The number of processors this process may run on (its affinity mask, so
// `taskset -c 0` gives 1); at least 1.
unsigned usable_cpu_count();
// The system's English reason for an errno value.
std::string system_error_text(int error);

// A lock on a set of outputs shared by every process that writes the same
// names. `path` names the lock file, created beside the outputs and removed
// again when the lock is released (a run killed while holding it leaves the
// file, and the next run takes it over).
struct OutputSetLock {
#if defined(_WIN32)
    void* handle = nullptr;
#else
    int fd = -1;
#endif
    std::string path;
};
bool lock_output_set(OutputSetLock& lock, const std::string& path, int& error);
void unlock_output_set(OutputSetLock& lock);

// Interrupts (SIGINT and SIGTERM; Ctrl-C, Ctrl-Break and closing the console
// on Windows) remove the temporary files tracked here and end the process with
// 128 + the signal number (130, 143). Only the program's main() arms this;
// library runs (tests, the fuzzer) never do, and then tracking does nothing.
void arm_interrupt_cleanup();
// Returns a slot number for `untrack_temporary_file`, or -1 when not tracked.
int track_temporary_file(const std::string& path);
void untrack_temporary_file(int slot);

// Keeps an interrupt from ending the process while it lives (the interrupt
// takes effect afterwards), so that creating a temporary file and tracking it,
// or renaming a set of outputs, happens whole or not at all.
class InterruptHold {
public:
    InterruptHold();
    ~InterruptHold();
    InterruptHold(const InterruptHold&) = delete;
    InterruptHold& operator=(const InterruptHold&) = delete;

private:
    bool held_ = false;
#if !defined(_WIN32)
    sigset_t saved_;  // the signal mask before
#endif
};
