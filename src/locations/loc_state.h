// State of the location-list pass.
#pragma once

#include <cstddef>

struct LocationState {
    bool located = false;  // locate_loc_section has run
    bool present = false;  // .debug_loc exists with a nonzero file offset
    size_t start = 0;      // image offset of .debug_loc (0 when absent)
    size_t end = 0;        // image offset just past it, clamped to the image
};
