// The passes that need nothing of the symbol pass, on a thread of their own
// beside it.
//
// Without a trace, reading the line programs and marking their records,
// writing the LIN file from them and writing the S-record file need nothing
// the symbol pass makes: a run with more than one thread does them on a
// second thread, in a session of its own over the same image. The console
// text they printed and the line count are handed over when they are
// finished, in the place one thread prints them (right after the symbol
// pass); a write that failed is said when the file is closed, as on one
// thread.
#pragma once

#include <memory>
#include <thread>

struct Session;
struct OutText;

struct SidePasses {
    std::unique_ptr<Session> worker;
    std::thread thread;
    bool failed = false;  // memory ran out while the line programs were read
    // The LIN file (when it could be opened ahead), written on the thread
    // from the marked records.
    OutText* lin = nullptr;
    bool lin_written = false;
    bool lin_failed = false;  // memory ran out while it was written
    // The S-record file, written on the thread after the lines.
    OutText* mot = nullptr;
    bool srec_written = false;
    bool mot_failed = false;  // memory ran out while it was written
    SidePasses();
    ~SidePasses();
};

// Starts the line pass over the line stream `lxx` (started on `s`), taking
// the run's line state with it, and then (when `mot` is open) the S-record
// file; false when they run on this thread instead (a trace, a single
// thread, or no thread to be had).
bool start_side_passes(Session& s, OutText& lxx, OutText* mot, SidePasses& pass);
// Waits for the thread and gives the run its line state, console text and
// line count. When memory ran out there while the line programs were read,
// they are read again on this thread, from a fresh stream `lxx` (and the
// LIN and S-record files are left to this thread too).
void finish_side_passes(Session& s, OutText& lxx, SidePasses& pass);
