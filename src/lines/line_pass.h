// The line pass (and the S-record file) on a thread of its own, beside the
// symbol pass.
//
// Without a trace, reading the line programs and marking their records need
// nothing the symbol pass makes: a run with more than one thread reads them
// on a second thread into a session of its own, over the same image; the
// LIN file is written from the records afterwards, as on one thread. The
// console text that pass printed and its line count are handed over when it
// is finished, in the place the line pass would have printed them on one
// thread (right after the symbol pass).
#pragma once

#include <memory>
#include <thread>

struct Session;
struct OutText;

struct LinePass {
    std::unique_ptr<Session> worker;
    std::thread thread;
    bool failed = false;  // memory ran out on the pass's thread
    // The S-record file, written on the pass's thread after the lines.
    OutText* mot = nullptr;
    bool srec_written = false;
    bool mot_failed = false;  // memory ran out while it was written
    LinePass();
    ~LinePass();
};

// Starts the pass over the line stream `lxx` (started on `s`), taking the
// run's line state with it, and then (when `mot` is open) writing the
// S-record file, which needs nothing of either pass either; false when it
// runs on this thread instead (a trace, a single thread, or no thread to be
// had).
bool start_line_pass(Session& s, OutText& lxx, OutText* mot, LinePass& pass);
// Waits for the pass and gives the run its line state, console text and line
// count. When memory ran out on the pass's thread while it read the line
// programs, they are read again on this one, from a fresh stream `lxx` (and
// the S-record file is left to this thread too).
void finish_line_pass(Session& s, OutText& lxx, LinePass& pass);
