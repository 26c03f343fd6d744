#include "entry_table.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace brimlet {

std::unique_ptr<DirEntry[], EntryTable::FreeSlots> EntryTable::zeroedSlots()
{
    // DirEntry is trivially copyable with a trivial destructor, so zeroed
    // storage is a valid array of all-zero entries.
    auto* zeroed = static_cast<DirEntry*>(std::calloc(kCapacity, sizeof(DirEntry)));
    if (!zeroed) throw std::bad_alloc();
    return std::unique_ptr<DirEntry[], FreeSlots>(zeroed);
}

EntryTable::EntryTable() : slots_(zeroedSlots()) {}

EntryTable::EntryTable(const EntryTable& other) : slots_(zeroedSlots()) { copyFrom(other); }

EntryTable& EntryTable::operator=(const EntryTable& other)
{
    copyFrom(other);
    return *this;
}

void EntryTable::copyFrom(const EntryTable& other)
{
    std::memcpy(entries(), other.entries(), other.count_ * kEntrySize);
    count_ = other.count_;
}

void EntryTable::append(const DirEntry& entry) { slots_[count_++] = entry; }

void EntryTable::remove(size_t i)
{
    std::copy(entries() + i + 1, entries() + count_, entries() + i);
    --count_;
}

void EntryTable::removeEach(const std::vector<size_t>& rows)
{
    size_t kept = 0, next = 0;
    for (size_t i = 0; i < count_; ++i) {
        if (next < rows.size() && rows[next] == i) {
            ++next;
            continue;
        }
        if (kept != i) entries()[kept] = entries()[i];
        ++kept;
    }
    count_ = kept;
}

}  // namespace brimlet
