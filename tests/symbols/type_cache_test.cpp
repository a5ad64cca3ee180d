// The table of a unit's kept type expansions.
#include <gtest/gtest.h>

#include "symbols/type_cache.h"

namespace {

TypeKey key(size_t die, bool root = false) {
    TypeKey k;
    k.die = die;
    k.target_is_root = root;
    return k;
}

TypeExpansion expansion(int target) {
    TypeExpansion x;
    x.target = target;
    return x;
}

TEST(ExpansionTable, KeepsTheFirstValuePerKeyThroughGrowthAndEmptiesPerUnit) {
    ExpansionTable t;
    EXPECT_EQ(t.find(key(10)), nullptr);
    // DIE offsets a few bytes apart, as a unit's are, past the first growth.
    for (size_t i = 0; i < 3000; ++i) t.insert(key(0x40 + 7 * i), expansion(static_cast<int>(i)));
    t.insert(key(0x40), expansion(-1));  // a key kept already keeps its value
    t.insert(key(0x40, true), expansion(-2));  // another situation of that DIE
    for (size_t i = 0; i < 3000; ++i) {
        const TypeExpansion* x = t.find(key(0x40 + 7 * i));
        ASSERT_NE(x, nullptr) << i;
        EXPECT_EQ(x->target, static_cast<int>(i));
    }
    ASSERT_NE(t.find(key(0x40, true)), nullptr);
    EXPECT_EQ(t.find(key(0x40, true))->target, -2);
    EXPECT_EQ(t.find(key(0x41)), nullptr);
    t.clear();
    EXPECT_EQ(t.find(key(0x40)), nullptr);
    t.insert(key(0x40), expansion(5));
    EXPECT_EQ(t.find(key(0x40))->target, 5);
}

}  // namespace
