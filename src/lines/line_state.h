// State of the line-number passes.
#pragma once

struct LineState {
};
