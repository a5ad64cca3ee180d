// State of the location-list pass.
#pragma once

#include <cstddef>
#include <memory>

#include "locations/call_frame.h"

struct LocationState {
    bool located = false;  // locate_loc_section has run
    bool present = false;  // .debug_loc exists with a nonzero file offset
    size_t start = 0;      // image offset of .debug_loc (0 when absent)
    size_t end = 0;        // image offset just past it, clamped to the image

    // The call-frame table, indexed when a frame base first asks for it.
    std::shared_ptr<CallFrames> frames;
};
