#include "symbols/type_cache.h"

#include "symbols/attribute_rules.h"
#include "symbols/sym_writer.h"

namespace {

static_assert(kMaxNameLength <= 0xFFFF, "a text's length fits a TypeWrite");

// Notes the text an entry now holds.
void note_text(SymbolState& t, int index, TypeField field, const std::string& text) {
    if (!t.journal) return;
    t.journal->note(index, field, static_cast<uint16_t>(text.size()), static_cast<int64_t>(t.journal->texts.size()));
    t.journal->texts += text;
}

std::string& text_field(SymbolEntry& e, TypeField field) { return field == TypeField::name ? e.name : e.typen; }

}  // namespace

void write_type_text(SymbolState& t, int index, TypeField field, const std::string& text) {
    std::string& dest = text_field(t.entries[static_cast<size_t>(index)], field);
    set_name(dest, text);
    // A type name is written in its short form ("unsigned int" as "Uint")
    // once here, so a kept expansion carries it ready.
    if (field == TypeField::typen) normalise_type_name(dest);
    note_text(t, index, field, dest);
}

void apply_expansion(SymbolState& t, const TypeJournal& journal, int target, const TypeExpansion& x) {
    const int32_t base_nest = t.entries[static_cast<size_t>(target)].nest;
    const int shift = target - x.target;
    for (size_t i = x.writes.from; i < x.writes.to; ++i) {
        const TypeWrite w = journal.writes[i];  // a copy: noting may move the journal
        const int index = w.entry + shift;
        if (w.field == TypeField::name || w.field == TypeField::typen) {
            // Cut and normalised already.
            std::string& dest = text_field(t.entries[static_cast<size_t>(index)], w.field);
            // (Emptied and appended: the library's general assignment also
            // allows for a source inside the string itself.)
            dest.clear();
            dest.append(journal.texts.data() + w.value, w.length);
            if (t.journal == &journal) {
                // Noted into the same journal: the text is there already.
                t.journal->note(index, w.field, w.length, w.value);
            } else {
                note_text(t, index, w.field, dest);
            }
        } else if (w.field == TypeField::nest)
            write_type_field(t, index, w.field, w.value - x.target_nest + base_nest);
        else
            write_type_field(t, index, w.field, w.value);
    }
    // Member entries are handed out in order: the highest marks every one
    // below it as used.
    if (x.top_step > 0) touch_entry(t, target + x.top_step);
    t.current = target + x.current_step;
}
