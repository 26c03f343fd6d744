#include "name_index.h"

#include "paths.h"

namespace brimlet {

namespace {

uint64_t hashIgnoringCase(std::string_view name)
{
    uint64_t h = 1469598103934665603ull; // FNV-1a
    for (char c : name) h = (h ^ static_cast<unsigned char>(lowerAsciiByte(c))) * 1099511628211ull;
    return h;
}

}  // namespace

NameIndex::NameIndex(const EntryTable& table) : table_(table)
{
    size_t size = 16;
    while (size < table.count() * 2) size *= 2;
    slots_.assign(size, 0);
    mask_ = size - 1;
    for (size_t i = 0; i < table.count(); ++i) {
        size_t slot = slotOf(table[i].nameView());
        if (slots_[slot] == 0) slots_[slot] = static_cast<uint32_t>(i + 1);
        else repeats_.emplace_back(i, slots_[slot] - 1);
    }
}

// The slot that holds `name`, or the empty one where it would go.
size_t NameIndex::slotOf(std::string_view name) const
{
    size_t slot = hashIgnoringCase(name) & mask_;
    while (slots_[slot] != 0 && !equalsIgnoringCase(table_[slots_[slot] - 1].nameView(), name))
        slot = (slot + 1) & mask_;
    return slot;
}

long NameIndex::find(std::string_view name) const
{
    uint32_t entry = slots_[slotOf(name)];
    return entry == 0 ? -1 : static_cast<long>(entry) - 1;
}

}  // namespace brimlet
