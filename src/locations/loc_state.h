// State of the location-list pass.
#pragma once

#include <cstddef>

struct LocationState {
};
