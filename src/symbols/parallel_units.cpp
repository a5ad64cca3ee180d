#include "symbols/parallel_units.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "common/session.h"
#include "common/text_io.h"
#include "locations/call_frame.h"
#include "locations/loc_list.h"
#include "locations/loc_state.h"
#include "symbols/symbol_table.h"
#include "symbols/units.h"

namespace {

// A run holds neighbouring units up to about this many bytes of
// .debug_info (or one larger unit): enough to keep the hand-over cheap,
// small enough that the runs converted ahead of the merge stay small.
constexpr size_t kRunBytes = 32 * 1024;
// A trace writes some forty times its input: runs are cut smaller and fewer
// are converted ahead, so the text waiting for the merge stays small.
constexpr size_t kTraceRunBytes = 16 * 1024;
// SYM text per byte of .debug_info, guessed for the first runs: about nine
// times without a trace, some fifty times with one (which prints as much).
constexpr size_t kTextPerByte = 10, kTraceTextPerByte = 64;
// The room a buffer gets ahead, at most: a single large unit grows its own.
constexpr size_t kMostRoomAhead = size_t{32} << 20;

// What converting one run of units gave.
struct RunResult {
    std::string sym;
    std::string console;
    std::vector<Console::OnceNote> notes;
    uint32_t symbols = 0;
    SymbolState::SiblingUse sibling_use;
    size_t sibling_out = 0;  // func_sibling after the run
    bool frames_asked = false;
};

// The two texts a run fills, handed from run to run for their room.
struct RunBuffers {
    std::string sym, console;
};

// Frees the buffers (assigning an empty string would keep them).
void release(RunResult& r) {
    std::string().swap(r.sym);
    std::string().swap(r.console);
    std::vector<Console::OnceNote>().swap(r.notes);
}

struct Run {
    size_t first = 0, count = 0;  // units [first, first + count) of the plan
    size_t bytes = 0;             // of .debug_info
    size_t expected_text = 0;     // SYM text it will likely write (set when it is taken)
    bool done = false;
    bool failed = false;  // memory ran out
    RunResult result;
};

// What every worker reads and nobody changes while they run.
struct SharedPlan {
    explicit SharedPlan(const Session& session) : s(session) {}
    const Session& s;
    UnitTable units;        // the run's table of units, slots from `slot_base` on are this walk's
    size_t slot_base = 0;
    size_t info_begin = 0;  // image offset of .debug_info
    // The run's call-frame table when it had one already; else indexed by
    // the first worker that asks (`lazy_frames`).
    std::shared_ptr<CallFrames> frames;
    mutable SharedFrames lazy_frames;  // the one part workers change (under its lock)
};

// A session of its own for converting runs of units, over the image and
// tables of the run it works for.
struct UnitWorker {
    Session w;

    explicit UnitWorker(const SharedPlan& plan) {
        const Session& s = plan.s;
        w.opt = s.opt;
        w.elf = s.elf;
        w.borrowed_image = &s.image_bytes();
        w.console.to_memory = true;
        w.console.note_once_messages = true;
        w.files.in_memory = true;
        *w.loc = *s.loc;
        if (!w.loc->located) locate_loc_section(w);
        w.loc->frames = plan.frames;
        if (!plan.frames) w.loc->shared_frames = &plan.lazy_frames;
        w.loc->frames_shared = true;
        w.sym->keep_type_expansions = s.sym->keep_type_expansions;
        w.sym->shared_units = &plan.units;
    }

    // Converts the units of `run` as the walk on one thread would, starting
    // from `sibling_in`.
    // `buffers` (their room) take the SYM text and the console text.
    void convert(const SharedPlan& plan, const Run& run, size_t sibling_in, RunResult& out, RunBuffers buffers) {
        w.console.text = std::move(buffers.console);
        w.console.text.clear();
        // A trace prints about as much on the console as it writes.
        if (w.opt.trace && w.console.text.capacity() < run.expected_text) w.console.text.reserve(run.expected_text);
        w.console.once_notes.clear();
        w.symbol_count = 0;
        w.loc->frames_asked = false;
        SymbolState& st = *w.sym;
        st.func_sibling = sibling_in;
        st.sibling_use = SymbolState::SiblingUse{};
        OutText text;
        out_open_memory(text);
        text.data = std::move(buffers.sym);
        text.data.clear();
        // Room for the whole text ahead: grown by doubling, a buffer is
        // copied and taken in fresh memory again at every step.
        if (text.data.capacity() < run.expected_text) text.data.reserve(run.expected_text);
        for (size_t k = run.first; k < run.first + run.count; ++k) {
            const size_t slot = plan.slot_base + k;
            const size_t pos = plan.info_begin + plan.units.slots[slot].start;
            trace_unit_start(w, text, pos, k);
            st.units.current = slot;
            read_unit_header(w, text, pos);
        }
        out.sym = std::move(text.data);
        out.console = std::move(w.console.text);
        w.console.text = std::string();
        out.notes = std::move(w.console.once_notes);
        w.console.once_notes.clear();
        out.symbols = w.symbol_count;
        out.sibling_use = st.sibling_use;
        out.sibling_out = st.func_sibling;
        out.frames_asked = w.loc->frames_asked;
    }
};

// The runs, the workers and the hand-over between them and the merge.
struct Pool {
    const SharedPlan& plan;
    std::vector<Run> runs;
    size_t window = 0;  // runs converted ahead of the merge, at most
    std::mutex mutex;
    std::condition_variable changed;
    size_t next_run = 0;  // the next run no thread has taken
    size_t merged = 0;    // runs written out
    // The buffers of runs written out, kept for their capacity: the
    // next runs fill them without growing and faulting in new pages.
    std::vector<RunBuffers> spare;
    bool stop = false;
    std::vector<std::thread> threads;

    explicit Pool(const SharedPlan& p) : plan(p) {}
    ~Pool() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        changed.notify_all();
        for (std::thread& t : threads) t.join();
    }

    // SYM text per byte of .debug_info in the runs written out so far (a
    // first guess before them), and the bytes of the usual run.
    size_t text_written = 0, info_written = 0, first_guess = 0, run_bytes = 0;

    // Takes the next run when one may be taken; -1 when none.
    long take(std::unique_lock<std::mutex>&) {
        if (stop || next_run >= runs.size() || next_run >= merged + window) return -1;
        Run& run = runs[next_run];
        const size_t per_byte = info_written > 0 ? text_written / info_written + 1 : first_guess;
        // Room for at least the usual run, so that buffers handed from run
        // to run are seldom given up for larger ones.
        const size_t bytes = std::max(run.bytes, run_bytes);
        run.expected_text = std::min(bytes * per_byte + bytes * per_byte / 4, kMostRoomAhead);
        return static_cast<long>(next_run++);
    }

    // A buffer of a run written out, for the next run to fill (the lock held).
    RunBuffers spare_buffers() {
        if (spare.empty()) return RunBuffers();
        RunBuffers buffers = std::move(spare.back());
        spare.pop_back();
        return buffers;
    }

    void convert(std::unique_ptr<UnitWorker>& worker, Run& run, RunBuffers buffers) {
        try {
            if (!worker) worker = std::make_unique<UnitWorker>(plan);
            worker->convert(plan, run, 0, run.result, std::move(buffers));
        } catch (const std::bad_alloc&) {
            release(run.result);
            run.failed = true;
            worker.reset();
        }
    }

    void work() {
        std::unique_ptr<UnitWorker> worker;
        std::unique_lock<std::mutex> lock(mutex);
        while (!stop && next_run < runs.size()) {
            const long taken = take(lock);
            if (taken < 0) {
                changed.wait(lock);
                continue;
            }
            RunBuffers buffers = spare_buffers();
            lock.unlock();
            Run& run = runs[static_cast<size_t>(taken)];
            convert(worker, run, std::move(buffers));
            lock.lock();
            run.done = true;
            changed.notify_all();
        }
    }
};

size_t unit_bytes(const UnitSlot& slot) { return slot.end > slot.start ? slot.end - slot.start + 1 : 1; }

// Cuts the units into runs of neighbours: at least four runs per thread
// where the units allow it.
std::vector<Run> cut_runs(const SharedPlan& plan, size_t unit_count, unsigned threads, size_t most_bytes,
                          size_t& run_bytes) {
    size_t total = 0;
    for (size_t k = 0; k < unit_count; ++k) total += unit_bytes(plan.units.slots[plan.slot_base + k]);
    run_bytes = total / (4 * static_cast<size_t>(threads));
    if (run_bytes > most_bytes) run_bytes = most_bytes;
    std::vector<Run> runs;
    size_t bytes = 0;
    for (size_t k = 0; k < unit_count; ++k) {
        const UnitSlot& slot = plan.units.slots[plan.slot_base + k];
        if (runs.empty() || bytes >= run_bytes) {
            runs.emplace_back();
            runs.back().first = k;
            bytes = 0;
        }
        ++runs.back().count;
        runs.back().bytes += unit_bytes(slot);
        bytes += unit_bytes(slot);
    }
    return runs;
}

}  // namespace

bool walk_units_in_parallel(Session& s, OutText& sym) {
    SharedPlan plan(s);
    plan.units.slots = s.sym->units.slots;
    plan.slot_base = plan.units.slots.size();
    if (!plan_units(s, plan.units.slots, plan.info_begin)) return false;
    const size_t unit_count = plan.units.slots.size() - plan.slot_base;
    if (unit_count < 2) return false;

    // The table as the walk leaves it.
    s.sym->units.slots = plan.units.slots;
    s.sym->units.current = plan.units.slots.size() - 1;

    const bool frames_lazy = !s.loc->frames;
    if (!frames_lazy) plan.frames = s.loc->frames;
    bool frames_warned = frames_lazy ? false : plan.frames->warned;
    bool frames_asked = false;

    Pool pool(plan);
    pool.runs = cut_runs(plan, unit_count, s.threads, s.opt.trace ? kTraceRunBytes : kRunBytes, pool.run_bytes);
    pool.first_guess = s.opt.trace ? kTraceTextPerByte : kTextPerByte;
    // Each run converted ahead holds its SYM text (a few hundred KB) in a
    // buffer of its own: fresh memory the first time, so few are kept.
    pool.window = s.opt.trace ? static_cast<size_t>(s.threads) + 1 : static_cast<size_t>(s.threads) + 2;
    for (unsigned i = 0; i < s.threads && i < pool.runs.size(); ++i) {
        try {
            pool.threads.emplace_back([&pool] { pool.work(); });
        } catch (const std::system_error&) {
            break;  // with none started, this thread converts the runs itself
        }
    }

    // This thread writes the runs out as they come; it converts runs only
    // when no worker could start, and those that must be converted again.
    std::unique_ptr<UnitWorker> own;
    size_t sibling = s.sym->func_sibling;
    std::unique_lock<std::mutex> lock(pool.mutex);
    while (pool.merged < pool.runs.size()) {
        Run& run = pool.runs[pool.merged];
        if (!run.done) {
            const long taken = pool.threads.empty() ? pool.take(lock) : -1;
            if (taken < 0) {
                pool.changed.wait(lock);
                continue;
            }
            RunBuffers buffers = pool.spare_buffers();
            lock.unlock();
            Run& mine = pool.runs[static_cast<size_t>(taken)];
            pool.convert(own, mine, std::move(buffers));
            lock.lock();
            mine.done = true;
            pool.changed.notify_all();
            continue;
        }
        lock.unlock();

        // The run started from func_sibling 0; did the units before leave
        // a value that changes it?
        RunResult& r = run.result;
        const SymbolState::SiblingUse& use = r.sibling_use;
        const bool cleared = use.checked && use.last_check >= sibling;
        if (run.failed || (sibling != 0 && use.read_first && !cleared)) {
            // Converted again on this thread; memory running out here ends
            // the conversion as it would on one thread.
            if (!own) own = std::make_unique<UnitWorker>(plan);
            release(r);
            own->convert(plan, run, sibling, r, RunBuffers());
            sibling = r.sibling_out;
        } else if (sibling == 0 || use.settled || cleared) {
            sibling = r.sibling_out;
        }

        out_write_raw(sym, r.sym);
        size_t from = 0;
        for (const Console::OnceNote& note : r.notes) {
            console_print_always(s, std::string_view(r.console).substr(from, note.at - from));
            from = note.at;
            if (!frames_warned) {
                frames_warned = true;
                console_print(s, note.text);
            }
        }
        console_print_always(s, std::string_view(r.console).substr(from));
        s.symbol_count += r.symbols;
        frames_asked = frames_asked || r.frames_asked;
        RunBuffers spent{std::move(r.sym), std::move(r.console)};
        release(r);

        lock.lock();
        pool.text_written += spent.sym.size();
        pool.info_written += run.bytes;
        if (pool.spare.size() < pool.window) pool.spare.push_back(std::move(spent));
        ++pool.merged;
        pool.changed.notify_all();
    }
    lock.unlock();

    s.sym->func_sibling = sibling;
    if (frames_lazy && frames_asked) s.loc->frames = plan.lazy_frames.frames;
    if (s.loc->frames) s.loc->frames->warned = frames_warned;
    return true;
}
