#include "symbols/position_index.h"

#include <gtest/gtest.h>

#include <random>
#include <unordered_map>
#include <vector>

namespace {

// Against std::unordered_multimap through growth, repeated keys, keys that
// share a home slot, and clears that must leave no entry behind.
TEST(PositionIndex, AgreesWithAMultimapThroughGrowthAndClears) {
    PositionIndex index;
    std::unordered_multimap<size_t, int> model;
    std::mt19937 rng(7);
    auto lookup = [&](size_t key) {
        long sum = 0, count = 0;
        index.for_each(key, [&](int v) { sum += v, ++count; });
        long want_sum = 0, want_count = 0;
        auto range = model.equal_range(key);
        for (auto it = range.first; it != range.second; ++it) want_sum += it->second, ++want_count;
        EXPECT_EQ(count, want_count) << key;
        EXPECT_EQ(sum, want_sum) << key;
    };
    for (int round = 0; round < 4; ++round) {
        const int n = 10 + round * 700;
        for (int i = 0; i < n; ++i) {
            // Few distinct keys (many repeats), spread and multiples of 2^32.
            size_t key = round == 3 ? (size_t{rng() % 50} << 32) : rng() % (n / 2 + 1) * 11;
            index.insert(key, i);
            model.emplace(key, i);
        }
        index.insert(5, -1);  // not kept
        EXPECT_EQ(index.size(), model.size());
        for (size_t key = 0; key < 100; ++key) lookup(key * 11);
        lookup(size_t{3} << 32);
        index.clear();
        model.clear();
        lookup(0);
        lookup(11);
    }
}

}  // namespace
