#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "common/paged_table.h"

namespace {

using Table = PagedTable<int, 100, 16>;  // seven pages, the last one partly used

TEST(PagedTable, ElementsKeepTheirValuesAndPlacesAcrossPages) {
    Table t;
    const Table& view = t;
    const size_t written[] = {0, 15, 16, 31, 64, 96, 99};
    EXPECT_EQ(view[50], 0);  // a page never written reads as zeros
    int& first = t[0];
    for (size_t i : written) t[i] = static_cast<int>(i) + 1000;
    EXPECT_EQ(&first, &t[0]);  // allocating later pages moved nothing
    for (size_t i = 0; i < Table::size(); ++i) {
        const bool was_written = std::find(std::begin(written), std::end(written), i) != std::end(written);
        EXPECT_EQ(view[i], was_written ? static_cast<int>(i) + 1000 : 0) << i;
    }
}

}  // namespace
