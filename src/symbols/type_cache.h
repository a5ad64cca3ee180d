// Expanded type trees, kept for the rest of a unit.
//
// Following a type reference writes the type's information into the entry
// it was followed from (the target) and into entries behind it: the members
// of structures and unions, their types' members, and so on. Most variables
// of a unit share a few types, so the same DIE is followed again and again.
//
// Every write the type rules and the member entries make goes through
// write_type_field / write_type_text. While a follow is being recorded the
// writes are also noted in the unit's journal; a TypeExpansion names the
// part of the journal one follow made and the target it was made from.
// Playing it back from another target makes the very same writes, shifted
// (kind flags are added, dimensions appended, other fields set), so the
// result is that of building the DIEs again whatever the entries held.
//
// A kept expansion is used again only in the same situation. The key holds
// the parts cheap to compare (the DIE, whether the target is the root, the
// root's STRUCT flag, the target's nest in trace mode); the rest is checked
// before playing back: the member DIEs the expansion looked up must not be
// in the entries up to the target, the DIEs it followed before its first
// member entry must not be on the chain of types being followed, and the
// nesting limits and the table's end must not be reached. An expansion that
// met a limit, a warning, a cut value, a trace line or a full table is not
// kept; the tree builder decides that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "symbols/symbol_table.h"

enum class TypeField : uint8_t {
    nest,
    die_pos,
    name,
    typen,
    ident,
    location,
    kind_flags,  // added to kind
    one_byte,
    struct_len,
    bit_off,
    bit_size,
    dimension,  // an element count appended to ele
};

struct TypeWrite {
    int32_t entry = 0;
    TypeField field = TypeField::nest;
    uint16_t length = 0;  // name and typen: the text's length
    int64_t value = 0;    // the number, or for name and typen where the text starts
};

// The writes noted while following types is being recorded; the texts of
// name and typen writes one after the other in `texts`.
struct TypeJournal {
    std::vector<TypeWrite> writes;
    std::string texts;

    // Notes a write field by field: a TypeWrite built whole and copied in
    // is read back wider than it was stored, which stalls the copy.
    void note(int32_t entry, TypeField field, uint16_t length, int64_t value) {
        TypeWrite& w = writes.emplace_back();
        w.entry = entry;
        w.field = field;
        w.length = length;
        w.value = value;
    }
};

// Writes one type field of entry `index` (and notes it when t.journal is set).
// Inline: the walk makes millions of these writes, most with a field known
// where it is called.
inline void write_type_field(SymbolState& t, int index, TypeField field, int64_t value) {
    if (t.journal) t.journal->note(index, field, 0, value);
    SymbolEntry& e = t.entries[static_cast<size_t>(index)];
    const int32_t v = static_cast<int32_t>(value);
    switch (field) {
    case TypeField::nest: e.nest = v; break;
    case TypeField::die_pos: e.die_pos = static_cast<size_t>(value); break;
    case TypeField::ident: e.ident = v; break;
    case TypeField::location: e.location = v; break;
    case TypeField::kind_flags: e.kind |= v; break;
    case TypeField::one_byte: e.one_byte = v; break;
    case TypeField::struct_len: e.struct_len = v; break;
    case TypeField::bit_off: e.bit_off = v; break;
    case TypeField::bit_size: e.bit_size = v; break;
    case TypeField::dimension:
        // A seventh dimension is not recorded.
        if (e.ele[0] < 0 || e.ele[0] >= kMaxDimensions) break;
        e.ele[1 + e.ele[0]] = v;
        e.ele[0] += 1;
        break;
    case TypeField::name:
    case TypeField::typen: break;  // texts go through write_type_text
    }
}
// Writes name or typen, cut at 1024 characters; a type name in its short
// form (normalise_type_name).
void write_type_text(SymbolState& t, int index, TypeField field, const std::string& text);

struct TypeKey {
    size_t die = 0;         // image offset of the followed DIE (its code)
    int32_t trace_nest = 0;  // the target's nest in trace mode, else 0
    bool target_is_root = false;
    bool root_struct = false;  // the root has STRUCT before the follow

    bool operator==(const TypeKey& o) const {
        return die == o.die && trace_nest == o.trace_nest && target_is_root == o.target_is_root &&
               root_struct == o.root_struct;
    }
};

struct TypeKeyHash {
    size_t operator()(const TypeKey& k) const {
        const size_t mix = static_cast<size_t>(k.target_is_root) | static_cast<size_t>(k.root_struct) << 1 |
                           static_cast<size_t>(static_cast<uint32_t>(k.trace_nest)) << 2;
        return std::hash<size_t>()(k.die) ^ (mix * 0x9E3779B97F4A7C15ull);
    }
};

// A range of one of the unit's logs.
struct LogRange {
    size_t from = 0, to = 0;
};

// One kept follow. Its writes stay in the unit's journal, as made from
// `target` whose nest was `target_nest`.
struct TypeExpansion {
    LogRange writes;
    int target = 0;
    int32_t target_nest = 0;
    int top_step = 0;          // highest member entry handed out, less the target's index
    int current_step = 0;      // the current index afterwards, less the target's index
    uint32_t allocations = 0;  // member entries handed out
    int depth_span = 0;        // deepest build() nesting reached, relative to the start
    int chain_span = 0;        // longest type chain reached, relative to the start
    LogRange looked_up;        // the member DIEs checked for refusal (die_pos)
    LogRange early_follows;    // the DIEs followed before the first member entry
};

// The kept expansions of a unit by key: open addressing over one array
// that is kept from unit to unit, so a unit's thousands of entries cost
// no allocation each, and emptying it for the next unit costs nothing.
class ExpansionTable {
public:
    const TypeExpansion* find(const TypeKey& key) const {
        if (keys_.empty()) return nullptr;
        for (size_t i = start(key);; i = (i + 1) & mask()) {
            const KeySlot& slot = keys_[i];
            if (slot.generation != generation_) return nullptr;
            if (slot.key == key) return &values_[i];
        }
    }
    // Keeps `x` under `key` unless the key has a value already.
    void insert(const TypeKey& key, const TypeExpansion& x) {
        if (2 * (count_ + 1) > keys_.size()) grow();
        for (size_t i = start(key);; i = (i + 1) & mask()) {
            KeySlot& slot = keys_[i];
            if (slot.generation != generation_) {
                slot = KeySlot{key, generation_};
                values_[i] = x;
                ++count_;
                return;
            }
            if (slot.key == key) return;
        }
    }
    void clear() {
        count_ = 0;
        if (++generation_ == 0) {  // wrapped: every slot must read as empty again
            for (KeySlot& slot : keys_) slot.generation = 0;
            generation_ = 1;
        }
    }

private:
    // The keys apart from the values, so that a search reads only keys.
    struct KeySlot {
        TypeKey key;
        uint32_t generation = 0;  // the slot is in use when it equals the table's
    };
    size_t mask() const { return keys_.size() - 1; }
    // DIE offsets lie a few bytes apart: their hash is spread over the table.
    size_t start(const TypeKey& key) const {
        const uint64_t h = static_cast<uint64_t>(TypeKeyHash()(key)) * 0x9E3779B97F4A7C15ull;
        return static_cast<size_t>(h ^ (h >> 32)) & mask();
    }
    void grow() {
        std::vector<KeySlot> old_keys;
        std::vector<TypeExpansion> old_values;
        old_keys.swap(keys_);
        old_values.swap(values_);
        const size_t size = old_keys.empty() ? 1024 : 2 * old_keys.size();
        keys_.assign(size, KeySlot{});
        values_.resize(size);
        const uint32_t live = generation_;
        generation_ = 1;
        count_ = 0;
        for (size_t i = 0; i < old_keys.size(); ++i)
            if (old_keys[i].generation == live) insert(old_keys[i].key, old_values[i]);
    }
    std::vector<KeySlot> keys_;
    std::vector<TypeExpansion> values_;
    size_t count_ = 0;
    uint32_t generation_ = 1;
};

// Makes the writes of `x` again from `target` and moves the current index.
// The caller has checked that target + x.top_step stays in the main bank.
// The journal may be t.journal: the writes noted meanwhile go behind.
void apply_expansion(SymbolState& t, const TypeJournal& journal, int target, const TypeExpansion& x);
