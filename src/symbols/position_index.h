#pragma once
// Symbol entries by the DIE position they were built from: a flat multimap
// (open addressing, linear probing) that allocates only when it grows and
// whose clear touches only the slots it used. One key may hold several
// entries; a lookup visits all of them.

#include <cstddef>
#include <cstdint>
#include <vector>

class PositionIndex {
public:
    // Entry indices are never negative; a negative value is not kept.
    void insert(size_t key, int value) {
        if (value < 0) return;
        if ((used_.size() + 1) * 2 > slots_.size()) grow();
        size_t i = home(key);
        while (slots_[i].value >= 0) i = (i + 1) & mask_;
        slots_[i] = Slot{key, value};
        used_.push_back(static_cast<uint32_t>(i));
    }

    // Calls f(value) for every entry kept under `key`, in no set order.
    template <class F>
    void for_each(size_t key, F&& f) const {
        if (slots_.empty()) return;
        for (size_t i = home(key); slots_[i].value >= 0; i = (i + 1) & mask_)
            if (slots_[i].key == key) f(slots_[i].value);
    }

    void clear() {
        for (uint32_t i : used_) slots_[i].value = -1;
        used_.clear();
    }

    size_t size() const { return used_.size(); }

private:
    struct Slot {
        size_t key = 0;
        int value = -1;  // -1: free
    };

    size_t home(size_t key) const {
        return static_cast<size_t>((static_cast<uint64_t>(key) * 0x9E3779B97F4A7C15ull) >> 32) & mask_;
    }

    void grow() {
        std::vector<Slot> old;
        old.swap(slots_);
        slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
        mask_ = slots_.size() - 1;
        used_.clear();
        for (const Slot& s : old)
            if (s.value >= 0) insert(s.key, s.value);
    }

    std::vector<Slot> slots_;
    std::vector<uint32_t> used_;  // the slots in use, for clear()
    size_t mask_ = 0;
};
