#include "driver/side_passes.h"

#include <new>
#include <system_error>
#include <utility>

#include "common/file_headers.h"
#include "common/session.h"
#include "common/text_io.h"
#include "lines/lin_builder.h"
#include "lines/line_program.h"
#include "lines/line_state.h"
#include "srec/srec_writer.h"

SidePasses::SidePasses() = default;

SidePasses::~SidePasses() {
    if (thread.joinable()) thread.join();
}

namespace {

void run_pass(SidePasses& pass, OutText& lxx) {
    Session& w = *pass.worker;
    try {
        read_line_programs(w, lxx);
        out_drain(lxx);
        end_line_stream(w);
    } catch (const std::bad_alloc&) {
        pass.failed = true;
        return;
    }
    if (pass.lin) {
        try {
            write_streamed_lin(w, *pass.lin);
            pass.lin_written = true;
        } catch (const std::bad_alloc&) {
            pass.lin_failed = true;
            return;
        }
    }
    if (!pass.mot) return;
    try {
        write_srec_file(w, *pass.mot, w.mot_name);
        pass.srec_written = true;
    } catch (const std::bad_alloc&) {
        pass.mot_failed = true;
    }
}

}  // namespace

bool start_side_passes(Session& s, OutText& lxx, OutText* mot, SidePasses& pass) {
    if (s.opt.trace || s.threads < 2) return false;
    pass.worker = std::make_unique<Session>();
    Session& w = *pass.worker;
    w.opt = s.opt;
    w.elf = s.elf;
    w.usage_line = s.usage_line;
    w.mot_name = s.mot_name;
    pass.mot = mot && mot->open ? mot : nullptr;
    w.borrowed_image = &s.image_bytes();
    w.console.to_memory = true;
    w.files.in_memory = true;
    std::swap(w.lines, s.lines);
    try {
        pass.thread = std::thread(run_pass, std::ref(pass), std::ref(lxx));
    } catch (const std::system_error&) {
        std::swap(w.lines, s.lines);
        pass.worker.reset();
        return false;
    }
    return true;
}

void finish_side_passes(Session& s, OutText& lxx, SidePasses& pass) {
    pass.thread.join();
    Session& w = *pass.worker;
    std::swap(w.lines, s.lines);
    if (pass.failed) {
        // Read again on this thread from a fresh start; memory running out
        // here ends the run as it would on one thread.
        pass.worker.reset();
        s.lines = std::make_unique<LineState>();
        start_line_stream(s, lxx);
        write_line_file_header(s, lxx);
        read_line_programs(s, lxx);
        return;
    }
    console_print_always(s, w.console.text);
    s.line_count += w.line_count;
    pass.worker.reset();
    // Part of the LIN or S-record file is written already: running out of
    // memory there ends the run, as it does on one thread.
    if (pass.lin_failed || pass.mot_failed) throw std::bad_alloc();
}
