// State of the location-list pass.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include "locations/call_frame.h"

// The call-frame table the workers of the parallel symbol pass share: the
// first worker whose unit asks for it indexes it (the others wait for it),
// keeping what indexing printed.
struct SharedFrames {
    std::mutex mutex;
    bool indexed = false;
    std::shared_ptr<CallFrames> frames;
    bool warned = false;
    std::string warning;  // the whole console line
};

struct LocationState {
    bool located = false;  // locate_loc_section has run
    bool present = false;  // .debug_loc exists with a nonzero file offset
    size_t start = 0;      // image offset of .debug_loc (0 when absent)
    size_t end = 0;        // image offset just past it, clamped to the image

    // The call-frame table, indexed when a frame base first asks for it.
    std::shared_ptr<CallFrames> frames;

    // In a worker of the parallel symbol pass the table is shared: indexed
    // before the workers started, or (`shared_frames`) by the first that
    // asks. The message indexing it gave (if `index_warned`) belongs where
    // the run first asks for the table: each worker notes it at its units'
    // first question (frames_asked).
    bool frames_shared = false;
    SharedFrames* shared_frames = nullptr;
    bool frames_asked = false;
    bool index_warned = false;
    std::string index_warning;  // the whole console line
};
