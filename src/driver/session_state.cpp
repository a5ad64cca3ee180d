// The Session holds the state of every pass. It is built here, above all
// the passes, so that the common base they build on includes none of them.
#include "common/session.h"

#include "lines/line_state.h"
#include "locations/loc_state.h"
#include "symbols/symbol_table.h"

Session::Session()
    : sym(std::make_unique<SymbolState>()),
      loc(std::make_unique<LocationState>()),
      lines(std::make_unique<LineState>()) {}

Session::~Session() = default;
