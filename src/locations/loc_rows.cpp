#include "locations/loc_rows.h"

#include <cstddef>
#include <cstring>

namespace {

size_t bytes_of(int32_t rows) {
    const int32_t n = rows < kLocRows ? rows : kLocRows;
    return static_cast<size_t>(n) * sizeof(int32_t);
}

}  // namespace

void clear_loc_rows(LocRows& rows) {
    if (rows.count <= 0) return;
    const size_t bytes = bytes_of(rows.count);
    std::memset(rows.seq, 0, bytes);
    std::memset(rows.begin, 0, bytes);
    std::memset(rows.end, 0, bytes);
    std::memset(rows.code, 0, bytes);
    std::memset(rows.op1, 0, bytes);
    std::memset(rows.op2, 0, bytes);
    rows.count = 0;
}

void copy_loc_rows(LocRows& to, const LocRows& from, bool with_seq) {
    // Beyond both counts the columns are zero on both sides.
    int32_t rows = to.count > from.count ? to.count : from.count;
    if (rows > kLocRows) rows = kLocRows;
    const size_t bytes = bytes_of(rows);
    if (with_seq) std::memcpy(to.seq, from.seq, bytes);
    std::memcpy(to.begin, from.begin, bytes);
    std::memcpy(to.end, from.end, bytes);
    std::memcpy(to.code, from.code, bytes);
    std::memcpy(to.op1, from.op1, bytes);
    std::memcpy(to.op2, from.op2, bytes);
    to.count = rows;
}
