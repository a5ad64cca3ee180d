// The rows a location list gives a symbol: one per decoded operation, in six
// columns (the operation's index within its list entry, the entry's address
// range with the base address added, and the operation's code and operands).
#pragma once

#include <cstdint>

constexpr int kLocRows = 48;  // rows kept per list; later operations are traced only

struct LocRows {
    int32_t seq[kLocRows] = {};
    int32_t begin[kLocRows] = {};
    int32_t end[kLocRows] = {};
    int32_t code[kLocRows] = {};
    int32_t op1[kLocRows] = {};
    int32_t op2[kLocRows] = {};
    // Rows from here on are zero in all six columns, so a clear or a copy
    // touches only the rows a list wrote. Every writer of a row raises it.
    int32_t count = 0;
};

// Zeroes the rows written, leaving the columns as a fresh LocRows has them.
void clear_loc_rows(LocRows& rows);

// Takes over the rows of `from` (the seq column only when `with_seq`): the
// whole columns, as if copied in full, though only the rows written on
// either side are touched.
void copy_loc_rows(LocRows& to, const LocRows& from, bool with_seq);
