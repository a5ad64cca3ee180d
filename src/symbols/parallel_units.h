// The symbol pass on several threads.
//
// The unit headers are read first, in order (plan_units), which gives every
// unit its place and the table of units DW_FORM_ref2 references need. The
// units are then cut into runs of neighbouring units; s.threads worker
// threads convert the runs, each into buffers of its own (its SYM text, its
// console text, its symbol count), and this thread writes the buffers out in
// file order (a few runs ahead at most, so the buffers stay small).
// The output is that of walking the units one by one on one thread:
//
// - func_sibling carries from one unit into the next. A run starts with 0
//   and notes how it used the value it started with (SymbolState::
//   sibling_use); when the value the runs before left would have changed
//   its conversion, the run is converted again here, from that value.
// - The call-frame table is indexed once per run, when a frame base first
//   asks for it, and its damage is reported once per run. It is indexed
//   before the workers start; the messages are noted where they would stand
//   (Console::once_notes) and the merge shows the run's first.
// - Units and their declarations, the walk scope, the type cache and the
//   warnings shown once per unit belong to one unit already.
// - Memory running out in a worker: the run is converted again here, where
//   it ends the conversion as it would on one thread.
#pragma once

struct Session;
struct OutText;

// Converts every unit of .debug_info on s.threads threads. False (nothing
// done) when there is nothing to share: fewer than two units.
bool walk_units_in_parallel(Session& s, OutText& sym);
