#include "entry_table.h"

#include <algorithm>
#include <cstring>

namespace brimlet {

EntryTable::EntryTable() : slots_(std::make_unique<std::array<DirEntry, kCapacity>>()) {}

EntryTable::EntryTable(const EntryTable& other)
    : slots_(std::make_unique<std::array<DirEntry, kCapacity>>(*other.slots_)), count_(other.count_)
{
}

EntryTable& EntryTable::operator=(const EntryTable& other)
{
    *slots_ = *other.slots_;
    count_ = other.count_;
    return *this;
}

void EntryTable::assign(const uint8_t* bytes, size_t size)
{
    count_ = std::min(size / kEntrySize, kCapacity);
    std::memcpy(slots_->data(), bytes, count_ * kEntrySize);
}

void EntryTable::copyFrom(const EntryTable& other)
{
    std::memcpy(slots_->data(), other.slots_->data(), other.count_ * kEntrySize);
    count_ = other.count_;
}

void EntryTable::append(const DirEntry& entry) { (*slots_)[count_++] = entry; }

void EntryTable::remove(size_t i)
{
    std::copy(slots_->begin() + static_cast<ptrdiff_t>(i) + 1, slots_->begin() + static_cast<ptrdiff_t>(count_),
              slots_->begin() + static_cast<ptrdiff_t>(i));
    --count_;
}

}  // namespace brimlet
